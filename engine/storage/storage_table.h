// TDataTable: one table of one session, shared by all cursors of that
// session on it. It owns the table's three files and carries out the lock
// protocol that lets several processes (and several sessions of one
// process) share the files:
//
//   data file byte 0xFFFFFFFF          table write lock (writer, transaction)
//   data file byte 0xFFFFFFFE - n      record lock of record n
//   index/BLOB byte 0xFFFFFFFF - r     a reader's slot, r random in 1...65535
//   index/BLOB 0xFFFEFFFF + 65536      writer, covers every read slot
//
// and the change counters in the three headers, through which a user sees
// that others changed the table (its caches are then dropped).
//
// Not thread-safe: one session's cursors use it from one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/storage/blob_file.h"
#include "engine/storage/index_file.h"
#include "engine/storage/record_file.h"
#include "engine/storage/records_bitmap.h"
#include "engine/storage/shared_page_read.h"
#include "engine/storage/storage_session.h"

namespace kura {

struct TableOpenOptions {
  bool exclusive = false;
  bool readOnly = false;
  bool inMemory = false;
  bool temporary = false;  // files deleted when the last user closes
};

class TDataTable : private SharedPageRead {
 public:
  // `directory` ends in a path separator; `name` is the table name.
  TDataTable(TDataSession& session, std::string directory, std::string name,
             const TableOpenOptions& options);
  ~TDataTable() override;
  TDataTable(const TDataTable&) = delete;
  TDataTable& operator=(const TDataTable&) = delete;

  // Opens the data file, the index file (created empty, with the active
  // record count counted from the data file, when it is missing) and the
  // BLOB file when the table has BLOB fields. Errors of the files keep
  // their codes; whatever was opened is closed again.
  void Open();
  // Creates the three files (the BLOB file only with BLOB fields), then
  // reopens them with the table's sharing mode. `index` is the index file's
  // header as the index layer defined it (see NewIndexHeader).
  void Create(const DataFileDefinition& def, const TIndexFileHeader& index);
  // The first-open verification of the three files under the read lock.
  void Verify();
  // Closes the files (last user): an exclusive writable table writes back
  // first (a temporary one discards its changes); every lock is released.
  void Close();

  const std::string& Name() const { return name_; }
  const TableOpenOptions& Options() const { return options_; }
  bool Exclusive() const { return options_.exclusive; }
  bool ReadOnly() const { return readOnly_; }
  // A file has the read-only attribute: the table takes no locks at all.
  bool ReadOnlyAttribute() const { return readOnlyAttribute_; }
  bool IndexWasCreated() const { return indexCreated_; }
  bool InTransaction() const { return inTransaction_; }
  int UserCount() const { return users_; }
  void AddUser() { ++users_; }
  // Returns the users left.
  int RemoveUser() { return --users_; }

  TDataFile& Data() { return *data_; }
  TIndexFile& Index() { return *index_; }
  TBlobFile* Blob() { return blob_.get(); }  // nullptr without BLOB fields

  // ---- locks ----
  // Each returns true when the table had been changed by others (caches
  // were dropped), and does nothing (false) when the lock does not apply.
  // 10249 when a lock cannot be had in the session's attempts; the parts
  // taken are given back first.
  bool ReadLock();
  bool SecondReadLock();
  bool WriteLock();  // 11013 for a read-only table
  bool TableLock();
  // Releases; nothing when not held. 10242 (read locks) or 10249 (write
  // and table locks) when the operating system refuses.
  void ReleaseReadLock();
  void ReleaseSecondReadLock();
  void ReleaseWriteLock();
  void ReleaseTableLock();
  bool HoldsReadLock() const { return read_.held; }
  bool HoldsWriteLock() const { return writeLockHeld_; }
  bool HoldsTableLock() const { return tableLockHeld_; }

  // Locks record n for `owner` (a cursor): 10258 for record 0, a record
  // locked by another owner of the session, or one still locked by another
  // user after the session's retry count. Returns true when the table
  // changed meanwhile (the caller re-reads its record).
  bool LockRecord(std::int32_t n, const void* owner);
  // Unlocks record n (deferred to the end of a transaction); 10242 when
  // the operating system refuses.
  void UnlockRecord(std::int32_t n);
  void ReleaseRecordLocks();
  bool IsRecordLocked(std::int32_t n) const { return lockedRecords_.Test(static_cast<std::uint32_t>(n)); }

  // Compares the change counters of the three headers with the cached
  // ones; drops the caches of what changed. True when anything changed.
  bool CheckForChanges();
  // While one of these lives (a cursor step that can start again), an
  // index page missed outside every lock of this table is read under a
  // read slot, after the change counters were found as cached; when they
  // moved, TableChangedOnRead is raised instead and the caches are kept
  // for the step to drop once it has let go of its pages (the cursor also
  // raises it when a record miss found the table changed). Without one,
  // such a page is read as it is.
  bool InRestartableRead() const { return restartable_ > 0; }
  class RestartableReads {
   public:
    explicit RestartableReads(TDataTable& table) : table_(table) { ++table_.restartable_; }
    ~RestartableReads() { --table_.restartable_; }
    RestartableReads(const RestartableReads&) = delete;
    RestartableReads& operator=(const RestartableReads&) = delete;

   private:
    TDataTable& table_;
  };
  // The write-back at the end of every change: shared tables write dirty
  // records, pages, blocks and headers (and flush when the session forces
  // it or `flush`); exclusive tables and transactions only count the
  // change in memory.
  void WriteBackChanges(bool flush = false);
  // Writes everything now, whatever the sharing mode.
  void WriteAllChanges(bool flush = false);
  void DropCaches();
  // The number of times changes were dropped and the headers read again
  // (rollbacks): the change counters can take earlier values again then,
  // so whatever is remembered by counter values also keys on this.
  std::uint32_t DroppedChanges() const { return droppedChanges_; }

  // ---- transactions (driven by the directory) ----
  void StartTransaction();
  // Commits: WriteTransaction, then EndCommit; when a write fails,
  // UndoCommit and the error is raised.
  void CommitTransaction();
  // A commit in steps, so that a directory can put every table back when
  // one of them fails. WriteTransaction writes all changes under the write
  // lock, keeping the bytes the writes overwrite. EndCommit then forgets
  // them and gives back the write lock, the table lock and the deferred
  // record locks. UndoCommit instead writes the kept bytes back (the files
  // are as before the commit), drops the changes, re-reads the headers and
  // gives back every lock; it raises nothing and returns false when a file
  // could not be put back.
  void WriteTransaction();
  // The files of this table whose staged writes a commit journal keeps
  // (none for in-memory and temporary tables).
  std::vector<TFileHandler*> JournaledFiles();
  // Writes the changes WriteTransaction staged; with `flush` each file
  // written is flushed. 9218 when a write fails (UndoCommit puts back).
  void ApplyCommit(bool flush);
  // The journal of this table's directory (its operating-system path).
  const std::string& JournalFilePath();
  void EndCommit();
  bool UndoCommit();
  // Drops the changes held since the start, re-reads the headers and gives
  // back the table lock and the deferred record locks.
  void RollbackTransaction();

  // ---- records ----
  // Record n: from the cache or, after the read lock's check for changes,
  // from the file (a run of the read-ahead size when `sequential`, ending
  // at n when `backwards`). nullptr when the table changed: the caller
  // repositions and restarts. 8962 when n is not a record of the file.
  // Under a read lock held already the file is read at once, and the lock
  // stays held.
  TRecord* ReadRecord(std::int32_t n, bool sequential = false, bool backwards = false);
  // The same, reading a run of at most `count` slots on a miss.
  TRecord* ReadRecordRun(std::int32_t n, std::int32_t count, bool backwards = false);
  // Appends `image` (record length bytes; its header is filled in) as a
  // new active record under the write lock and writes it back; the active
  // record count goes up by one. Returns the record number. Index keys are
  // the index layer's business.
  std::int32_t AppendRecord(const std::uint8_t* image,
                            std::optional<std::int32_t> rowId = std::nullopt);
  // Replaces the fields of active record n with those of `image` (its
  // record header is kept) under the write lock and writes it back; 8962
  // when n is not an active record.
  void ModifyRecord(std::int32_t n, const std::uint8_t* image);
  // Puts active record n on the free chain under the write lock and writes
  // it back; the active record count goes down by one.
  void DeleteRecord(std::int32_t n);

  // One change of the table (calls nest; the outermost counts). In a shared
  // table outside a transaction the bytes its writes overwrite are kept:
  // when the change fails, EndChange(true) writes them back and cuts the
  // files to their old lengths, then drops the caches and re-reads the
  // headers, so that the files are as before the change (a file that
  // cannot be put back either is left to the repair tool).
  void BeginChange();
  void EndChange(bool failed);

 private:
  struct ReadSlots {
    bool held = false;
    std::uint32_t indexSlot = 0;
    std::uint32_t blobSlot = 0;
  };
  // Runs `change` between WriteLock and the write-back, releasing the
  // write lock on every path.
  template <typename Fn>
  void UnderWriteLock(Fn&& change);
  TRecord* ActiveRecord(std::int32_t n);
  void EndTransaction(bool dropChanges);
  bool LocksApply() const { return !options_.exclusive && !readOnlyAttribute_; }
  // Tries `lock` up to the session's attempts with its pause.
  bool Retry(TFileHandler& file, std::uint64_t offset, std::uint64_t length);
  // A read slot: a random byte below 0xFFFFFFFF, drawn anew on each failure.
  bool TakeReadSlot(TFileHandler& file, std::uint32_t* slot);
  bool TakeReadLock(ReadSlots& slots);
  // The read slots alone, without the check for changes.
  void TakeReadSlots(ReadSlots& slots);
  // True when a change counter in the files differs from the cached one.
  bool CountersMoved();
  // SharedPageRead: a page read on a miss of the index page cache.
  void Read(const std::function<void()>& read) override;
  // Unlocks the records whose unlock a transaction deferred.
  void GiveDeferredUnlocks();
  void GiveReadLock(ReadSlots& slots);
  void TakeFileFlags();
  // After a lock of this table was taken: true when the directory holds a
  // journal with contents (one stat). RecoverJournalNow rolls it back or
  // waits for its writer; the caller gives back its lock first.
  bool JournalLeftOver();
  void RecoverJournalNow();
  std::string FilePath(std::string_view ext) const;

  TDataSession& session_;
  std::string directory_;
  std::string name_;
  TableOpenOptions options_;
  std::unique_ptr<TDataFile> data_;
  std::unique_ptr<TIndexFile> index_;
  std::unique_ptr<TBlobFile> blob_;
  int users_ = 0;
  bool readOnly_ = false;
  bool readOnlyAttribute_ = false;
  bool indexCreated_ = false;
  bool inTransaction_ = false;
  // Lock state of this table object.
  ReadSlots read_;
  ReadSlots secondRead_;
  bool writeLockHeld_ = false;
  bool dataByteByWrite_ = false;  // the write lock took the data file byte
  // The write lock holds the write ranges of the index and BLOB files. A
  // change inside this table's transaction goes without them: the table
  // lock keeps every other writer out, and nothing reaches the files
  // before the commit, which takes them.
  bool rangesByWrite_ = false;
  bool committing_ = false;
  bool tableLockHeld_ = false;
  TRecordsBitmap lockedRecords_;
  TRecordsBitmap deferredUnlocks_;
  std::map<std::int32_t, const void*> recordOwners_;
  std::uint32_t droppedChanges_ = 0;
  int changeDepth_ = 0;
  bool changeUndo_ = false;  // the outermost change keeps what it overwrites
  int restartable_ = 0;
  std::string journalPath_;  // resolved on first use
};

}  // namespace kura
