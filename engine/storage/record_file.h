// TDataFile: the data file (.DAT) of a table: its header, field
// descriptors and fixed-length record slots, with a write-back record
// cache. Locking is the table's business (TDataTable); this class only
// reads and writes, and is not thread-safe by itself.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/storage/file_handler.h"
#include "engine/storage/record_cache.h"
#include "engine/storage/record_file_checks.h"
#include "engine/storage/record_file_format.h"
#include "engine/storage/storage_session.h"

namespace kura {

class TableCollation;

class TDataFile {
 public:
  // `path`: the file's full name; `table`: the table's name for errors.
  TDataFile(TDataSession& session, std::string path, std::string table,
            const FileOpenMode& mode);
  ~TDataFile();

  // Checks `def` (CheckDefinition's codes), lays out the fields, then
  // creates the file with its header and descriptors; 9498 more than 128
  // BLOB fields, 9477 a record longer than 65 535 bytes. Leaves it open.
  void Create(const DataFileDefinition& def);
  // Opens the file and reads header and descriptors: 12035 a version other
  // than 5, 8961 a field count of 0 or above 1024 or descriptors that do
  // not fit the file, 10498 an encrypted table. Closes the file again on
  // any error.
  void Open();
  // The first-open verification: 15878 an uninstalled locale, 8961 for any
  // inconsistency of descriptors, record length and file length.
  void Verify();
  // Drops the cache and closes the file (write back first if needed).
  void Close();
  bool IsOpen() const { return handler_.IsOpen(); }
  TFileHandler& Handler() { return handler_; }

  // ---- header ----
  const TDataFileHeader& Header() const { return header_; }
  bool HeaderChanged() const { return headerChanged_; }
  void MarkHeaderChanged() { headerChanged_ = true; }
  // A fresh copy of the header from the file.
  TDataFileHeader ReadHeader();
  // Reads the header; when its change counter differs from the cached one,
  // takes it, drops every cached record and returns true. 8961 when the
  // new header no longer fits the descriptors held.
  bool CheckChanged();
  // Takes the header from the file unconditionally and drops the cache.
  void ReloadHeader();
  // Writes the header when it is marked changed or `force`: increments the
  // change counter, stamps the engine version and the time. Returns true
  // when written.
  bool WriteHeader(bool force = false);
  // Writes the descriptors when they were changed; true when written.
  bool WriteDescriptors();
  // For exclusive tables and transactions: counts a change in memory only.
  void CountChangeInMemory();

  // ---- fields ----
  const std::vector<TFieldDescriptor>& Fields() const { return fields_; }
  // Field n (1-based); n must be valid.
  const TFieldDescriptor& Field(int n) const { return fields_[n - 1]; }
  // The number of the field named `name` (without regard to case), 0 if none.
  int FindField(std::string_view name) const;
  const TableCollation* Collation() const { return collation_.get(); }

  std::uint32_t RecordLength() const { return recordLength_; }
  std::int32_t RecordCount() const { return header_.nextRecordNumber - 1; }
  std::int32_t ReadAheadCount() const { return readAhead_; }
  std::uint64_t SlotOffset(std::int32_t n) const;

  // ---- records ----
  // The cached record n or nullptr (no file access).
  TRecord* FindCached(std::int32_t n) { return cache_ ? cache_->Find(n) : nullptr; }
  // Reads a run of up to `count` slots that starts at n (ends at n when
  // `backwards`), clamped to the existing slots, into the cache. Cached
  // slots of the run are refreshed unless dirty or in use. A short read is
  // 9217 unless `allowShort`.
  void ReadRun(std::int32_t n, std::int32_t count, bool backwards, bool allowShort);
  // Record n from the cache or, on a miss, read alone; 8962 when n is not
  // a slot of the file or is still not cached.
  TRecord* GetRecord(std::int32_t n, bool allowShort = false);
  // A new zeroed slot at the end; 9479 when the table is full.
  TRecord* AppendSlot();
  // The slot for an insert: the first free record when the table has
  // primary-key fields and the chain is not empty, else a new slot. 8962
  // when the chain leads to a slot that is not deleted.
  TRecord* TakeSlotForInsert(bool hasPrimaryFields);
  // Makes `r` an active record with its own number and a row id: the
  // supplied one, or the last row id + 1 (1 after 2 147 483 647).
  void InitForInsert(TRecord* r, std::optional<std::int32_t> rowId = std::nullopt);
  // Marks record n deleted and puts it at the head of the free chain (its
  // link is 0 in a table without primary-key fields).
  void FreeSlot(std::int32_t n, bool hasPrimaryFields);
  // Writes dirty records in runs of consecutive numbers, leaving out those
  // in [skipFirst, skipLast]. Returns true when anything was written.
  bool WriteDirty(std::int32_t skipFirst = 0, std::int32_t skipLast = -1);
  // Dirty records, header and descriptors; flushes when anything was
  // written and `flush`; then trims the cache. True when anything was written.
  bool WriteBack(bool flush);
  void DropCache() {
    if (cache_) cache_->Clear();
  }
  void TrimCache() {
    if (cache_) cache_->Trim();
  }
  // Truncates to the descriptors and resets the header (change counter 0,
  // no records, last row id 0), marked changed.
  void Empty();
  // While set (a transaction), dirty records are never written to make room.
  void SetHoldWrites(bool hold) { holdWrites_ = hold; }
  // True when cached records wait to be written.
  bool HasDirty() const {
    if (!cache_) return false;
    for (const TRecord* r : cache_->Sorted()) {
      if (r->dirty) return true;
    }
    return false;
  }
  // True when this process has written records since the file was opened.
  bool Written() const { return written_; }
  // The record cache; only while open.
  const RecordCache& Cache() const { return *cache_; }

  // ---- header values ----
  void SetDescription(std::string_view text);
  void SetUserVersion(std::int16_t major, std::int16_t minor);
  void SetLastRowId(std::int32_t id);
  // The next BLOB serial (after 2 147 483 647 it restarts at 1).
  std::int32_t NextBlobSerial();

 private:
  void ReadDescriptors();
  // Adopts a header read from the file (8961 when it no longer fits the
  // descriptors held) and drops the cache.
  void TakeHeader(const TDataFileHeader& h);
  void SizeCaches();
  TRecord* NewEntry(std::int32_t n, std::int32_t skipFirst, std::int32_t skipLast);
  std::uint64_t DataStart() const;

  TDataSession& session_;
  std::string table_;
  TFileHandler handler_;
  TDataFileHeader header_;
  bool headerChanged_ = false;
  bool descriptorsChanged_ = false;
  std::vector<TFieldDescriptor> fields_;
  std::shared_ptr<const TableCollation> collation_;
  std::uint32_t recordLength_ = 0;
  std::int32_t readAhead_ = 1;
  std::unique_ptr<RecordCache> cache_;
  bool holdWrites_ = false;
  bool written_ = false;
};

}  // namespace kura
