// The lock protocol between real processes: each child opens the files
// after the fork (open-file-description locks are shared across a fork),
// and every child is bounded by an alarm and a watchdog in the parent.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "engine/storage/env_fault.h"
#include "engine/storage/field_values.h"
#include "engine/storage/storage_directory.h"
#include "engine/storage/testing/child_process.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using testing::CodeOf;
using testing::Join;
using testing::Pipe;
using testing::Spawn;
using testing::NoKeyIndex;
using testing::ScratchDir;
using testing::TwoIntsAndString;

struct Process {
  explicit Process(Env* env, const std::string& dir) : files(env), session(files), directory(session, dir) {}
  TFileList files;
  TDataSession session;
  TDataDirectory directory;
};

class ForkTest : public ::testing::Test {
 protected:
  ForkTest() {
    Process creator(Env::Default(), dir_.Path());
    TDataTable* t = creator.directory.CreateTable("figure", {}, TwoIntsAndString(), NoKeyIndex());
    std::vector<std::uint8_t> rec(41, 0);
    for (int i = 0; i < 3; ++i) t->AppendRecord(rec.data());
    creator.directory.CloseTable(t);
  }
  ScratchDir dir_;
};

TEST_F(ForkTest, ReadersShareTheTableWhileAWriterWaitsForThem) {
  Pipe readerReady, readerGo, writerDone;
  const pid_t reader = Spawn([&] {
    Process p(Env::Default(), dir_.Path());
    TDataTable* t = p.directory.OpenTable("figure", {});
    t->ReadLock();
    readerReady.Send('r');
    if (readerGo.Receive() != 'g') return 2;
    t->ReleaseReadLock();
    p.directory.CloseTable(t);
    return 0;
  });
  ASSERT_EQ(readerReady.Receive(), 'r');
  Process parent(Env::Default(), dir_.Path());
  TDataTable* mine = parent.directory.OpenTable("figure", {});
  ASSERT_EQ(CodeOf([&] { mine->ReadLock(); }), 0);  // a second reader at once
  ASSERT_TRUE(mine->HoldsReadLock());
  ASSERT_NE(mine->ReadRecord(1), nullptr);  // read under the lock: cached

  const pid_t writer = Spawn([&] {
    Process p(Env::Default(), dir_.Path());
    TDataTable* t = p.directory.OpenTable("figure", {});
    std::vector<std::uint8_t> rec(41, 0);
    SetFieldInt(rec.data(), t->Data().Field(1), 42);
    t->AppendRecord(rec.data());
    writerDone.Send('w');
    p.directory.CloseTable(t);
    return 0;
  });
  EXPECT_EQ(writerDone.Receive(300), 0) << "the writer did not wait for the readers";
  mine->ReleaseReadLock();
  EXPECT_EQ(writerDone.Receive(300), 0) << "the writer did not wait for the second reader";
  readerGo.Send('g');
  EXPECT_EQ(writerDone.Receive(), 'w');
  EXPECT_EQ(Join(reader), 0);
  EXPECT_EQ(Join(writer), 0);
  // The readers' next read lock sees the change through the counters and
  // drops the cached records.
  EXPECT_NE(mine->Data().FindCached(1), nullptr);
  EXPECT_TRUE(mine->ReadLock());
  mine->ReleaseReadLock();
  EXPECT_EQ(mine->Data().FindCached(1), nullptr);
  EXPECT_EQ(mine->Data().RecordCount(), 4);
  EXPECT_EQ(GetFieldInt(mine->ReadRecord(4)->Data(), mine->Data().Field(1)), 42);
  parent.directory.CloseTable(mine);
}

TEST_F(ForkTest, ARecordLockedByAnotherProcessFailsAfterTheRetryCount) {
  Pipe locked, release;
  const pid_t holder = Spawn([&] {
    Process p(Env::Default(), dir_.Path());
    TDataTable* t = p.directory.OpenTable("figure", {});
    t->LockRecord(2, &p);
    locked.Send('l');
    if (release.Receive() != 'u') return 2;
    t->UnlockRecord(2);
    p.directory.CloseTable(t);
    locked.Send('d');
    return 0;
  });
  ASSERT_EQ(locked.Receive(), 'l');
  FaultEnv env(Env::Default());
  Process p(&env, dir_.Path());
  p.session.settings.lockRetryCount = 4;
  p.session.settings.lockWaitMs = 2;
  TDataTable* t = p.directory.OpenTable("figure", {});
  env.ResetCounters();
  EXPECT_EQ(CodeOf([&] { t->LockRecord(2, this); }), KURA_RECLOCKFAILED);
  EXPECT_EQ(env.SleepCalls(), 4u);
  EXPECT_EQ(CodeOf([&] { t->LockRecord(3, this); }), 0);  // other records are free
  release.Send('u');
  EXPECT_EQ(locked.Receive(), 'd');
  EXPECT_EQ(CodeOf([&] { t->LockRecord(2, this); }), 0);
  EXPECT_EQ(Join(holder), 0);
  p.directory.CloseTable(t);
}

// Changes inside a transaction take no write range (the table lock keeps
// other writers out and the changes stay in memory until the commit): the
// other process reads, and is refused writing, exactly as it was between
// the changes; the commit takes the ranges and so waits for readers.
TEST_F(ForkTest, ChangesInsideATransactionLeaveOtherProcessesWhereTheyWere) {
  Pipe ask, answer;
  const pid_t other = Spawn([&] {
    Process p(Env::Default(), dir_.Path());
    p.session.settings.tableLockAttempts = 2;
    p.session.settings.tableLockPauseMs = 1;
    TDataTable* t = p.directory.OpenTable("figure", {});
    for (char c = ask.Receive(); c != 'q'; c = ask.Receive()) {
      if (c == 'r') {  // how many records a read lock sees
        t->ReadLock();
        const int count = t->Data().RecordCount();
        t->ReleaseReadLock();
        answer.Send(static_cast<char>('0' + count));
      } else if (c == 'w') {  // whether a write lock can be had
        answer.Send(CodeOf([&] { t->WriteLock(); }) == KURA_LOCKTIMEOUT ? 'n' : 'y');
        t->ReleaseWriteLock();
      } else if (c == 'h') {
        t->ReadLock();
        answer.Send('h');
      } else if (c == 'u') {
        t->ReleaseReadLock();
        answer.Send('u');
      }
    }
    p.directory.CloseTable(t);
    return 0;
  });
  auto request = [&](char c) {
    ask.Send(c);
    return answer.Receive();
  };
  Process p(Env::Default(), dir_.Path());
  p.session.settings.tableLockAttempts = 2;
  p.session.settings.tableLockPauseMs = 1;
  TDataTable* t = p.directory.OpenTable("figure", {});
  std::vector<std::uint8_t> rec(41, 0);
  t->StartTransaction();
  t->AppendRecord(rec.data());
  EXPECT_EQ(request('r'), '3');
  t->AppendRecord(rec.data());
  EXPECT_FALSE(t->HoldsWriteLock());
  EXPECT_EQ(request('r'), '3');
  EXPECT_EQ(request('w'), 'n');
  t->CommitTransaction();
  EXPECT_EQ(request('r'), '5');

  // A reader holding its lock keeps the commit out: it gives up, and the
  // transaction's change is dropped.
  t->StartTransaction();
  t->AppendRecord(rec.data());
  EXPECT_EQ(request('h'), 'h');
  EXPECT_EQ(CodeOf([&] { t->CommitTransaction(); }), KURA_LOCKTIMEOUT);
  EXPECT_EQ(request('u'), 'u');
  EXPECT_EQ(request('r'), '5');
  EXPECT_EQ(request('w'), 'y');
  ask.Send('q');
  EXPECT_EQ(Join(other), 0);
  p.directory.CloseTable(t);
}

// Two children forked from one parent that has drawn read slots already
// draw different slots (the generator is reseeded after a fork).
TEST(ForkedRandom, ChildrenOfOneParentDrawDifferentReadSlots) {
  Env* env = Env::Default();
  env->Random16();  // the parent's generator is seeded and in use
  auto draws = [&](Pipe& out) {
    return Spawn([&] {
      for (int i = 0; i < 4; ++i) {
        const std::uint32_t r = env->Random16();
        out.Send(static_cast<char>(r & 0xFF));
        out.Send(static_cast<char>(r >> 8));
      }
      return 0;
    });
  };
  Pipe first, second;
  const pid_t a = draws(first), b = draws(second);
  std::string x, y;
  for (int i = 0; i < 8; ++i) {
    x += first.Receive();
    y += second.Receive();
  }
  EXPECT_EQ(Join(a), 0);
  EXPECT_EQ(Join(b), 0);
  EXPECT_NE(x, y);
}

TEST_F(ForkTest, AnExclusiveOpenShutsOutTheOtherProcess) {
  Pipe opened, done;
  const pid_t child = Spawn([&] {
    Process p(Env::Default(), dir_.Path());
    TDataTable* t = p.directory.OpenTable("figure", {.exclusive = true});
    opened.Send('o');
    if (done.Receive() != 'x') return 2;
    p.directory.CloseTable(t);
    return 0;
  });
  ASSERT_EQ(opened.Receive(), 'o');
  Process p(Env::Default(), dir_.Path());
  EXPECT_EQ(CodeOf([&] { p.directory.OpenTable("figure", {}); }), KURA_OSEACCES);
  EXPECT_EQ(CodeOf([&] { p.directory.OpenTable("figure", {.exclusive = true}); }),
            KURA_OSEACCES);
  done.Send('x');
  EXPECT_EQ(Join(child), 0);

  TDataTable* shared = p.directory.OpenTable("figure", {});
  const pid_t second = Spawn([&] {
    Process q(Env::Default(), dir_.Path());
    return CodeOf([&] { q.directory.OpenTable("figure", {.exclusive = true}); }) ==
                   KURA_OSEACCES
               ? 0
               : 3;
  });
  EXPECT_EQ(Join(second), 0);
  p.directory.CloseTable(shared);
}

}  // namespace
}  // namespace kura
