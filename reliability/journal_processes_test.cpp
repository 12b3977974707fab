// The commit journal between processes: a reader that keeps a table open
// while writer after writer is killed inside a commit never sees a commit
// half written, and of several processes that start at once after a crash one
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
#include "engine/storage/storage_directory.h"
#include "engine/storage/env_fault.h"
#include "engine/storage/field_values.h"
#include "engine/storage/record_values.h"
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

std::int64_t FieldA(const TRecord& r, TDataTable& t) {
  return ReadFieldValue(r.Data(), t.Data().Field(1)).integer;
}

// A child that commits until it is killed: each commit counts itself in
// field A of record 1 (written first, being the lowest record) and appends
// kGroup records.
[[noreturn]] void CommitGroupsForever(const std::string& db, int tell) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory dir(session, db);
  TDataTable* t = dir.OpenTable("t", {});
  for (;;) {
    dir.StartTransaction();
    const std::int64_t commits = FieldA(*t->ReadRecord(1), *t);
    t->ModifyRecord(1, Image(*t, static_cast<int>(commits + 1)).data());
    for (int i = 0; i < kGroup; ++i) t->AppendRecord(Image(*t, 1000).data());
    if (::write(tell, "c", 1) != 1) ::_exit(2);  // COMMIT is called
    dir.Commit();
  }
}

// Under one read lock: the active records, less the kGroup records of each
// commit that record 1 counts (3 unless a commit is seen half written);
// -1 when the index file counts other active records than the data file.
int CountUnderReadLock(TDataTable& t) {
  for (;;) {
    t.ReadLock();
    int active = 0;
    std::int64_t commits = 0;
    bool again = false;
    for (std::int32_t n = 1; n <= t.Data().RecordCount(); ++n) {
      const TRecord* r = t.ReadRecord(n);
      if (r == nullptr) {
        again = true;
        break;
      }
      active += RecordStatus(r->Data()) == kRecordActive;
      if (n == 1) commits = FieldA(*r, t) - 1;
    }
    const bool indexAgrees = t.Index().ActiveRecordCount() == active;
    t.ReleaseReadLock();
    if (!again) return indexAgrees ? active - static_cast<int>(commits) * kGroup : -1;
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
  int kills = 0, reads = 0, torn = 0;
  while (std::chrono::steady_clock::now() < end) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::alarm(30);
      ::close(fds[0]);
      CommitGroupsForever(db, fds[1]);
    }
    ::close(fds[1]);
    // The kill falls within 1.5 ms of the child's tenth COMMIT call.
    char c;
    for (int i = 0; i < 10; ++i) ASSERT_EQ(::read(fds[0], &c, 1), 1);
    const auto killAt = std::chrono::steady_clock::now() +
                        std::chrono::microseconds(std::uniform_int_distribution<int>(0, 1500)(random));
    while (std::chrono::steady_clock::now() < killAt) {}
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(fds[0]);
    ++kills;
    {
      const int count = CountUnderReadLock(*t);
      ++reads;
      if (count != 3) {
        ++torn;
        ADD_FAILURE() << "rows and the count of commits disagree by " << count - 3
                      << ": a commit half written";
      }
    }
    if (torn > 0) break;
  }
  EXPECT_EQ(CountUnderReadLock(*t), 3) << "after the last kill";
  const std::int64_t commits = FieldA(*t->ReadRecord(1), *t) - 1;
  dir.CloseTable(t);
  std::printf("%d writers killed, %d reads, %d torn, %lld commits\n", kills, reads, torn,
              static_cast<long long>(commits));
  EXPECT_GT(commits, 0) << "no commit went through";
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
      const int count = t->Data().RecordCount() == 3 ? CountUnderReadLock(*t) : -1;
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
