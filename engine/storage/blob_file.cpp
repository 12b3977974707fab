#include "engine/storage/blob_file.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/storage/blob_block.h"
#include "engine/storage/change_counter.h"
#include "engine/storage/coding.h"

namespace kura {
namespace {

constexpr std::uint32_t kBlobReadAheadBytes = 16384;
constexpr std::size_t kBlockGrowStep = 32;
constexpr std::size_t kBlockSpares = 32;

// The fields of a block header (laid out in blob_block.h).
std::int32_t Next(const TBlock* b) { return GetInt32LE(b->Data() + kBlockNext); }
std::uint16_t Used(const TBlock* b) { return GetFixed16LE(b->Data() + kBlockUsed); }
std::int32_t Serial(const TBlock* b) { return GetInt32LE(b->Data() + kBlockSerial); }
std::int32_t Total(const TBlock* b) { return GetInt32LE(b->Data() + kBlockTotal); }
void SetPrev(TBlock* b, std::int32_t v) { PutInt32LE(b->Data() + kBlockPrev, v); }
void SetNext(TBlock* b, std::int32_t v) { PutInt32LE(b->Data() + kBlockNext, v); }
void SetUsed(TBlock* b, std::uint16_t v) { PutFixed16LE(b->Data() + kBlockUsed, v); }
void SetSerial(TBlock* b, std::int32_t v) { PutInt32LE(b->Data() + kBlockSerial, v); }
void SetTotal(TBlock* b, std::int32_t v) { PutInt32LE(b->Data() + kBlockTotal, v); }

}  // namespace

// BLOB file header, 512 bytes, little-endian.
//   offset size  meaning
//        0    4  change counter, signed (incremented on every header write)
//        4    4  unused, zero
//        8    1  format version, always 5
//        9    4  first free block (head of the free block chain; 0 = empty)
//       13    4  next block number (1 in a new or emptied file); block n
//                lies at 512 + (n - 1) x block size
//       17    1  header-changed flag at the time of the write (ignored)
//       18  494  zero
void EncodeBlobHeader(const TBlobFileHeader& h, std::uint8_t* dst) {
  std::memset(dst, 0, kBlobHeaderSize);
  PutInt32LE(dst + kChangeCounterOffset, h.changeCounter);
  PutFixed32LE(dst + 4, h.unused4);
  dst[8] = h.version;
  PutInt32LE(dst + 9, h.firstFreeBlock);
  PutInt32LE(dst + 13, h.nextBlockNumber);
  dst[17] = h.headerChangedFlag;
}

TBlobFileHeader DecodeBlobHeader(const std::uint8_t* src) {
  TBlobFileHeader h;
  h.changeCounter = GetInt32LE(src + kChangeCounterOffset);
  h.unused4 = GetFixed32LE(src + 4);
  h.version = src[8];
  h.firstFreeBlock = GetInt32LE(src + 9);
  h.nextBlockNumber = GetInt32LE(src + 13);
  h.headerChangedFlag = src[17];
  return h;
}

TBlobFile::TBlobFile(TDataSession& session, std::string path, std::string table,
                     const FileOpenMode& mode)
    : session_(session), table_(table),
      handler_(session.Files(), std::move(path), std::move(table), mode) {}

TBlobFile::~TBlobFile() = default;

void TBlobFile::SizeCache() {
  readAhead_ = static_cast<std::int32_t>(std::max<std::uint32_t>(1, kBlobReadAheadBytes / blockSize_));
  const std::size_t limit = std::min<std::size_t>(session_.settings.blobCacheBytes / blockSize_,
                                                  session_.settings.blobCacheBlocks);
  cache_ = std::make_unique<RecordCache>(blockSize_, limit, kBlockGrowStep, kBlockSpares);
}

void TBlobFile::Create(std::uint32_t blockSize) {
  if (blockSize < kMinBlobBlockSize || blockSize > kMaxBlobBlockSize) {
    Raise(KURA_BLOBLIMIT, {.table = table_});
  }
  blockSize_ = blockSize;
  handler_.Create();
  SizeCache();
  header_ = TBlobFileHeader{};
  headerChanged_ = true;
  WriteHeader();
}

void TBlobFile::Open(std::uint32_t blockSize) {
  handler_.Open();
  try {
    if (blockSize < kMinBlobBlockSize || blockSize > kMaxBlobBlockSize) {
      Raise(KURA_HEADERCORRUPT, {.table = table_});
    }
    blockSize_ = blockSize;
    std::uint8_t buf[kBlobHeaderSize];
    if (handler_.Read(0, buf, sizeof buf) != sizeof buf) {
      Raise(KURA_HEADERCORRUPT, {.table = table_});
    }
    header_ = DecodeBlobHeader(buf);
    if (header_.version != kFileFormatVersion) Raise(KURA_OLDVERSION, {.table = table_});
    if (header_.nextBlockNumber < 1) Raise(KURA_HEADERCORRUPT, {.table = table_});
    headerChanged_ = false;
    SizeCache();
  } catch (...) {
    handler_.Close();
    throw;
  }
}

void TBlobFile::Verify() {
  if (header_.version != kFileFormatVersion) Raise(KURA_OLDVERSION, {.table = table_});
  const std::int32_t free = header_.firstFreeBlock;
  const bool ok = header_.nextBlockNumber == 1 ? free == 0
                                               : free >= 0 && free < header_.nextBlockNumber;
  if (!ok) Raise(KURA_HEADERCORRUPT, {.table = table_});
}

void TBlobFile::Close() {
  cache_.reset();
  handler_.Close();
}

std::int32_t TBlobFile::StoredChangeCounter() { return ReadChangeCounter(handler_); }

bool TBlobFile::CheckChanged() {
  if (StoredChangeCounter() == header_.changeCounter) return false;
  ReloadHeader();
  return true;
}

void TBlobFile::ReloadHeader() {
  std::uint8_t buf[kBlobHeaderSize];
  handler_.ReadExact(0, buf, sizeof buf);
  const TBlobFileHeader h = DecodeBlobHeader(buf);
  if (h.version != kFileFormatVersion) Raise(KURA_OLDVERSION, {.table = table_});
  if (h.nextBlockNumber < 1) Raise(KURA_HEADERCORRUPT, {.table = table_});
  header_ = h;
  headerChanged_ = false;
  DropCache();
}

bool TBlobFile::WriteHeader(bool force) {
  if (!headerChanged_ && !force) return false;
  ++header_.changeCounter;
  header_.headerChangedFlag = headerChanged_ ? 1 : 0;
  std::uint8_t buf[kBlobHeaderSize];
  EncodeBlobHeader(header_, buf);
  handler_.Write(0, buf, sizeof buf);
  headerChanged_ = false;
  return true;
}

void TBlobFile::CountChangeInMemory() {
  ++header_.changeCounter;
  headerChanged_ = true;
}

std::uint64_t TBlobFile::BlockOffset(std::int32_t n) const {
  return kBlobHeaderSize + static_cast<std::uint64_t>(n - 1) * blockSize_;
}

TBlock* TBlobFile::NewEntry(std::int32_t n) {
  TBlock* b = cache_->TryAdd(n);
  if (b == nullptr && !holdWrites_) {
    WriteDirty();
    b = cache_->TryAdd(n);
  }
  if (b == nullptr) {
    cache_->Grow();
    b = cache_->TryAdd(n);
  }
  return b;
}

TBlock* TBlobFile::GetBlock(std::int32_t n, std::int32_t run) {
  if (n < 1 || n >= header_.nextBlockNumber) Raise(KURA_MEMOCORRUPT, {.table = table_});
  if (TBlock* b = cache_->Find(n)) return b;
  run = std::clamp<std::int32_t>(run, 1, static_cast<std::int32_t>(cache_->Capacity()));
  const std::int32_t last = std::min(header_.nextBlockNumber - 1, n + run - 1);
  const std::size_t bytes = static_cast<std::size_t>(last - n + 1) * blockSize_;
  std::vector<std::uint8_t> buf(bytes);
  const std::size_t got = handler_.Read(BlockOffset(n), buf.data(), bytes);
  if (got < blockSize_) Raise(KURA_READERR, {.table = table_});
  const std::int32_t whole = static_cast<std::int32_t>(got / blockSize_);
  for (std::int32_t i = whole - 1; i >= 0; --i) {  // block n ends up most recent
    TBlock* b = cache_->Peek(n + i);
    if (b != nullptr && (b->dirty || b->useCount > 0)) continue;
    if (b == nullptr) b = NewEntry(n + i);
    std::memcpy(b->Data(), buf.data() + static_cast<std::size_t>(i) * blockSize_, blockSize_);
  }
  TBlock* b = cache_->Find(n);
  if (b == nullptr) Raise(KURA_MEMOCORRUPT, {.table = table_});
  return b;
}

TBlock* TBlobFile::Allocate() {
  TBlock* b;
  if (header_.firstFreeBlock != 0) {
    b = GetBlock(header_.firstFreeBlock);
    const std::int32_t next = Next(b);
    if (next < 0 || next >= header_.nextBlockNumber || next == b->Number()) {
      Raise(KURA_MEMOCORRUPT, {.table = table_});
    }
    header_.firstFreeBlock = next;
    std::memset(b->Data(), 0, blockSize_);
  } else {
    const std::int64_t next = header_.nextBlockNumber;
    if (next > kMaxBlobBlockNumber ||
        kBlobHeaderSize + static_cast<std::uint64_t>(next) * blockSize_ > kMaxTableFileSize) {
      Raise(KURA_TABLEFULL, {.table = table_});
    }
    b = NewEntry(static_cast<std::int32_t>(next));
    ++header_.nextBlockNumber;
  }
  b->dirty = true;
  headerChanged_ = true;
  return b;
}

void TBlobFile::FreeBlock(TBlock* b) {
  SetNext(b, header_.firstFreeBlock);
  SetUsed(b, 0);
  b->dirty = true;
  header_.firstFreeBlock = b->Number();
  headerChanged_ = true;
}

std::string TBlobFile::ReadValue(BlobRef ref) {
  if (ref.firstBlock == 0) return {};
  TBlock* b = GetBlock(ref.firstBlock, readAhead_);
  if (Serial(b) != ref.serial) Raise(KURA_KEYORRECDELETED, {.table = table_});
  const std::int32_t total = Total(b);
  if (total < 0) Raise(KURA_MEMOCORRUPT, {.table = table_});
  std::string out;
  out.reserve(static_cast<std::size_t>(total));
  std::set<std::int32_t> seen{b->Number()};
  while (true) {
    const std::size_t used = std::min<std::size_t>(Used(b), DataPerBlock());
    const std::size_t take = std::min(used, static_cast<std::size_t>(total) - out.size());
    out.append(reinterpret_cast<const char*>(b->Data() + kBlobBlockHeaderSize), take);
    if (out.size() >= static_cast<std::size_t>(total)) return out;
    const std::int32_t next = Next(b);
    if (next == 0) Raise(KURA_ENDOFBLOB, {.table = table_});
    if (!seen.insert(next).second) Raise(KURA_MEMOCORRUPT, {.table = table_});
    b = GetBlock(next, readAhead_);
    if (Serial(b) != ref.serial) Raise(KURA_KEYORRECDELETED, {.table = table_});
  }
}

BlobRef TBlobFile::WriteValue(BlobRef old, std::string_view value, std::int32_t serial) {
  if (value.empty()) {
    FreeValue(old, true);
    return {};
  }
  TBlock* cur = old.firstBlock != 0 ? GetBlock(old.firstBlock, readAhead_) : Allocate();
  const BlobRef result{cur->Number(), serial};
  std::set<std::int32_t> seen{cur->Number()};
  std::int32_t oldNext = old.firstBlock != 0 ? Next(cur) : 0;
  SetPrev(cur, 0);
  SetTotal(cur, static_cast<std::int32_t>(value.size()));
  std::size_t pos = 0;
  while (true) {
    const std::size_t n = std::min<std::size_t>(DataPerBlock(), value.size() - pos);
    SetSerial(cur, serial);
    SetUsed(cur, static_cast<std::uint16_t>(n));
    std::memcpy(cur->Data() + kBlobBlockHeaderSize, value.data() + pos, n);
    std::memset(cur->Data() + kBlobBlockHeaderSize + n, 0, DataPerBlock() - n);
    cur->dirty = true;
    pos += n;
    if (pos == value.size()) break;
    TBlock* next;
    RecordPin pin(cur);
    if (oldNext != 0) {
      if (!seen.insert(oldNext).second) Raise(KURA_MEMOCORRUPT, {.table = table_});
      next = GetBlock(oldNext, readAhead_);
      if (Serial(next) != old.serial) Raise(KURA_MEMOCORRUPT, {.table = table_});
      oldNext = Next(next);
    } else {
      next = Allocate();
    }
    SetPrev(next, cur->Number());
    SetTotal(next, 0);
    SetNext(cur, next->Number());
    cur = next;
  }
  SetNext(cur, 0);
  if (oldNext != 0) FreeValue({oldNext, old.serial});
  headerChanged_ = true;
  return result;
}

void TBlobFile::FreeValue(BlobRef ref, bool allowMismatch) {
  if (ref.firstBlock == 0) return;
  std::set<std::int32_t> seen;
  TBlock* b = GetBlock(ref.firstBlock, readAhead_);
  while (true) {
    if (!seen.insert(b->Number()).second) Raise(KURA_MEMOCORRUPT, {.table = table_});
    if (Serial(b) != ref.serial) {
      if (!allowMismatch) Raise(KURA_MEMOCORRUPT, {.table = table_});
      SetSerial(b, ref.serial);
      b->dirty = true;
    }
    const std::int32_t next = Next(b);
    if (next < 0 || next >= header_.nextBlockNumber) Raise(KURA_MEMOCORRUPT, {.table = table_});
    TBlock* successor = nullptr;
    if (next != 0) {
      RecordPin pin(b);  // each block is freed after its successor was read
      successor = GetBlock(next, readAhead_);
    }
    FreeBlock(b);
    if (successor == nullptr) return;
    b = successor;
  }
}

bool TBlobFile::WriteDirty() {
  if (!cache_) return false;
  std::vector<TBlock*> dirty;
  for (TBlock* b : cache_->Sorted()) {
    if (b->dirty) dirty.push_back(b);
  }
  std::vector<std::uint8_t> run;
  for (std::size_t i = 0; i < dirty.size();) {
    std::size_t j = i + 1;
    while (j < dirty.size() && dirty[j]->Number() == dirty[j - 1]->Number() + 1) ++j;
    run.resize((j - i) * blockSize_);
    for (std::size_t k = i; k < j; ++k) {
      std::memcpy(run.data() + (k - i) * blockSize_, dirty[k]->Data(), blockSize_);
    }
    handler_.Write(BlockOffset(dirty[i]->Number()), run.data(), run.size());
    for (std::size_t k = i; k < j; ++k) dirty[k]->dirty = false;
    i = j;
  }
  return !dirty.empty();
}

bool TBlobFile::WriteBack(bool flush) {
  bool wrote = WriteDirty();
  if (wrote) headerChanged_ = true;  // the change counter announces the blocks
  wrote = WriteHeader() || wrote;
  if (wrote && flush) handler_.Flush();
  TrimCache();
  return wrote;
}

void TBlobFile::Empty() {
  handler_.Truncate(kBlobHeaderSize);
  if (session_.settings.forceBufferFlush) handler_.Flush();
  DropCache();
  header_.version = kFileFormatVersion;
  header_.nextBlockNumber = 1;
  header_.firstFreeBlock = 0;
  headerChanged_ = true;
}

}  // namespace kura
