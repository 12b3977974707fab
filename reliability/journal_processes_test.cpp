// The commit journal between processes: a reader that keeps a table open
// while writers are killed inside their commits never sees a commit half
// written, and of several processes that start at once after a crash one
// rolls the journal back while the others wait for it.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <random>

#include "engine/storage/commit_journal.h"
#include "engine/storage/data_directory.h"
#include "engine/storage/env_fault.h"
#include "engine/storage/field_values.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using testing::NoKeyIndex;
using testing::ScratchDir;
using testing::TwoIntsAndString;

constexpr int kGroup = 5;  // rows appended by each commit

int Seconds() {
  if (const char* s = std::getenv("KURA_JOURNAL_SECONDS")) return std::max(1, std::atoi(s));
  return 3;
}

std::vector<std::uint8_t> Image(TDataTable& t, int a) {
  std::vector<std::uint8_t> rec(t.Data().RecordLength(), 0);
  SetFieldInt(rec.data(), t.Data().Field(1), a);
  SetFieldString(rec.data(), t.Data().Field(3), "row " + std::to_string(a), nullptr);
  return rec;
}

void MakeTable(const std::string& db, int rows) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory dir(session, db);
  TDataTable* t = dir.CreateTable("t", {}, TwoIntsAndString(), NoKeyIndex());
  for (int i = 1; i <= rows; ++i) t->AppendRecord(Image(*t, i).data());
  dir.CloseTable(t);
}

// A child that commits groups of kGroup appends until it is killed.
[[noreturn]] void CommitGroupsForever(const std::string& db) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory dir(session, db);
  TDataTable* t = dir.OpenTable("t", {});
  for (int g = 0;; ++g) {
    dir.StartTransaction();
    for (int i = 0; i < kGroup; ++i) t->AppendRecord(Image(*t, 1000 + g).data());
    dir.Commit();
  }
}

// The active records, counted under one read lock.
int CountUnderReadLock(TDataTable& t) {
  for (;;) {
    t.ReadLock();
    int active = 0;
    bool again = false;
    for (std::int32_t n = 1; n <= t.Data().RecordCount(); ++n) {
      const TRecord* r = t.ReadRecord(n);
      if (r == nullptr) {
        again = true;
        break;
      }
      active += RecordStatus(r->Data()) == kRecordActive;
    }
    t.ReleaseReadLock();
    if (!again) return active;
  }
}

TEST(JournalProcesses, AReaderNeverSeesACommitHalfWrittenWhileWritersAreKilled) {
  ScratchDir scratch;
  const std::string db = scratch.Path();
  MakeTable(db, 3);
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory dir(session, db);
  TDataTable* t = dir.OpenTable("t", {});
  std::mt19937 random(27);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds());
  int kills = 0, reads = 0, torn = 0, lastCount = 3;
  while (std::chrono::steady_clock::now() < end) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::alarm(30);
      CommitGroupsForever(db);
    }
    const auto killAt = std::chrono::steady_clock::now() +
                        std::chrono::microseconds(std::uniform_int_distribution<int>(500, 30000)(random));
    while (std::chrono::steady_clock::now() < killAt) {
      const int count = CountUnderReadLock(*t);
      ++reads;
      if ((count - 3) % kGroup != 0) {
        ++torn;
        ADD_FAILURE() << "read " << count << " rows: a commit half written";
      }
      lastCount = count;
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ++kills;
    if (torn > 0) break;
  }
  const int count = CountUnderReadLock(*t);
  EXPECT_EQ((count - 3) % kGroup, 0) << count << " rows after the last kill";
  EXPECT_GE(count, lastCount);
  dir.CloseTable(t);
  std::printf("%d writers killed, %d reads, %d torn, %d rows at the end\n", kills, reads, torn, count);
  EXPECT_GT(count, 3) << "no commit went through";
}

TEST(JournalProcesses, ProcessesStartingAfterACrashRollBackOnceAndTheOthersWait) {
  ScratchDir scratch;
  const std::string db = scratch.Path();
  MakeTable(db, 3);
  const std::vector<std::uint8_t> before = testing::ReadWholeFile(scratch.File("t.DAT"));
  {
    // A commit whose writes fail from its third on, and cannot be put
    // back: the tables are half written and the journal stays, as a
    // writer killed in the middle leaves them.
    FaultEnv faulty(Env::Default());
    TFileList files(&faulty);
    TDataSession session(files);
    TDataDirectory dir(session, db);
    TDataTable* t = dir.OpenTable("t", {});
    dir.StartTransaction();
    for (int i = 0; i < 200; ++i) t->AppendRecord(Image(*t, 50 + i).data());
    faulty.FailCall(FaultCall::kWrite, 3, EIO, /*sticky=*/true);
    EXPECT_THROW(dir.Commit(), EKuraEngineError);
    faulty.ClearCallFaults();
    dir.CloseTable(t);
  }
  ASSERT_TRUE(JournalPending(*Env::Default(), JournalPath(*Env::Default(), db)));
  ASSERT_NE(testing::ReadWholeFile(scratch.File("t.DAT")), before) << "nothing was half written";
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < 4; ++i) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::alarm(30);
      ::close(go[1]);
      char c;
      (void)::read(go[0], &c, 1);  // all start together
      FaultEnv counting(Env::Default());
      TFileList files(&counting);
      TDataSession session(files);
      TDataDirectory dir(session, db);
      TDataTable* t = dir.OpenTable("t", {.readOnly = true});
      const int count = CountUnderReadLock(*t);
      dir.CloseTable(t);
      // 10: rolled back (it wrote), 0: only read; 1: saw the crash's rows.
      ::_exit(count != 3 ? 1 : counting.WriteCalls() > 0 ? 10 : 0);
    }
    children.push_back(child);
  }
  ::close(go[0]);
  ::close(go[1]);
  int rolledBack = 0;
  for (pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 1) << "a process read the rows of the commit cut short";
    rolledBack += WEXITSTATUS(status) == 10;
  }
  EXPECT_EQ(rolledBack, 1);
  EXPECT_FALSE(JournalPending(*Env::Default(), JournalPath(*Env::Default(), db)));
}

}  // namespace
}  // namespace kura
