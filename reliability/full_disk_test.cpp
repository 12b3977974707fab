// A disk that fills up in the middle of one change. Whatever write of an
// INSERT or UPDATE fails, the statement reports 9218 and the table's files
// are as they were before it: the table opens, verifies, and every row and
// MEMO value stored before is still there, unchanged. Once through the
// engine's fault layer for every write a change makes, once on a real,
// small tmpfs.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "engine/errors/kura_error.h"
#include "engine/sql/query_execution.h"
#include "engine/sql/table_catalog.h"
#include "engine/storage/env_fault.h"
#include "engine/storage/field_values.h"
#include "engine/storage/file_format.h"
#include "engine/storage/record_values.h"
#include "engine/storage/table_verify.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using Rows = std::map<std::int64_t, std::string>;

void Exec(TDataSession& session, TDataDirectory& dir, const std::string& text) {
  sql::TableCatalog catalog(dir);
  sql::TQueryExecution q(session, catalog);
  q.Prepare(text);
  q.Execute();
}

// Every active row of table m as stored: K and the MEMO value.
Rows Stored(TDataDirectory& dir) {
  Rows rows;
  TDataTable* t = dir.OpenTable("m", {.readOnly = true});
  const TDataFile& d = t->Data();
  for (std::int32_t n = 1; n <= d.RecordCount(); ++n) {
    const TRecord* r = t->ReadRecord(n);
    if (r->Data()[0] != kRecordActive) continue;
    const BlobRef ref = GetBlobRef(r->Data(), d.Field(2));
    rows[ReadFieldValue(r->Data(), d.Field(1)).integer] =
        ref.firstBlock != 0 ? t->Blob()->ReadValue(ref) : std::string();
  }
  dir.CloseTable(t);
  return rows;
}

// Rows in short: each key with the length and first byte of its value.
std::string Summary(const Rows& rows) {
  std::string s;
  for (const auto& [k, v] : rows) {
    s += std::to_string(k) + ":" + std::to_string(v.size()) + (v.empty() ? "" : v.substr(0, 1)) + " ";
  }
  return s;
}

std::string Value(char c, std::size_t n) { return std::string(n, c); }

// Opens the table afresh and expects it sound and holding `want`.
void ExpectIntact(Env& env, const std::string& path, const Rows& want, const std::string& what) {
  TFileList files(&env);
  TDataSession session(files);
  TDataDirectory dir(session, path);
  const TableVerification v = VerifyTable(dir, "m");
  for (const std::string& p : v.problems) ADD_FAILURE() << what << ": " << p;
  Rows got;
  const ErrorCode code = testing::CodeOf([&] { got = Stored(dir); });
  EXPECT_EQ(code, 0) << what;
  EXPECT_TRUE(got == want) << what << ": " << Summary(got) << "instead of " << Summary(want);
}

class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override { Fresh(); }

  // A new disk with table m of eight rows with MEMO values.
  void Fresh() {
    disk_ = NewMemEnv();
    disk_->MakeDirectory("/db");
    TFileList files(disk_.get());
    TDataSession session(files);
    TDataDirectory dir(session, "/db");
    Exec(session, dir, "CREATE TABLE m (K INTEGER, B MEMO, PRIMARY KEY (K)) BLOB BLOCK SIZE 512");
    for (int k = 1; k <= 8; ++k) {
      const std::string v = Value(static_cast<char>('a' + k), 300 * k);
      Exec(session, dir, "INSERT INTO m VALUES (" + std::to_string(k) + ", '" + v + "')");
      rows_[k] = v;
    }
  }

  // Runs `text` with the n-th call of `kind` failing with ENOSPC (n 0:
  // none; from then on when `sticky`); returns the error code (0 when the
  // statement got through) and sets *calls to the calls of `kind` made.
  ErrorCode RunWithFault(const std::string& text, FaultCall kind, std::uint64_t n, bool sticky,
                         std::uint64_t* calls) {
    FaultEnv faulty(disk_.get());
    // Armed beyond reach, a fault still counts the calls of its kind.
    faulty.FailCall(kind, n > 0 ? n : std::uint64_t{1} << 60, ENOSPC, sticky);
    TFileList files(&faulty);
    TDataSession session(files);
    TDataDirectory dir(session, "/db");
    const ErrorCode code = testing::CodeOf([&] { Exec(session, dir, text); });
    *calls = faulty.Calls(kind);
    return code;
  }

  // Each write of `text` failing in turn leaves the table as it was: on a
  // full disk (every write that would make a file longer fails from the
  // n-th on) and with one write failing once. With room the statement
  // then gives `after`.
  void FailEveryWrite(const std::string& text, const Rows& after) {
    for (const auto& [kind, sticky] : {std::pair{FaultCall::kExtend, true}, std::pair{FaultCall::kWrite, false}}) {
      std::uint64_t calls = 0;
      Fresh();
      ASSERT_EQ(RunWithFault(text, kind, 0, sticky, &calls), 0);
      // A change that makes no file longer meets no full disk.
      if (kind == FaultCall::kWrite) {
        ASSERT_GE(calls, 1u);
      }
      for (std::uint64_t n = 1; n <= calls; ++n) {
        Fresh();
        std::uint64_t made = 0;
        const std::string what = text.substr(0, 40) + (sticky ? ": disk full from write " : ": write ") +
                                 std::to_string(n) + (sticky ? " on" : " failed once");
        EXPECT_EQ(RunWithFault(text, kind, n, sticky, &made), KURA_WRITEERR) << what;
        ExpectIntact(*disk_, "/db", rows_, what);
      }
    }
    Fresh();
    std::uint64_t made = 0;
    ASSERT_EQ(RunWithFault(text, FaultCall::kWrite, 0, false, &made), 0);
    ExpectIntact(*disk_, "/db", after, "with room");
  }

  std::unique_ptr<Env> disk_;
  Rows rows_;
};

TEST_F(FullDisk, AFailedAppendLeavesTheTableAsItWas) {
  Rows after = rows_;
  after[20] = "short";
  FailEveryWrite("INSERT INTO m VALUES (20, 'short')", after);
}

TEST_F(FullDisk, AFailedMemoInsertLeavesNoRow) {
  Rows after = rows_;
  after[21] = Value('z', 5000);
  FailEveryWrite("INSERT INTO m VALUES (21, '" + Value('z', 5000) + "')", after);
}

TEST_F(FullDisk, AFailedMemoUpdateKeepsTheOldValueReadable) {
  Rows after = rows_;
  after[7] = Value('y', 5000);
  FailEveryWrite("UPDATE m SET B = '" + Value('y', 5000) + "' WHERE K = 7", after);
  Rows shorter = rows_;
  shorter[7] = "y";
  FailEveryWrite("UPDATE m SET B = 'y' WHERE K = 7", shorter);
}

// A real file system that fills up: a tmpfs of 192 KiB. Rows go in until
// the disk refuses one; the table then opens, verifies, and holds exactly
// the rows whose INSERT returned. Skips where no tmpfs can be mounted.
TEST(FullTmpfs, RowsGoInUntilTheDiskIsFullAndTheTableStaysSound) {
  testing::ScratchDir scratch;
  const std::string mnt = scratch.File("disk");
  std::filesystem::create_directory(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=192k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs at " << mnt << " (" << std::strerror(errno)
                 << "); this test needs root";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{mnt};
  Rows stored;
  ErrorCode failed = 0;
  {
    TFileList files(Env::Default());
    TDataSession session(files);
    TDataDirectory dir(session, mnt);
    Exec(session, dir, "CREATE TABLE m (K INTEGER, B MEMO, PRIMARY KEY (K)) BLOB BLOCK SIZE 512");
    for (int k = 1; k <= 2000 && failed == 0; ++k) {
      const std::string v = Value(static_cast<char>('a' + k % 26), 700 + 37 * (k % 11));
      failed = testing::CodeOf(
          [&] { Exec(session, dir, "INSERT INTO m VALUES (" + std::to_string(k) + ", '" + v + "')"); });
      if (failed == 0) stored[k] = v;
    }
  }
  ASSERT_EQ(failed, KURA_WRITEERR) << "the disk never filled up";
  ASSERT_GT(stored.size(), 10u);
  ExpectIntact(*Env::Default(), mnt, stored, "after the disk filled up");
}

}  // namespace
}  // namespace kura
