// The header layout is documented above its encoder in index_header.cpp.
#include "engine/storage/index_file.h"

#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/storage/change_counter.h"
#include "engine/storage/coding.h"
#include "engine/storage/index_file_trees.h"

namespace kura {
namespace {
constexpr std::int32_t kMaxIndexPages = 2000000000;
// A secondary count above this is refused on opening; the verification
// then holds it to 30.
constexpr int kMaxSecondaryOnOpen = 32;
}  // namespace

TIndexFile::TIndexFile(TDataSession& session, std::string path, std::string table,
                       const FileOpenMode& mode)
    : session_(session), table_(table),
      handler_(session.Files(), std::move(path), std::move(table), mode),
      trees_(std::make_unique<TIndexTrees>(*this, table_, session)) {}

TIndexFile::~TIndexFile() = default;

void TIndexFile::Create(const TIndexFileHeader& h) {
  handler_.Create();
  header_ = h;
  headerChanged_ = true;
  WriteHeader();
}

void TIndexFile::Open() {
  handler_.Open();
  try {
    std::vector<std::uint8_t> buf(kIndexHeaderSize);
    if (handler_.Read(0, buf.data(), buf.size()) != buf.size()) {
      Raise(KURA_HEADERCORRUPT, {.table = table_});
    }
    header_ = DecodeIndexHeader(buf.data());
    if (header_.version != kFileFormatVersion) Raise(KURA_OLDVERSION, {.table = table_});
    if (header_.secondaryCount > kMaxSecondaryOnOpen) {
      Raise(KURA_HEADERCORRUPT, {.table = table_});
    }
    headerChanged_ = false;
  } catch (...) {
    handler_.Close();
    throw;
  }
}

void TIndexFile::Verify(std::span<const TFieldDescriptor> fields) {
  VerifyIndexHeader(header_, fields, table_);
}

void TIndexFile::Close() {
  DropPageCache();
  trees_->CloseTemporary();
  handler_.Close();
}

void TIndexFile::AdjustActiveRecordCount(std::int32_t delta) {
  header_.activeRecordCount += delta;
  headerChanged_ = true;
}

void TIndexFile::SetActiveRecordCount(std::int32_t count) {
  header_.activeRecordCount = count;
  headerChanged_ = true;
}

std::int32_t TIndexFile::StoredChangeCounter() { return ReadChangeCounter(handler_); }

bool TIndexFile::CheckChanged() {
  if (StoredChangeCounter() == header_.changeCounter) return false;
  ReloadHeader();
  return true;
}

void TIndexFile::ReloadHeader() {
  std::vector<std::uint8_t> buf(kIndexHeaderSize);
  handler_.ReadExact(0, buf.data(), buf.size());
  TIndexFileHeader h = DecodeIndexHeader(buf.data());
  if (h.version != kFileFormatVersion) Raise(KURA_OLDVERSION, {.table = table_});
  if (h.secondaryCount > kMaxSecondaryIndexes || h.nextPageNumber < 1) {
    Raise(KURA_HEADERCORRUPT, {.table = table_});
  }
  // Temporary indexes live only in this process: keep their descriptors.
  for (int i = 1; i <= header_.secondaryCount && i <= kMaxSecondaryIndexes; ++i) {
    if (header_.slots[i].temporary != 0 && h.secondaryCount < kMaxSecondaryIndexes) {
      h.slots[++h.secondaryCount] = header_.slots[i];
    }
  }
  header_ = h;
  headerChanged_ = false;
  DropPageCache();
}

bool TIndexFile::WriteHeader(bool force) {
  if (!headerChanged_ && !force) return false;
  ++header_.changeCounter;
  header_.headerChangedFlag = headerChanged_ ? 1 : 0;
  std::vector<std::uint8_t> buf(kIndexHeaderSize);
  EncodeIndexHeader(header_, buf.data());
  handler_.Write(0, buf.data(), buf.size());
  headerChanged_ = false;
  return true;
}

void TIndexFile::CountChangeInMemory() {
  ++header_.changeCounter;
  headerChanged_ = true;
}

void TIndexFile::ReadPage(std::int32_t n, std::uint8_t* page) {
  if (n < 1 || n >= header_.nextPageNumber) Raise(KURA_INDEXCORRUPT, {.table = table_});
  auto read = [&] { handler_.ReadExact(PageOffset(n), page, kIndexPageSize); };
  if (sharedRead_ != nullptr) {
    sharedRead_->Read(read);
  } else {
    read();
  }
}

void TIndexFile::WritePages(std::int32_t first, const std::uint8_t* pages,
                            std::int32_t count) {
  handler_.Write(PageOffset(first), pages, static_cast<std::size_t>(count) * kIndexPageSize);
}

std::int32_t TIndexFile::AppendPage() {
  const std::int64_t next = header_.nextPageNumber;
  if (next > kMaxIndexPages ||
      static_cast<std::uint64_t>(next + 1) * kIndexPageSize > kMaxTableFileSize) {
    Raise(KURA_TABLEFULL, {.table = table_});
  }
  ++header_.nextPageNumber;
  headerChanged_ = true;
  return static_cast<std::int32_t>(next);
}

bool TIndexFile::WriteBack(bool flush) {
  bool wrote = WriteDirtyPages();
  // Written pages go with a header write: its change counter is how other
  // users learn that their cached pages are stale (a changed key alters
  // pages only).
  if (wrote) headerChanged_ = true;
  wrote = WriteHeader() || wrote;
  if (wrote && flush) handler_.Flush();
  TrimPageCache();
  return wrote;
}

bool TIndexFile::WriteDirtyPages() { return trees_->WriteDirtyPages(); }
void TIndexFile::DropPageCache() { trees_->DropPageCache(); }
void TIndexFile::TrimPageCache() { trees_->TrimPageCache(); }
bool TIndexFile::TreesBound() const { return trees_->Bound(); }

void TIndexFile::BindTrees(std::span<const TFieldDescriptor> fields, std::int16_t languageId,
                           std::int16_t sortId) {
  trees_->Bind(fields, languageId, sortId);
}

void TIndexFile::Empty() {
  handler_.Truncate(kIndexHeaderSize);
  if (session_.settings.forceBufferFlush) handler_.Flush();
  DropPageCache();
  header_.version = kFileFormatVersion;
  header_.nextPageNumber = 1;
  header_.activeRecordCount = 0;
  for (TIndexDescriptor& d : header_.slots) {
    d.rootPage = 0;
    d.firstFreePage = 0;
    d.textParameterPage = 0;
  }
  headerChanged_ = true;
}

}  // namespace kura
