// The header, descriptor and record layouts are documented above their
// encoders in record_file_format.cpp; the record header in field_values.h.
#include "engine/storage/record_file.h"

#include <algorithm>
#include <cstring>

#include "engine/errors/kura_error.h"
#include "engine/expr/date_time.h"
#include "engine/storage/coding.h"
#include "engine/storage/field_values.h"
#include "engine/storage/locale.h"
#include "engine/storage/names.h"

namespace kura {
namespace {
constexpr std::uint32_t kReadAheadBytes = 8192;

// The BLOB block size and the count of BLOB fields within what the format
// allows (a block size that a damaged header makes huge would otherwise be
// allocated and read as one block).
bool PlausibleBlobLayout(const TDataFileHeader& h) {
  if (h.blobFieldCount > kMaxBlobFields || h.blobFieldCount > h.fieldCount) return false;
  const std::uint32_t size = h.EffectiveBlobBlockSize();
  return h.blobFieldCount == 0 || (size >= kMinBlobBlockSize && size <= kMaxBlobBlockSize);
}
}  // namespace

TDataFile::TDataFile(TDataSession& session, std::string path, std::string table,
                     const FileOpenMode& mode)
    : session_(session), table_(table),
      handler_(session.Files(), std::move(path), std::move(table), mode) {}

TDataFile::~TDataFile() = default;

std::uint64_t TDataFile::DataStart() const {
  return kDataHeaderSize + static_cast<std::uint64_t>(kFieldDescriptorSize) * fields_.size();
}

std::uint64_t TDataFile::SlotOffset(std::int32_t n) const {
  return DataStart() + static_cast<std::uint64_t>(n - 1) * recordLength_;
}

void TDataFile::SizeCaches() {
  recordLength_ = header_.recordLength;
  readAhead_ = static_cast<std::int32_t>(std::max<std::uint32_t>(1, kReadAheadBytes / recordLength_));
  const std::size_t limit = std::min<std::size_t>(
      session_.settings.dataCacheBytes / recordLength_, session_.settings.dataCacheRecords);
  cache_ = std::make_unique<RecordCache>(recordLength_, limit);
}

void TDataFile::Create(const DataFileDefinition& def) {
  CheckDefinition(def, table_);
  std::vector<TFieldDescriptor> fields = def.fields;
  const std::uint32_t length = LayOutFields(fields.data(), fields.size());
  const auto blobs = std::count_if(fields.begin(), fields.end(),
                                   [](const auto& f) { return f.type == kFieldBlob; });
  if (blobs > static_cast<long>(kMaxBlobFields)) Raise(KURA_BLOBLIMIT, {.table = table_});
  if (length > kMaxRecordLength) Raise(KURA_RECTOOBIG, {.table = table_});
  if (def.encrypted) Raise(KURA_NOTSUFFTABLERIGHTS, {.table = table_});

  TDataFileHeader h;
  h.blobBlockSize = def.blobBlockSize;
  h.recordLength = static_cast<std::uint16_t>(length);
  h.fieldCount = static_cast<std::uint16_t>(fields.size());
  h.blobFieldCount = static_cast<std::uint16_t>(blobs);
  PutShortString(h.description.data(), 50, def.description);
  h.languageId = def.languageId;
  h.sortId = def.sortId;
  h.userMajorVersion = def.userMajorVersion;
  h.userMinorVersion = def.userMinorVersion;
  header_ = h;
  fields_ = std::move(fields);
  collation_ = TableCollation::For(h.languageId, h.sortId);
  handler_.Create();
  SizeCaches();
  headerChanged_ = true;
  descriptorsChanged_ = true;
  WriteHeader();
  WriteDescriptors();
}

void TDataFile::Open() {
  handler_.Open();
  try {
    std::uint8_t buf[kDataHeaderSize];
    if (handler_.Read(0, buf, sizeof buf) != sizeof buf) {
      Raise(KURA_HEADERCORRUPT, {.table = table_});
    }
    header_ = DecodeDataHeader(buf);
    if (header_.version != kFileFormatVersion) Raise(KURA_OLDVERSION, {.table = table_});
    if (header_.fieldCount == 0 || header_.fieldCount > kMaxFields ||
        header_.recordLength < kRecordHeaderSize || !PlausibleBlobLayout(header_)) {
      Raise(KURA_HEADERCORRUPT, {.table = table_});
    }
    if (header_.encrypted != 0) Raise(KURA_NOTSUFFTABLERIGHTS, {.table = table_});
    ReadDescriptors();
    collation_ = TableCollation::For(header_.languageId, header_.sortId);
    SizeCaches();
    headerChanged_ = descriptorsChanged_ = false;
    written_ = false;
  } catch (...) {
    handler_.Close();
    throw;
  }
}

void TDataFile::ReadDescriptors() {
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(kFieldDescriptorSize) *
                                header_.fieldCount);
  if (handler_.Read(kDataHeaderSize, buf.data(), buf.size()) != buf.size()) {
    Raise(KURA_HEADERCORRUPT, {.table = table_});
  }
  fields_.clear();
  for (std::uint16_t i = 0; i < header_.fieldCount; ++i) {
    fields_.push_back(DecodeFieldDescriptor(buf.data() + kFieldDescriptorSize * i));
    // A slot that would reach past the record is refused here already, so
    // that nothing ever touches bytes outside a record buffer.
    const TFieldDescriptor& f = fields_.back();
    if (f.HasSlot() && f.offset + f.SlotLength() > header_.recordLength) {
      Raise(KURA_HEADERCORRUPT, {.table = table_});
    }
    if (f.IsAutoIncrement() && header_.recordLength < kRecordHeaderSize) {
      Raise(KURA_HEADERCORRUPT, {.table = table_});
    }
  }
}

void TDataFile::Verify() {
  if (header_.version != kFileFormatVersion) Raise(KURA_OLDVERSION, {.table = table_});
  if (header_.languageId != 0 && !IsLocaleInstalled(header_.languageId, header_.sortId)) {
    Raise(KURA_CANNOTLOADLDDRV, {.table = table_});
  }
  VerifyDataLayout(header_, fields_, handler_.Length(), table_);
}

void TDataFile::Close() {
  cache_.reset();
  handler_.Close();
}

// ---- header ------------------------------------------------------------------

TDataFileHeader TDataFile::ReadHeader() {
  std::uint8_t buf[kDataHeaderSize];
  handler_.ReadExact(0, buf, sizeof buf);
  return DecodeDataHeader(buf);
}

void TDataFile::ReloadHeader() { TakeHeader(ReadHeader()); }

void TDataFile::TakeHeader(const TDataFileHeader& h) {
  if (h.version != kFileFormatVersion) Raise(KURA_OLDVERSION, {.table = table_});
  if (h.recordLength != recordLength_ || h.fieldCount != fields_.size() ||
      h.nextRecordNumber < 1 || h.firstFreeRecord < 0 ||
      h.firstFreeRecord >= h.nextRecordNumber) {
    Raise(KURA_HEADERCORRUPT, {.table = table_});
  }
  header_ = h;
  headerChanged_ = false;
  DropCache();
}

bool TDataFile::CheckChanged() {
  const TDataFileHeader h = ReadHeader();
  if (h.changeCounter == header_.changeCounter) return false;
  TakeHeader(h);
  return true;
}

bool TDataFile::WriteHeader(bool force) {
  if (!headerChanged_ && !force) return false;
  ++header_.changeCounter;
  header_.engineVersion = kEngineVersion;
  header_.lastWriteTime = session_.GetEnv().LocalDateTime() - sql::kDayOf18991230;
  header_.headerChangedFlag = headerChanged_ ? 1 : 0;
  std::uint8_t buf[kDataHeaderSize];
  EncodeDataHeader(header_, buf);
  handler_.Write(0, buf, sizeof buf);
  headerChanged_ = false;
  return true;
}

bool TDataFile::WriteDescriptors() {
  if (!descriptorsChanged_) return false;
  std::vector<std::uint8_t> buf(kFieldDescriptorSize * fields_.size());
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    EncodeFieldDescriptor(fields_[i], buf.data() + kFieldDescriptorSize * i);
  }
  handler_.Write(kDataHeaderSize, buf.data(), buf.size());
  descriptorsChanged_ = false;
  return true;
}

void TDataFile::CountChangeInMemory() {
  ++header_.changeCounter;
  headerChanged_ = true;
}

int TDataFile::FindField(std::string_view name) const {
  const std::string wanted = TrimBlanks(name);
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (EqualNoCase(TrimBlanks(fields_[i].name), wanted)) return static_cast<int>(i + 1);
  }
  return 0;
}

// ---- records -----------------------------------------------------------------

TRecord* TDataFile::NewEntry(std::int32_t n, std::int32_t skipFirst,
                             std::int32_t skipLast) {
  TRecord* r = cache_->TryAdd(n);
  if (r == nullptr && !holdWrites_) {
    WriteDirty(skipFirst, skipLast);
    r = cache_->TryAdd(n);
  }
  if (r == nullptr) {
    cache_->Grow();
    r = cache_->TryAdd(n);
  }
  return r;
}

void TDataFile::ReadRun(std::int32_t n, std::int32_t count, bool backwards,
                        bool allowShort) {
  const std::int32_t last = RecordCount();
  if (n < 1 || n > last) return;
  // A run never holds more slots than the cache can keep.
  count = std::clamp<std::int32_t>(count, 1, static_cast<std::int32_t>(cache_->Capacity()));
  const std::int32_t first = backwards ? std::max(1, n - count + 1) : n;
  const std::int32_t end = backwards ? n : std::min(last, n + count - 1);
  const std::size_t bytes = static_cast<std::size_t>(end - first + 1) * recordLength_;
  std::vector<std::uint8_t> buf(bytes);
  const std::size_t got = handler_.Read(SlotOffset(first), buf.data(), bytes);
  if (got < bytes && !allowShort) Raise(KURA_READERR, {.table = table_});
  const std::int32_t whole = static_cast<std::int32_t>(got / recordLength_);
  // The wanted slot is taken last, so that it is the most recently used
  // record and the run cannot evict it.
  for (std::int32_t k = 0; k < whole; ++k) {
    const std::int32_t i = backwards ? k : whole - 1 - k;
    const std::int32_t number = first + i;
    const std::uint8_t* slot = buf.data() + static_cast<std::size_t>(i) * recordLength_;
    TRecord* r = cache_->Find(number);
    if (r != nullptr && (r->dirty || r->useCount > 0)) continue;
    if (r == nullptr) r = NewEntry(number, first, end);
    std::memcpy(r->Data(), slot, recordLength_);
  }
}

TRecord* TDataFile::GetRecord(std::int32_t n, bool allowShort) {
  if (n < 1 || n > RecordCount()) Raise(KURA_FILECORRUPT, {.table = table_});
  TRecord* r = cache_->Find(n);
  if (r == nullptr) {
    ReadRun(n, 1, false, allowShort);
    r = cache_->Find(n);
  }
  if (r == nullptr) Raise(KURA_FILECORRUPT, {.table = table_});
  return r;
}

TRecord* TDataFile::AppendSlot() {
  const std::int64_t next = header_.nextRecordNumber;
  const std::uint64_t end = DataStart() + static_cast<std::uint64_t>(next) * recordLength_;
  if (next > kMaxRecordNumber || end > kMaxTableFileSize) {
    Raise(KURA_TABLEFULL, {.table = table_});
  }
  TRecord* r = NewEntry(static_cast<std::int32_t>(next), 0, -1);
  ++header_.nextRecordNumber;
  headerChanged_ = true;
  // The new slot counts as written although it may wait in the cache (a
  // transaction, an exclusive table): a run read that reaches it then finds
  // the file shorter than the slots, which is no read error.
  written_ = true;
  return r;
}

TRecord* TDataFile::TakeSlotForInsert(bool hasPrimaryFields) {
  const std::int32_t head = header_.firstFreeRecord;
  if (!hasPrimaryFields || head == 0) {
    TRecord* r = AppendSlot();
    header_.firstFreeRecord = 0;
    return r;
  }
  TRecord* r = GetRecord(head);
  const std::int32_t link = RecordLink(r->Data());
  // Reusing an active slot, or following a link out of the file, would
  // overwrite a live record: refuse the chain instead.
  if (RecordStatus(r->Data()) != kRecordDeleted || link < 0 || link > RecordCount() ||
      link == head) {
    Raise(KURA_FILECORRUPT, {.table = table_});
  }
  header_.firstFreeRecord = link;
  headerChanged_ = true;
  return r;
}

void TDataFile::InitForInsert(TRecord* r, std::optional<std::int32_t> rowId) {
  std::int32_t id;
  if (rowId) {
    id = *rowId;
    header_.lastRowId = std::max(header_.lastRowId, id);
  } else {
    id = header_.lastRowId >= kMaxRowId ? 1 : header_.lastRowId + 1;
    header_.lastRowId = id;
  }
  SetRecordHeader(r->Data(), kRecordActive, r->Number(), id);
  r->dirty = true;
  headerChanged_ = true;
}

void TDataFile::FreeSlot(std::int32_t n, bool hasPrimaryFields) {
  TRecord* r = GetRecord(n);
  const std::int32_t link = hasPrimaryFields ? header_.firstFreeRecord : 0;
  SetRecordHeader(r->Data(), kRecordDeleted, link, RecordRowId(r->Data()));
  r->dirty = true;
  header_.firstFreeRecord = n;
  headerChanged_ = true;
}

bool TDataFile::WriteDirty(std::int32_t skipFirst, std::int32_t skipLast) {
  if (!cache_) return false;
  std::vector<TRecord*> dirty;
  for (TRecord* r : cache_->Sorted()) {
    if (r->dirty && (r->Number() < skipFirst || r->Number() > skipLast)) dirty.push_back(r);
  }
  std::vector<std::uint8_t> run;
  for (std::size_t i = 0; i < dirty.size();) {
    std::size_t j = i + 1;
    while (j < dirty.size() && dirty[j]->Number() == dirty[j - 1]->Number() + 1) ++j;
    run.resize((j - i) * recordLength_);
    for (std::size_t k = i; k < j; ++k) {
      std::memcpy(run.data() + (k - i) * recordLength_, dirty[k]->Data(), recordLength_);
    }
    handler_.Write(SlotOffset(dirty[i]->Number()), run.data(), run.size());
    for (std::size_t k = i; k < j; ++k) dirty[k]->dirty = false;
    written_ = true;
    i = j;
  }
  return !dirty.empty();
}

bool TDataFile::WriteBack(bool flush) {
  bool wrote = WriteDirty();
  // Written records go with a header write, whose change counter tells
  // other users that their cached records are stale.
  if (wrote) headerChanged_ = true;
  wrote = WriteHeader() || wrote;
  wrote = WriteDescriptors() || wrote;
  if (wrote && flush) handler_.Flush();
  TrimCache();
  return wrote;
}

void TDataFile::Empty() {
  handler_.Truncate(DataStart());
  if (session_.settings.forceBufferFlush) handler_.Flush();
  DropCache();
  header_.changeCounter = 0;
  header_.firstFreeRecord = 0;
  header_.nextRecordNumber = 1;
  header_.lastRowId = 0;
  headerChanged_ = true;
}

void TDataFile::SetDescription(std::string_view text) {
  PutShortString(header_.description.data(), 50, text);
  headerChanged_ = true;
}

void TDataFile::SetUserVersion(std::int16_t major, std::int16_t minor) {
  header_.userMajorVersion = major;
  header_.userMinorVersion = minor;
  headerChanged_ = true;
}

void TDataFile::SetLastRowId(std::int32_t id) {
  header_.lastRowId = id;
  headerChanged_ = true;
}

std::int32_t TDataFile::NextBlobSerial() {
  header_.lastBlobSerial =
      header_.lastBlobSerial >= kMaxRowId ? 1 : header_.lastBlobSerial + 1;
  headerChanged_ = true;
  return header_.lastBlobSerial;
}

}  // namespace kura
