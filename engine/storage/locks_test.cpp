// The lock protocol inside one process and between two file lists over one
// disk (two opens of every file, as two processes have): byte-range
// conflicts, retry counts, sharing modes, read-only files, change
// detection and transactions.
#include <gtest/gtest.h>

#include <cerrno>

#include "engine/storage/coding.h"
#include "engine/storage/env_fault.h"
#include "engine/storage/field_values.h"
#include "engine/storage/file_format.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using testing::CodeOf;
using testing::NoKeyIndex;
using testing::ScratchDir;
using testing::TwoIntsAndString;

// One "process": its own file list and session over a shared disk.
struct Process {
  explicit Process(Env* env, const std::string& dir) : files(env), session(files), directory(session, dir) {
    session.settings.lockRetryCount = 3;
    session.settings.lockWaitMs = 1;
    session.settings.tableLockAttempts = 5;
    session.settings.tableLockPauseMs = 1;
  }
  TFileList files;
  TDataSession session;
  TDataDirectory directory;
};

class LocksTest : public ::testing::Test {
 protected:
  LocksTest() {
    Process creator(Env::Default(), dir_.Path());
    TDataTable* t = creator.directory.CreateTable("figure", {}, TwoIntsAndString(), NoKeyIndex());
    std::vector<std::uint8_t> rec(41, 0);
    for (int i = 0; i < 5; ++i) t->AppendRecord(rec.data());
    creator.directory.CloseTable(t);
  }
  ScratchDir dir_;
  FaultEnv env_{Env::Default()};
};

TEST_F(LocksTest, AByteHeldByOneUserOfTheProcessIsRefusedToEveryOther) {
  Process p(&env_, dir_.Path());
  TDataSession other(p.files);  // a second session of the same process
  other.settings = p.session.settings;
  TDataDirectory otherDir(other, dir_.Path());
  TDataTable* a = p.directory.OpenTable("figure", {});
  TDataTable* b = otherDir.OpenTable("FIGURE", {});
  EXPECT_FALSE(a->LockRecord(2, this));
  EXPECT_EQ(CodeOf([&] { b->LockRecord(2, this); }), KURA_RECLOCKFAILED);
  EXPECT_EQ(CodeOf([&] { b->LockRecord(3, this); }), 0);
  // Two cursors of one session are kept apart by the session's set.
  EXPECT_EQ(CodeOf([&] { a->LockRecord(2, &other); }), KURA_RECLOCKFAILED);
  EXPECT_EQ(CodeOf([&] { a->LockRecord(0, this); }), KURA_RECLOCKFAILED);
  a->UnlockRecord(2);
  EXPECT_EQ(CodeOf([&] { b->LockRecord(2, this); }), 0);
  // Byte-range locks are not re-entrant, even for the same handle.
  TFileHandler& h = a->Data().Handler();
  EXPECT_TRUE(h.Lock(1000, 10));
  EXPECT_FALSE(h.Lock(1005, 1));
  EXPECT_FALSE(h.Unlock(1000, 5));  // only the exact range unlocks
  EXPECT_TRUE(h.Unlock(1000, 10));
  // A writer waits for this process's other reader, then gives up.
  EXPECT_FALSE(b->ReadLock());
  EXPECT_EQ(CodeOf([&] { a->WriteLock(); }), KURA_LOCKTIMEOUT);
  b->ReleaseReadLock();
  EXPECT_EQ(CodeOf([&] { a->WriteLock(); }), 0);
  a->ReleaseWriteLock();
  otherDir.CloseTable(b);
  p.directory.CloseTable(a);
}

TEST_F(LocksTest, RecordLocksRetryExactlyTheSessionsCountWithItsWait) {
  Process holder(Env::Default(), dir_.Path());
  Process waiter(&env_, dir_.Path());
  TDataTable* h = holder.directory.OpenTable("figure", {});
  TDataTable* w = waiter.directory.OpenTable("figure", {});
  h->LockRecord(4, this);
  env_.ResetCounters();
  EXPECT_EQ(CodeOf([&] { w->LockRecord(4, this); }), KURA_RECLOCKFAILED);
  EXPECT_EQ(env_.SleepCalls(), 3u);  // the first attempt and three retries
  h->UnlockRecord(4);
  EXPECT_EQ(CodeOf([&] { w->LockRecord(4, this); }), 0);
  waiter.directory.CloseTable(w);
  holder.directory.CloseTable(h);
}

TEST_F(LocksTest, ALockThatCannotBeHadLeavesNoPartHeld) {
  Process p(&env_, dir_.Path());
  Process other(Env::Default(), dir_.Path());
  TDataTable* t = p.directory.OpenTable("figure", {});
  TDataTable* o = other.directory.OpenTable("figure", {});
  env_.SetLockConflict(kWriteRangeOffset + 100);  // someone holds a read slot
  env_.ResetCounters();
  EXPECT_EQ(CodeOf([&] { t->WriteLock(); }), KURA_LOCKTIMEOUT);
  EXPECT_EQ(env_.SleepCalls(), 4u);  // five attempts in all
  EXPECT_FALSE(t->HoldsWriteLock());
  env_.ClearLockConflict();
  // The data file byte taken first was given back.
  EXPECT_EQ(CodeOf([&] { o->WriteLock(); }), 0);
  o->ReleaseWriteLock();
  env_.SetLockConflict(kReadSlotBase - 1);
  for (int i = 0; i < 20; ++i) {  // read slots are drawn anew on a conflict
    ASSERT_EQ(CodeOf([&] { t->ReadLock(); }), 0);
    t->ReleaseReadLock();
  }
  env_.ClearLockConflict();
  other.directory.CloseTable(o);
  p.directory.CloseTable(t);
}

// An unlock the system fails is reported; the process remembers the range
// and lets it go at its next lock call of the file, and a system that
// keeps failing keeps the range until the file closes, never handing it
// to a new holder in between.
TEST_F(LocksTest, AFailedUnlockIsReportedAndTheLockIsLetGoLater) {
  Process p(&env_, dir_.Path());
  Process other(Env::Default(), dir_.Path());
  TDataTable* t = p.directory.OpenTable("figure", {});
  TDataTable* o = other.directory.OpenTable("figure", {});
  ASSERT_EQ(CodeOf([&] { t->WriteLock(); }), 0);
  env_.FailCall(FaultCall::kUnlock, 1, EIO);
  EXPECT_NE(CodeOf([&] { t->ReleaseWriteLock(); }), 0);
  EXPECT_FALSE(t->HoldsWriteLock());
  EXPECT_EQ(CodeOf([&] { t->WriteLock(); }), 0);  // the same process writes again
  t->ReleaseWriteLock();
  EXPECT_EQ(CodeOf([&] { o->WriteLock(); }), 0);  // and so does another one
  o->ReleaseWriteLock();

  t->ReadLock();
  env_.FailCall(FaultCall::kUnlock, 1, ENOLCK);
  EXPECT_EQ(CodeOf([&] { t->ReleaseReadLock(); }), KURA_UNLOCKFAILED);
  EXPECT_EQ(CodeOf([&] { o->WriteLock(); }), KURA_LOCKTIMEOUT);  // the slot is still held
  EXPECT_EQ(CodeOf([&] { t->ReadLock(); }), 0);  // the next lock call lets it go
  t->ReleaseReadLock();
  EXPECT_EQ(CodeOf([&] { o->WriteLock(); }), 0);
  o->ReleaseWriteLock();

  ASSERT_EQ(CodeOf([&] { t->WriteLock(); }), 0);
  env_.FailCall(FaultCall::kUnlock, 1, EIO, /*sticky=*/true);
  EXPECT_NE(CodeOf([&] { t->ReleaseWriteLock(); }), 0);
  EXPECT_EQ(CodeOf([&] { o->WriteLock(); }), KURA_LOCKTIMEOUT);
  EXPECT_EQ(CodeOf([&] { t->WriteLock(); }), KURA_OSUNKNOWN);
  EXPECT_FALSE(t->HoldsWriteLock());
  p.directory.CloseTable(t);  // closing the files lets every range go
  EXPECT_EQ(CodeOf([&] { o->WriteLock(); }), 0);
  o->ReleaseWriteLock();
  env_.ClearCallFaults();
  other.directory.CloseTable(o);
}

TEST_F(LocksTest, ExclusiveOpensAreRefusedInTheProcessAndAcrossProcesses) {
  Process a(Env::Default(), dir_.Path());
  Process b(Env::Default(), dir_.Path());
  TDataTable* shared = a.directory.OpenTable("figure", {});
  EXPECT_EQ(CodeOf([&] { a.directory.OpenTable("figure", {.exclusive = true}); }),
            KURA_OSEACCES);
  EXPECT_EQ(CodeOf([&] { b.directory.OpenTable("figure", {.exclusive = true}); }),
            KURA_OSEACCES);
  TDataTable* second = b.directory.OpenTable("figure", {});
  b.directory.CloseTable(second);
  a.directory.CloseTable(shared);
  TDataTable* exclusive = b.directory.OpenTable("figure", {.exclusive = true});
  EXPECT_EQ(CodeOf([&] { a.directory.OpenTable("figure", {}); }), KURA_OSEACCES);
  EXPECT_EQ(CodeOf([&] { b.directory.DeleteTable("figure", false); }), KURA_OSEACCES);
  b.directory.CloseTable(exclusive);
  EXPECT_EQ(CodeOf([&] { a.directory.OpenTable("nothere", {}); }), KURA_OSENOENT);
}

TEST_F(LocksTest, AChangeByOneProcessDropsTheOthersCachedRecords) {
  Process reader(Env::Default(), dir_.Path());
  Process writer(Env::Default(), dir_.Path());
  TDataTable* r = reader.directory.OpenTable("figure", {});
  TDataTable* w = writer.directory.OpenTable("figure", {});
  ASSERT_NE(r->ReadRecord(1), nullptr);
  EXPECT_NE(r->Data().FindCached(1), nullptr);
  std::vector<std::uint8_t> rec(41, 0);
  SetFieldInt(rec.data(), w->Data().Field(1), 99);
  w->ModifyRecord(1, rec.data());
  // The stale record is still cached until a read lock looks at the counters.
  EXPECT_TRUE(r->ReadLock());
  r->ReleaseReadLock();
  EXPECT_EQ(r->Data().FindCached(1), nullptr);
  EXPECT_EQ(GetFieldInt(r->ReadRecord(1)->Data(), r->Data().Field(1)), 99);
  EXPECT_FALSE(r->CheckForChanges());
  w->AppendRecord(rec.data());
  EXPECT_EQ(r->ReadRecord(6), nullptr);  // a miss sees the change first
  EXPECT_EQ(r->Data().RecordCount(), 6);
  EXPECT_EQ(r->Index().ActiveRecordCount(), 6);
  writer.directory.CloseTable(w);
  reader.directory.CloseTable(r);
}

// A miss that finds the table changed gives its read slot back before it
// reports the change: a slot kept would shut every writer out until the
// reader closes the table.
TEST_F(LocksTest, AMissThatMeetsAChangeLeavesNoReadLockBehind) {
  Process reader(Env::Default(), dir_.Path());
  Process writer(Env::Default(), dir_.Path());
  TDataTable* r = reader.directory.OpenTable("figure", {});
  TDataTable* w = writer.directory.OpenTable("figure", {});
  std::vector<std::uint8_t> rec(41, 0);
  w->AppendRecord(rec.data());
  ASSERT_EQ(r->ReadRecord(6), nullptr);  // the miss that sees the change
  EXPECT_FALSE(r->HoldsReadLock());
  EXPECT_EQ(CodeOf([&] { w->AppendRecord(rec.data()); }), 0);  // a writer gets in
  writer.directory.CloseTable(w);
  reader.directory.CloseTable(r);
}

// A caller that reads several records under one read lock (one state of
// the table for a whole computation) keeps it through the record misses
// and record locks in between: they neither check again nor give it back,
// so no writer gets in before the caller is done.
TEST_F(LocksTest, AReadLockHeldByTheCallerOutlastsMissesAndRecordLocks) {
  Process reader(&env_, dir_.Path());
  Process writer(Env::Default(), dir_.Path());
  TDataTable* r = reader.directory.OpenTable("figure", {});
  TDataTable* w = writer.directory.OpenTable("figure", {});
  r->ReadLock();
  for (std::int32_t n = 1; n <= 5; ++n) ASSERT_NE(r->ReadRecord(n), nullptr);
  EXPECT_FALSE(r->LockRecord(3, this));
  EXPECT_TRUE(r->HoldsReadLock());
  EXPECT_EQ(CodeOf([&] { w->WriteLock(); }), KURA_LOCKTIMEOUT);
  r->UnlockRecord(3);
  r->ReleaseReadLock();
  EXPECT_EQ(CodeOf([&] { w->WriteLock(); }), 0);
  w->ReleaseWriteLock();
  writer.directory.CloseTable(w);
  reader.directory.CloseTable(r);
}

TEST_F(LocksTest, ReadOnlyFilesOpenReadOnlyAndTakeNoLocks) {
  for (const char* f : {"figure.DAT", "figure.IDX"}) {
    ASSERT_EQ(Env::Default()->SetReadOnly(dir_.File(f), true), 0);
  }
  Process p(&env_, dir_.Path());
  TDataTable* t = p.directory.OpenTable("figure", {});
  EXPECT_TRUE(t->ReadOnly());
  EXPECT_TRUE(t->ReadOnlyAttribute());
  env_.ResetCounters();
  EXPECT_NE(t->ReadRecord(3), nullptr);
  EXPECT_FALSE(t->LockRecord(3, this));
  EXPECT_EQ(env_.LockCalls(), 0u);
  std::vector<std::uint8_t> rec(41, 0);
  EXPECT_EQ(CodeOf([&] { t->AppendRecord(rec.data()); }), KURA_OSEACCES);
  p.directory.CloseTable(t);
}

TEST_F(LocksTest, TransactionsHoldChangesUntilCommitAndDropThemOnRollback) {
  Process p(Env::Default(), dir_.Path());
  Process other(Env::Default(), dir_.Path());
  TDataTable* t = p.directory.OpenTable("figure", {});
  TDataTable* o = other.directory.OpenTable("figure", {});
  std::vector<std::uint8_t> rec(41, 0);
  p.directory.StartTransaction();
  EXPECT_TRUE(t->HoldsTableLock());
  t->AppendRecord(rec.data());
  t->LockRecord(2, this);
  t->UnlockRecord(2);  // deferred to the end of the transaction
  EXPECT_FALSE(o->CheckForChanges());
  EXPECT_EQ(CodeOf([&] { o->WriteLock(); }), KURA_LOCKTIMEOUT);
  EXPECT_EQ(CodeOf([&] { o->LockRecord(2, this); }), KURA_RECLOCKFAILED);
  p.directory.Commit();
  EXPECT_TRUE(o->CheckForChanges());
  EXPECT_EQ(o->Data().RecordCount(), 6);
  EXPECT_EQ(CodeOf([&] { o->LockRecord(2, this); }), 0);
  o->UnlockRecord(2);

  p.directory.StartTransaction();
  t->AppendRecord(rec.data());
  EXPECT_EQ(t->Data().RecordCount(), 7);
  p.directory.Rollback();
  EXPECT_EQ(t->Data().RecordCount(), 6);
  EXPECT_FALSE(o->CheckForChanges());
  other.directory.CloseTable(o);
  p.directory.CloseTable(t);
}

TEST_F(LocksTest, RollbackGivesBackTheRecordLocksItDeferred) {
  Process p(Env::Default(), dir_.Path());
  Process other(Env::Default(), dir_.Path());
  TDataTable* t = p.directory.OpenTable("figure", {});
  TDataTable* o = other.directory.OpenTable("figure", {});
  p.directory.StartTransaction();
  t->LockRecord(3, this);
  t->UnlockRecord(3);
  EXPECT_EQ(CodeOf([&] { o->LockRecord(3, this); }), KURA_RECLOCKFAILED);
  p.directory.Rollback();
  EXPECT_EQ(CodeOf([&] { o->LockRecord(3, this); }), 0);
  other.directory.CloseTable(o);
  p.directory.CloseTable(t);
}

TEST_F(LocksTest, AWriterHoldingItsOwnReadLockDoesNotWaitForItself) {
  Process p(Env::Default(), dir_.Path());
  p.session.settings.strictChangeDetection = true;
  TDataTable* t = p.directory.OpenTable("figure", {});
  t->ReadLock();  // a cursor operation holds it to its end
  std::vector<std::uint8_t> rec(41, 0);
  EXPECT_EQ(CodeOf([&] { t->AppendRecord(rec.data()); }), 0);
  EXPECT_FALSE(t->HoldsReadLock());
  t->ReleaseReadLock();  // nothing is held any more: does nothing
  p.directory.CloseTable(t);
}

TEST_F(LocksTest, AMissingIndexFileIsRebuiltWithTheActiveRecordCount) {
  {
    Process p(Env::Default(), dir_.Path());
    TDataTable* t = p.directory.OpenTable("figure", {});
    t->DeleteRecord(2);
    p.directory.CloseTable(t);
  }
  ASSERT_EQ(Env::Default()->Delete(dir_.File("figure.IDX")), 0);
  Process p(Env::Default(), dir_.Path());
  TDataTable* t = p.directory.OpenTable("figure", {});
  EXPECT_TRUE(t->IndexWasCreated());
  EXPECT_EQ(t->Index().ActiveRecordCount(), 4);
  EXPECT_FALSE(t->Index().HasPrimaryFields());
  EXPECT_EQ(t->Data().RecordCount(), 5);
  p.directory.CloseTable(t);
  // A damaged data file is refused before its slots are counted.
  ASSERT_EQ(Env::Default()->Delete(dir_.File("figure.IDX")), 0);
  auto bytes = testing::ReadWholeFile(dir_.File("figure.DAT"));
  PutInt32LE(&bytes[13], 2000000000);
  testing::WriteWholeFile(dir_.File("figure.DAT"), bytes);
  EXPECT_EQ(CodeOf([&] { p.directory.OpenTable("figure", {}); }), KURA_HEADERCORRUPT);
}

}  // namespace
}  // namespace kura
