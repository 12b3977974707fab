// TBlobFile: the BLOB file (.BLB) of a table with BLOB fields. A value is a
// chain of fixed-size blocks; the record holds the first block's number and
// the value's serial. Blocks are cached write-back like records. Locking is
// the table's business; not thread-safe by itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/storage/field_values.h"
#include "engine/storage/file_handler.h"
#include "engine/storage/record_cache.h"
#include "engine/storage/storage_session.h"

namespace kura {

// A block in memory: the whole block image (18-byte header and data).
using TBlock = TRecord;

struct TBlobFileHeader {
  std::int32_t changeCounter = 0;
  std::uint32_t unused4 = 0;
  std::uint8_t version = kFileFormatVersion;
  std::int32_t firstFreeBlock = 0;
  std::int32_t nextBlockNumber = 1;
  std::uint8_t headerChangedFlag = 0;
};

void EncodeBlobHeader(const TBlobFileHeader& h, std::uint8_t* dst);
TBlobFileHeader DecodeBlobHeader(const std::uint8_t* src);

class TBlobFile {
 public:
  TBlobFile(TDataSession& session, std::string path, std::string table,
            const FileOpenMode& mode);
  ~TBlobFile();

  // Creates the file with a new header (version 5, no blocks); 9498 for a
  // block size below 64. Leaves it open.
  void Create(std::uint32_t blockSize);
  // Opens the file and reads its header: 12035 a version other than 5.
  void Open(std::uint32_t blockSize);
  // First-open check: 8961 a first free block outside the file.
  void Verify();
  void Close();
  bool IsOpen() const { return handler_.IsOpen(); }
  TFileHandler& Handler() { return handler_; }

  const TBlobFileHeader& Header() const { return header_; }
  std::uint32_t BlockSize() const { return blockSize_; }
  std::uint32_t DataPerBlock() const { return blockSize_ - kBlobBlockHeaderSize; }
  bool HeaderChanged() const { return headerChanged_; }

  // Reads the header; on a different change counter takes it, drops the
  // block cache and returns true.
  bool CheckChanged();
  // The change counter as the file holds it now (nothing is taken in).
  std::int32_t StoredChangeCounter();
  void ReloadHeader();
  bool WriteHeader(bool force = false);
  void CountChangeInMemory();

  // The value `ref` refers to: 8708 when a block's serial is not the
  // record's, 8963 a block number outside the file or a chain that loops,
  // 8711 a chain that ends before the value's length.
  std::string ReadValue(BlobRef ref);
  // Writes `value` with serial `serial` into the chain of `old` (extended
  // or shortened) or a new chain, and returns the new reference (first
  // block 0 for an empty value, whose old chain is freed).
  BlobRef WriteValue(BlobRef old, std::string_view value, std::int32_t serial);
  // Puts every block of the value on the free chain. A block with another
  // serial is 8963 unless `allowMismatch`.
  void FreeValue(BlobRef ref, bool allowMismatch = false);

  bool WriteDirty();
  // Dirty blocks and the header; flushes when anything was written and
  // `flush`; trims the cache. True when anything was written.
  bool WriteBack(bool flush);
  void DropCache() {
    if (cache_) cache_->Clear();
  }
  void TrimCache() {
    if (cache_) cache_->Trim();
  }
  void Empty();
  void SetHoldWrites(bool hold) { holdWrites_ = hold; }
  // True when cached blocks wait to be written.
  bool HasDirty() const {
    if (!cache_) return false;
    for (const TRecord* r : cache_->Sorted()) {
      if (r->dirty) return true;
    }
    return false;
  }
  std::int32_t ReadAheadCount() const { return readAhead_; }

 private:
  void SizeCache();
  std::uint64_t BlockOffset(std::int32_t n) const;
  // Block n (cached or read with a run of up to `run` blocks); 8963 out of range.
  TBlock* GetBlock(std::int32_t n, std::int32_t run = 1);
  TBlock* NewEntry(std::int32_t n);
  TBlock* Allocate();
  void FreeBlock(TBlock* b);

  TDataSession& session_;
  std::string table_;
  TFileHandler handler_;
  TBlobFileHeader header_;
  bool headerChanged_ = false;
  std::uint32_t blockSize_ = kDefaultBlobBlockSize;
  std::int32_t readAhead_ = 1;
  std::unique_ptr<RecordCache> cache_;
  bool holdWrites_ = false;
};

}  // namespace kura
