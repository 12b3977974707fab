#include "engine/storage/storage_table.h"

#include <cstring>
#include <exception>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/storage/commit_journal.h"
#include "engine/storage/field_values.h"
#include "engine/storage/file_format.h"
#include "engine/storage/first_error.h"
#include "engine/storage/index_file_trees.h"
#include "engine/storage/names.h"

namespace kura {

TDataTable::TDataTable(TDataSession& session, std::string directory, std::string name,
                       const TableOpenOptions& options)
    : session_(session), directory_(std::move(directory)), name_(TrimBlanks(name)),
      options_(options) {
  const FileOpenMode mode{options.inMemory, options.exclusive, options.temporary};
  data_ = std::make_unique<TDataFile>(session_, FilePath(kDataExtension), name_, mode);
  index_ = std::make_unique<TIndexFile>(session_, FilePath(kIndexExtension), name_, mode);
  index_->SetSharedRead(this);
}

TDataTable::~TDataTable() {
  try {
    Close();
  } catch (...) {
    // Closing on destruction is best effort; Close() reports failures.
  }
}

std::string TDataTable::FilePath(std::string_view ext) const {
  return directory_ + TableFileName(name_, ext);
}

void TDataTable::TakeFileFlags() {
  readOnly_ = options_.readOnly || data_->Handler().ReadOnly() ||
              index_->Handler().ReadOnly() || (blob_ && blob_->Handler().ReadOnly());
  readOnlyAttribute_ = data_->Handler().ReadOnlyAttribute() ||
                       index_->Handler().ReadOnlyAttribute() ||
                       (blob_ && blob_->Handler().ReadOnlyAttribute());
}

const std::string& TDataTable::JournalFilePath() {
  if (journalPath_.empty()) journalPath_ = JournalPath(session_.GetEnv(), directory_);
  return journalPath_;
}

bool TDataTable::JournalLeftOver() {
  return !options_.inMemory && !options_.temporary && JournalPending(session_.GetEnv(), JournalFilePath());
}

void TDataTable::RecoverJournalNow() {
  RecoverJournal(session_.GetEnv(), JournalFilePath(), session_.settings, name_);
}

void TDataTable::Open() {
  // A commit cut short by a crash is rolled back before anything is read.
  if (JournalLeftOver()) RecoverJournalNow();
  try {
    data_->Open();
    const std::string indexPath = FilePath(kIndexExtension);
    if (!TFileHandler::Exists(session_.Files(), indexPath, options_.inMemory)) {
      TIndexFileHeader h = NewIndexHeader();
      h.noPrimaryFields = 1;
      index_->Create(h);
      index_->Close();
      indexCreated_ = true;
    }
    index_->Open();
    index_->BindTrees(data_->Fields(), data_->Header().languageId, data_->Header().sortId);
    if (data_->Header().blobFieldCount > 0) {
      const FileOpenMode mode{options_.inMemory, options_.exclusive, options_.temporary};
      blob_ = std::make_unique<TBlobFile>(session_, FilePath(kBlobExtension), name_, mode);
      blob_->Open(data_->Header().EffectiveBlobBlockSize());
    }
    TakeFileFlags();
    if (indexCreated_) {
      data_->Verify();  // the slots are counted only in a sound file
      index_->SetActiveRecordCount(index_->Trees().RebuildSysDeleted(*data_));
      if (!readOnly_) {
        WriteLock();
        WriteAllChanges();
        ReleaseWriteLock();
      }
    }
  } catch (...) {
    if (blob_) blob_->Close();
    index_->Close();
    data_->Close();
    throw;
  }
}

void TDataTable::Create(const DataFileDefinition& def, const TIndexFileHeader& index) {
  if (options_.readOnly) Raise(KURA_OSEACCES, {.table = name_});
  try {
    data_->Create(def);
    index_->Create(index);
    if (data_->Header().blobFieldCount > 0) {
      const FileOpenMode mode{options_.inMemory, options_.exclusive, options_.temporary};
      blob_ = std::make_unique<TBlobFile>(session_, FilePath(kBlobExtension), name_, mode);
      blob_->Create(data_->Header().EffectiveBlobBlockSize());
    }
  } catch (...) {
    // The files this creation made (those it holds open) are half written:
    // they are removed, so that a failed creation leaves no table behind.
    // A file it could not create is not touched; another user may have it.
    std::vector<std::string> made;
    for (TFileHandler* h : {&data_->Handler(), &index_->Handler(),
                            blob_ ? &blob_->Handler() : nullptr}) {
      if (h != nullptr && h->IsOpen()) made.push_back(h->Path());
    }
    if (blob_) blob_->Close();
    index_->Close();
    data_->Close();
    for (const std::string& path : made) {
      FirstError ignored;
      ignored.Run([&] { TFileHandler::Delete(session_.Files(), path, options_.inMemory, name_); });
    }
    throw;
  }
  if (options_.temporary) {
    // A temporary table stays private to its creator: its files remain
    // open as created (closing them would delete them).
    index_->BindTrees(data_->Fields(), data_->Header().languageId, data_->Header().sortId);
    TakeFileFlags();
    return;
  }
  // Reopened with the table's own sharing mode.
  if (blob_) blob_->Close();
  blob_.reset();
  index_->Close();
  data_->Close();
  Open();
}

void TDataTable::Verify() {
  ReadLock();  // nothing is cached yet, so a change needs no action
  const bool held = read_.held;
  try {
    data_->Verify();
    index_->Verify(data_->Fields());
    if (blob_) blob_->Verify();
  } catch (...) {
    if (held) ReleaseReadLock();
    throw;
  }
  if (held) ReleaseReadLock();
}

void TDataTable::Close() {
  if (!data_->IsOpen()) return;
  // Locks are given back and files closed even when writing back fails.
  FirstError errors;
  if (!inTransaction_ && options_.exclusive && !readOnly_ && !options_.temporary) {
    errors.Run([&] { WriteAllChanges(); });
  }
  errors.Run([&] { ReleaseRecordLocks(); });
  errors.Run([&] { ReleaseSecondReadLock(); });
  errors.Run([&] { ReleaseReadLock(); });
  errors.Run([&] { ReleaseWriteLock(); });
  errors.Run([&] { ReleaseTableLock(); });
  if (blob_) blob_->Close();
  index_->Close();
  data_->Close();
  errors.Rethrow();
}

// ---- locks -------------------------------------------------------------------

bool TDataTable::Retry(TFileHandler& file, std::uint64_t offset, std::uint64_t length) {
  const int attempts = std::max(1, session_.settings.tableLockAttempts);
  for (int i = 0; i < attempts; ++i) {
    if (i > 0) session_.GetEnv().SleepMillis(session_.settings.tableLockPauseMs);
    if (file.Lock(offset, length)) return true;
  }
  return false;
}

bool TDataTable::TakeReadSlot(TFileHandler& file, std::uint32_t* slot) {
  const int attempts = std::max(1, session_.settings.tableLockAttempts);
  for (int i = 0; i < attempts; ++i) {
    std::uint32_t r = session_.GetEnv().Random16() & 0xFFFFu;
    if (r == 0) r = 1;
    if (i > 0) session_.GetEnv().SleepMillis(session_.settings.tableLockPauseMs);
    if (file.Lock(kReadSlotBase - r, 1)) {
      *slot = r;
      return true;
    }
  }
  return false;
}

bool TDataTable::TakeReadLock(ReadSlots& slots) {
  if (!LocksApply() || writeLockHeld_ || tableLockHeld_ || read_.held || secondRead_.held) {
    return false;
  }
  TakeReadSlots(slots);
  while (JournalLeftOver()) {
    GiveReadLock(slots);
    RecoverJournalNow();
    TakeReadSlots(slots);
  }
  try {
    return CheckForChanges();
  } catch (...) {
    GiveReadLock(slots);
    throw;
  }
}

void TDataTable::TakeReadSlots(ReadSlots& slots) {
  if (!TakeReadSlot(index_->Handler(), &slots.indexSlot)) {
    Raise(KURA_LOCKTIMEOUT, {.table = name_});
  }
  bool blobSlot = false;
  try {
    blobSlot = !blob_ || TakeReadSlot(blob_->Handler(), &slots.blobSlot);
  } catch (...) {
    index_->Handler().Unlock(kReadSlotBase - slots.indexSlot, 1);
    throw;
  }
  if (!blobSlot) {
    index_->Handler().Unlock(kReadSlotBase - slots.indexSlot, 1);
    Raise(KURA_LOCKTIMEOUT, {.table = name_});
  }
  slots.held = true;
}

void TDataTable::GiveReadLock(ReadSlots& slots) {
  if (!slots.held) return;
  slots.held = false;
  bool ok = index_->Handler().Unlock(kReadSlotBase - slots.indexSlot, 1);
  if (blob_) ok = blob_->Handler().Unlock(kReadSlotBase - slots.blobSlot, 1) && ok;
  if (!ok) Raise(KURA_UNLOCKFAILED, {.table = name_});
}

bool TDataTable::ReadLock() { return TakeReadLock(read_); }
bool TDataTable::SecondReadLock() { return TakeReadLock(secondRead_); }
void TDataTable::ReleaseReadLock() { GiveReadLock(read_); }
void TDataTable::ReleaseSecondReadLock() { GiveReadLock(secondRead_); }

bool TDataTable::WriteLock() {
  if (readOnly_) Raise(KURA_OSEACCES, {.table = name_});
  if (!LocksApply() || writeLockHeld_) return false;
  // The writer's range covers every read slot, this table's own included.
  ReleaseReadLock();
  ReleaseSecondReadLock();
  if (tableLockHeld_ && inTransaction_ && !committing_) {
    writeLockHeld_ = true;  // the table lock looked for a journal
    return false;
  }
  bool dataByte = false;
  bool indexRange = false;
  auto giveBack = [&] {
    if (indexRange) index_->Handler().Unlock(kWriteRangeOffset, kWriteRangeLength);
    if (dataByte) data_->Handler().Unlock(kTableWriteLockOffset, 1);
  };
  if (!tableLockHeld_) {
    dataByte = Retry(data_->Handler(), kTableWriteLockOffset, 1);
    if (!dataByte) Raise(KURA_LOCKTIMEOUT, {.table = name_});
  }
  // A part that cannot be had, because others hold it or because the
  // system fails the call, gives back the parts already taken.
  bool blobRange = false;
  try {
    indexRange = Retry(index_->Handler(), kWriteRangeOffset, kWriteRangeLength);
    blobRange = indexRange && (!blob_ || Retry(blob_->Handler(), kWriteRangeOffset, kWriteRangeLength));
  } catch (...) {
    giveBack();
    throw;
  }
  if (!blobRange) {
    giveBack();
    Raise(KURA_LOCKTIMEOUT, {.table = name_});
  }
  writeLockHeld_ = true;
  rangesByWrite_ = true;
  dataByteByWrite_ = dataByte;
  if (tableLockHeld_) return false;  // the table lock looked for a journal
  if (JournalLeftOver()) {
    ReleaseWriteLock();
    RecoverJournalNow();
    return WriteLock();
  }
  try {
    return CheckForChanges();
  } catch (...) {
    ReleaseWriteLock();
    throw;
  }
}

void TDataTable::ReleaseWriteLock() {
  if (!writeLockHeld_) return;
  writeLockHeld_ = false;
  bool ok = true;
  if (rangesByWrite_) {
    rangesByWrite_ = false;
    if (blob_) ok = blob_->Handler().Unlock(kWriteRangeOffset, kWriteRangeLength) && ok;
    ok = index_->Handler().Unlock(kWriteRangeOffset, kWriteRangeLength) && ok;
  }
  if (dataByteByWrite_) ok = data_->Handler().Unlock(kTableWriteLockOffset, 1) && ok;
  dataByteByWrite_ = false;
  if (!ok) Raise(KURA_LOCKTIMEOUT, {.table = name_});
}

bool TDataTable::TableLock() {
  if (!LocksApply() || tableLockHeld_) return false;
  if (writeLockHeld_ && dataByteByWrite_) {
    dataByteByWrite_ = false;  // the byte now belongs to the table lock
  } else if (!Retry(data_->Handler(), kTableWriteLockOffset, 1)) {
    Raise(KURA_LOCKTIMEOUT, {.table = name_});
  }
  tableLockHeld_ = true;
  if (JournalLeftOver()) {
    ReleaseTableLock();
    RecoverJournalNow();
    return TableLock();
  }
  try {
    return CheckForChanges();
  } catch (...) {
    FirstError ignored;  // the failed check is the error to report
    ignored.Run([&] { ReleaseTableLock(); });
    throw;
  }
}

void TDataTable::ReleaseTableLock() {
  if (!tableLockHeld_) return;
  tableLockHeld_ = false;
  if (writeLockHeld_) {
    dataByteByWrite_ = true;  // the write lock keeps the byte until it ends
    return;
  }
  if (!data_->Handler().Unlock(kTableWriteLockOffset, 1)) {
    Raise(KURA_LOCKTIMEOUT, {.table = name_});
  }
}

bool TDataTable::LockRecord(std::int32_t n, const void* owner) {
  if (n <= 0) Raise(KURA_RECLOCKFAILED, {.table = name_});
  if (!LocksApply()) return false;
  auto it = recordOwners_.find(n);
  if (it != recordOwners_.end()) {
    if (it->second != owner) Raise(KURA_RECLOCKFAILED, {.table = name_});
    return false;
  }
  const bool strict = session_.settings.strictChangeDetection;
  bool changed = false;
  const std::uint64_t byte = kRecordLockBase - static_cast<std::uint64_t>(n);
  if (deferredUnlocks_.Test(static_cast<std::uint32_t>(n))) {
    deferredUnlocks_.Clear(static_cast<std::uint32_t>(n));  // still held by us
  } else {
    int failures = 0;
    const bool readLockHere = !strict && !read_.held;
    while (true) {
      if (readLockHere) changed = ReadLock() || changed;
      const bool got = data_->Handler().Lock(byte, 1);
      if (readLockHere) ReleaseReadLock();
      if (got) break;
      if (++failures > session_.settings.lockRetryCount) {
        Raise(KURA_RECLOCKFAILED, {.table = name_});
      }
      session_.GetEnv().SleepMillis(session_.settings.lockWaitMs);
    }
  }
  lockedRecords_.Set(static_cast<std::uint32_t>(n));
  recordOwners_[n] = owner;
  return changed;
}

void TDataTable::UnlockRecord(std::int32_t n) {
  if (n <= 0 || recordOwners_.erase(n) == 0) return;
  lockedRecords_.Clear(static_cast<std::uint32_t>(n));
  if (inTransaction_) {
    deferredUnlocks_.Set(static_cast<std::uint32_t>(n));
    return;
  }
  if (!data_->Handler().Unlock(kRecordLockBase - static_cast<std::uint64_t>(n), 1)) {
    Raise(KURA_UNLOCKFAILED, {.table = name_});
  }
}

void TDataTable::ReleaseRecordLocks() {
  while (!recordOwners_.empty()) UnlockRecord(recordOwners_.begin()->first);
  GiveDeferredUnlocks();
}

// ---- changes -----------------------------------------------------------------

bool TDataTable::CheckForChanges() {
  bool changed = false;
  if (index_->CheckChanged()) {
    data_->ReloadHeader();
    changed = true;
  } else {
    changed = data_->CheckChanged();
  }
  if (blob_) changed = blob_->CheckChanged() || changed;
  return changed;
}

bool TDataTable::CountersMoved() {
  if (index_->StoredChangeCounter() != index_->Header().changeCounter) return true;
  if (data_->ReadHeader().changeCounter != data_->Header().changeCounter) return true;
  return blob_ && blob_->StoredChangeCounter() != blob_->Header().changeCounter;
}

// Under a lock of this table the caches match the files already; so they
// do for an exclusive table, and strict change detection holds the read
// lock for the whole operation.
void TDataTable::Read(const std::function<void()>& read) {
  const bool check = restartable_ > 0 && LocksApply() && !session_.settings.strictChangeDetection &&
                     !writeLockHeld_ && !tableLockHeld_ && !read_.held && !secondRead_.held;
  if (!check) return read();
  ReadSlots slots;
  TakeReadSlots(slots);
  if (JournalLeftOver()) {
    GiveReadLock(slots);
    RecoverJournalNow();
    throw TableChangedOnRead();  // the step starts again from the files as they are now
  }
  bool moved = false;
  try {
    moved = CountersMoved();
    if (!moved) read();
  } catch (...) {
    FirstError ignored;  // the failed read is the error to report
    ignored.Run([&] { GiveReadLock(slots); });
    throw;
  }
  GiveReadLock(slots);
  if (moved) throw TableChangedOnRead();
}

void TDataTable::WriteBackChanges(bool flush) {
  if (options_.exclusive || inTransaction_) {
    if (data_->HeaderChanged() || data_->HasDirty()) data_->CountChangeInMemory();
    if (index_->HeaderChanged()) index_->CountChangeInMemory();
    if (blob_ && (blob_->HeaderChanged() || blob_->HasDirty())) blob_->CountChangeInMemory();
    return;
  }
  WriteAllChanges(flush);
}

void TDataTable::WriteAllChanges(bool flush) {
  const bool doFlush = flush || session_.settings.forceBufferFlush;
  data_->WriteBack(doFlush);
  index_->WriteBack(doFlush);
  if (blob_) blob_->WriteBack(doFlush);
}

void TDataTable::DropCaches() {
  data_->DropCache();
  index_->DropCache();
  if (blob_) blob_->DropCache();
}

// ---- transactions ----------------------------------------------------------------

void TDataTable::StartTransaction() {
  if (inTransaction_) return;
  TableLock();
  inTransaction_ = true;
  data_->SetHoldWrites(true);
  if (blob_) blob_->SetHoldWrites(true);
}

void TDataTable::CommitTransaction() {
  if (!inTransaction_) return;
  try {
    WriteTransaction();
    ApplyCommit(session_.settings.forceBufferFlush);
  } catch (...) {
    UndoCommit();
    throw;
  }
  EndCommit();
}

void TDataTable::WriteTransaction() {
  if (!inTransaction_ || readOnly_) return;
  // A change of the transaction may still hold the write lock without the
  // ranges; the commit writes the files and needs them.
  if (writeLockHeld_ && !rangesByWrite_) ReleaseWriteLock();
  committing_ = true;
  try {
    WriteLock();
  } catch (...) {
    committing_ = false;
    throw;
  }
  committing_ = false;
  data_->Handler().BeginUndo();
  index_->Handler().BeginUndo();
  if (blob_) blob_->Handler().BeginUndo();
  WriteAllChanges();
}

std::vector<TFileHandler*> TDataTable::JournaledFiles() {
  if (!inTransaction_ || readOnly_ || options_.inMemory || options_.temporary) return {};
  std::vector<TFileHandler*> files{&data_->Handler(), &index_->Handler()};
  if (blob_) files.push_back(&blob_->Handler());
  return files;
}

void TDataTable::ApplyCommit(bool flush) {
  if (!inTransaction_ || readOnly_) return;
  for (TFileHandler* h : {&data_->Handler(), &index_->Handler(), blob_ ? &blob_->Handler() : nullptr}) {
    if (h == nullptr) continue;
    const auto* staged = h->UndoRecords();
    const bool wrote = staged != nullptr && !staged->empty();
    h->ApplyWrites();
    if (wrote && flush) h->Flush();
  }
}

void TDataTable::EndCommit() {
  if (!inTransaction_) return;
  data_->Handler().ForgetUndo();
  index_->Handler().ForgetUndo();
  if (blob_) blob_->Handler().ForgetUndo();
  std::exception_ptr first;
  try {
    ReleaseWriteLock();
  } catch (...) {
    first = std::current_exception();
  }
  EndTransaction(/*dropChanges=*/false);
  if (first) std::rethrow_exception(first);
}

// The caller reports the error that stopped the commit; a file that cannot
// be put back either is left to the repair tool.
bool TDataTable::UndoCommit() {
  if (!inTransaction_) return true;
  bool restored = true;
  for (TFileHandler* h : {&data_->Handler(), &index_->Handler(),
                          blob_ ? &blob_->Handler() : nullptr}) {
    if (h == nullptr) continue;
    try {
      h->UndoWrites();
    } catch (...) {
      h->ForgetUndo();
      restored = false;
    }
  }
  try {
    ReleaseWriteLock();
  } catch (...) {
    restored = false;
  }
  try {
    EndTransaction(/*dropChanges=*/true);
  } catch (...) {
    restored = false;
  }
  return restored;
}

void TDataTable::RollbackTransaction() {
  if (!inTransaction_) return;
  EndTransaction(/*dropChanges=*/true);
}

// Leaves the transaction: with `dropChanges` the changes held in the caches
// are thrown away and the headers re-read; then the table lock and the
// record locks whose unlock was deferred are given back. Every step is
// attempted; the first error is raised after all of them.
void TDataTable::EndTransaction(bool dropChanges) {
  inTransaction_ = false;
  data_->SetHoldWrites(false);
  if (blob_) blob_->SetHoldWrites(false);
  std::exception_ptr first;
  auto attempt = [&first](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  };
  if (dropChanges) {
    ++droppedChanges_;
    DropCaches();
    attempt([&] { index_->ReloadHeader(); });
    attempt([&] { data_->ReloadHeader(); });
    if (blob_) attempt([&] { blob_->ReloadHeader(); });
  }
  attempt([&] { ReleaseTableLock(); });
  // Unlocks deferred by the transaction are carried out now; a rolled-back
  // transaction must not leave records locked for good.
  GiveDeferredUnlocks();
  if (first) std::rethrow_exception(first);
}

void TDataTable::GiveDeferredUnlocks() {
  for (std::uint32_t n = deferredUnlocks_.NextSet(1); n != 0;
       n = deferredUnlocks_.NextSet(n + 1)) {
    data_->Handler().Unlock(kRecordLockBase - n, 1);
  }
  deferredUnlocks_.ClearAll();
}

// ---- records -----------------------------------------------------------------------

TRecord* TDataTable::ReadRecord(std::int32_t n, bool sequential, bool backwards) {
  return ReadRecordRun(n, sequential ? data_->ReadAheadCount() : 1, backwards);
}

TRecord* TDataTable::ReadRecordRun(std::int32_t n, std::int32_t count, bool backwards) {
  if (TRecord* r = data_->FindCached(n)) return r;
  // A read lock held already (a caller reading under one lock) has checked
  // for changes when it was taken, and is the caller's to give back.
  const bool lockFirst =
      !session_.settings.strictChangeDetection && !options_.exclusive && !read_.held;
  if (lockFirst && ReadLock()) {
    ReleaseReadLock();
    return nullptr;
  }
  const bool allowShort = (options_.exclusive || inTransaction_) && data_->Written();
  try {
    if (n >= 1 && n <= data_->RecordCount()) {
      data_->ReadRun(n, count, backwards, allowShort);
    }
  } catch (...) {
    if (lockFirst) ReleaseReadLock();
    throw;
  }
  if (lockFirst) ReleaseReadLock();
  TRecord* r = data_->FindCached(n);
  if (r == nullptr) Raise(KURA_FILECORRUPT, {.table = name_});
  return r;
}

void TDataTable::BeginChange() {
  if (changeDepth_++ > 0 || options_.exclusive || inTransaction_ || readOnly_) return;
  std::vector<TFileHandler*> begun;
  try {
    for (TFileHandler* h : {&data_->Handler(), &index_->Handler(),
                            blob_ ? &blob_->Handler() : nullptr}) {
      if (h == nullptr) continue;
      h->BeginUndo(/*staging=*/false);
      begun.push_back(h);
    }
  } catch (...) {
    for (TFileHandler* h : begun) h->ForgetUndo();
    --changeDepth_;
    throw;
  }
  changeUndo_ = true;
}

void TDataTable::EndChange(bool failed) {
  if (changeDepth_ == 0 || --changeDepth_ > 0 || !changeUndo_) return;
  changeUndo_ = false;
  // A change refused before it wrote anything (a key violation, a lock)
  // leaves the files as they were, and the caches as they are.
  bool wrote = false;
  for (TFileHandler* h : {&data_->Handler(), &index_->Handler(),
                          blob_ ? &blob_->Handler() : nullptr}) {
    if (h != nullptr && h->UndoHasWrites()) wrote = true;
  }
  if (!wrote) failed = false;
  for (TFileHandler* h : {&data_->Handler(), &index_->Handler(),
                          blob_ ? &blob_->Handler() : nullptr}) {
    if (h == nullptr) continue;
    if (!failed) {
      h->ForgetUndo();
      continue;
    }
    try {
      h->UndoWrites();
    } catch (...) {
      h->ForgetUndo();  // the error that stopped the change is reported
    }
  }
  if (!failed) return;
  ++droppedChanges_;
  DropCaches();
  FirstError ignored;  // the error that stopped the change is reported
  ignored.Run([&] { index_->ReloadHeader(); });
  ignored.Run([&] { data_->ReloadHeader(); });
  if (blob_) ignored.Run([&] { blob_->ReloadHeader(); });
}

template <typename Fn>
void TDataTable::UnderWriteLock(Fn&& change) {
  if (changeDepth_ > 0) {
    // Part of a larger change (a record with its BLOB values), which holds
    // the write lock and undoes the whole when it fails.
    BeginChange();
    try {
      change();
      WriteBackChanges();
    } catch (...) {
      EndChange(/*failed=*/true);
      throw;
    }
    EndChange(/*failed=*/false);
    return;
  }
  WriteLock();
  try {
    BeginChange();
  } catch (...) {
    FirstError ignored;
    ignored.Run([&] { ReleaseWriteLock(); });
    throw;
  }
  try {
    change();
    WriteBackChanges();
  } catch (...) {
    EndChange(/*failed=*/true);
    ReleaseWriteLock();
    throw;
  }
  EndChange(/*failed=*/false);
  ReleaseWriteLock();
}

TRecord* TDataTable::ActiveRecord(std::int32_t n) {
  TRecord* r = data_->GetRecord(n, (options_.exclusive || inTransaction_) && data_->Written());
  if (RecordStatus(r->Data()) != kRecordActive) Raise(KURA_FILECORRUPT, {.table = name_});
  return r;
}

std::int32_t TDataTable::AppendRecord(const std::uint8_t* image,
                                      std::optional<std::int32_t> rowId) {
  std::int32_t n = 0;
  UnderWriteLock([&] {
    // Unique keys are checked before anything changes.
    const std::int32_t last = data_->Header().lastRowId;
    const std::int32_t newRowId = rowId ? *rowId : (last >= kMaxRowId ? 1 : last + 1);
    index_->Trees().CheckInsert(image, newRowId);
    TRecord* r = data_->TakeSlotForInsert(index_->HasPrimaryFields());
    std::optional<std::int32_t> reused;
    if (RecordStatus(r->Data()) == kRecordDeleted) reused = RecordRowId(r->Data());
    std::memcpy(r->Data(), image, data_->RecordLength());
    data_->InitForInsert(r, rowId);
    index_->AdjustActiveRecordCount(1);
    n = r->Number();
    index_->Trees().InsertRecord(n, r->Data(), reused);
  });
  return n;
}

void TDataTable::ModifyRecord(std::int32_t n, const std::uint8_t* image) {
  UnderWriteLock([&] {
    TRecord* r = ActiveRecord(n);
    const std::vector<std::uint8_t> before(r->Data(), r->Data() + data_->RecordLength());
    std::vector<std::uint8_t> after = before;
    std::memcpy(after.data() + kRecordHeaderSize, image + kRecordHeaderSize,
                data_->RecordLength() - kRecordHeaderSize);
    index_->Trees().CheckUpdate(before.data(), after.data());
    std::memcpy(r->Data(), after.data(), after.size());
    r->dirty = true;
    index_->Trees().UpdateRecord(n, before.data(), after.data());
  });
}

void TDataTable::DeleteRecord(std::int32_t n) {
  UnderWriteLock([&] {
    index_->Trees().DeleteRecord(n, ActiveRecord(n)->Data());
    data_->FreeSlot(n, index_->HasPrimaryFields());
    index_->AdjustActiveRecordCount(-1);
  });
}

}  // namespace kura
