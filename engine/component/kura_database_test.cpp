// Transactions of a database over the program's two tables: what a rollback
// undoes (rows, index entries, free slots), a start that finds a table held
// by another process, and a commit whose write fails half-way; and a locate
// whose read fails.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include "engine/component/kura_query.h"
#include "engine/component/kura_session.h"
#include "engine/component/testing/library_tables.h"
#include "engine/errors/database_error.h"
#include "engine/storage/env_fault.h"
#include "engine/storage/table_verify.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using Rows = std::vector<std::string>;

int CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EKuraEngineError& e) {
    return e.ErrorCode();
  }
  return 0;
}

// Another process's view of the directory: its own file list, so that its
// locks and the session's exclude each other as between two programs.
struct OtherProcess {
  explicit OtherProcess(const std::string& dir) : directory(session, dir) {
    session.settings.tableLockAttempts = 2;
    session.settings.tableLockPauseMs = 1;
  }
  TFileList files{Env::Default()};
  TDataSession session{files};
  TDataDirectory directory;
};

class DatabaseTransactionTest : public ::testing::Test {
 protected:
  DatabaseTransactionTest() : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.Path());
    std::filesystem::create_directory("kyozai");
    testing::CreateLibraryTables("kyozai");
  }
  ~DatabaseTransactionTest() override {
    queries_.clear();
    if (session_ != nullptr) {
      session_->SetActive(false);
      session_->fileList = nullptr;
    }
    std::filesystem::current_path(old_);
  }
  // The session, reaching its files through `files` (the process's list
  // when null); made on first use.
  TKuraSession& Session(TFileList* files = nullptr) {
    if (session_ == nullptr) {
      static int counter = 0;
      session_ = &Sessions().AddSession("TransactionTest" + std::to_string(++counter));
      session_->privateDir = dir_.Path();
      session_->fileList = files;
      session_->lockRetryCount = 1;
      session_->lockWaitTime = 1;
      session_->DataSession().settings.tableLockAttempts = 2;
      session_->DataSession().settings.tableLockPauseMs = 1;
    }
    return *session_;
  }
  TKuraQuery& Query(const std::string& sql) {
    auto q = std::make_unique<TKuraQuery>();
    q->SetSessionName(Session().SessionName());
    q->SetDatabaseName("kyozai");
    q->SetRequestLive(true);
    q->AddSQL(sql);
    q->Open();
    queries_.push_back(std::move(q));
    return *queries_.back();
  }
  TKuraDatabase& Database() { return *Session().FindDatabase("kyozai"); }
  // Every row of the statement's result, its fields joined by ",".
  Rows Select(const std::string& sql) {
    TKuraQuery& q = Query(sql);
    Rows out;
    for (q.First(); !q.Eof(); q.Next()) {
      std::string row;
      for (int i = 0; i < q.FieldCount(); ++i) row += (i ? "," : "") + q.FieldAsString(i);
      out.push_back(row);
    }
    q.Close();
    return out;
  }
  // What the tests compare: both tables in record order, and the results
  // read through the index on MNB of mokuji and the index on BFR of figure.
  std::vector<Rows> Everything() {
    return {Select("select * from figure"), Select("select * from mokuji"),
            Select("select MNB, CMT from mokuji order by MNB"),
            Select("select MNB, BFR from figure where BFR > 0 order by BFR"),
            Select("select * from mokuji where MNB = 8")};
  }
  void Fill() {
    TKuraQuery& f = Query("select * from figure");
    for (int i = 1; i <= 6; ++i) {
      f.Append();
      f.SetFieldAsInteger(0, 1);
      f.SetFieldAsInteger(3, 40 + i);
      if (i % 2 == 0) f.SetFieldAsInteger(4, i / 2);
      f.Post();
    }
    TKuraQuery& m = Query("select * from mokuji");
    for (int mnb : {5, 1, 3}) {
      m.Append();
      m.SetFieldAsInteger(0, mnb);
      m.SetFieldAsString(2, "problem " + std::to_string(mnb));
      m.Post();
    }
  }
  // Appends, edits and deletes in both tables, index keys included.
  void Change() {
    TKuraQuery& f = Query("select * from figure");
    f.First();
    f.Next();  // the row with BFR 1
    f.Delete();
    f.Edit();
    f.SetFieldAsInteger(4, 9);  // a new BFR key
    f.Post();
    f.Append();
    f.SetFieldAsInteger(0, 2);
    f.SetFieldAsInteger(4, 4);
    f.Post();
    TKuraQuery& m = Query("select * from mokuji");
    m.Append();
    m.SetFieldAsInteger(0, 7);
    m.Post();
    m.First();
    m.Edit();
    m.SetFieldAsInteger(0, 8);  // a key moves
    m.Post();
    m.Last();
    m.Delete();
  }
  void ExpectVerified() {
    OtherProcess other(dir_.Path() + "/kyozai");
    for (const char* t : {"figure", "mokuji"}) {
      const TableVerification v = VerifyTable(other.directory, t);
      EXPECT_TRUE(v.Ok()) << t << ": " << (v.Ok() ? "" : v.problems[0]);
    }
  }
  std::map<std::string, std::vector<std::uint8_t>> Files() {
    std::map<std::string, std::vector<std::uint8_t>> out;
    for (const auto& e : std::filesystem::directory_iterator(dir_.Path() + "/kyozai")) {
      // An empty commit journal is no journal: it stays once a commit ran.
      if (e.path().filename() == "KURA.JNL" && std::filesystem::file_size(e.path()) == 0) continue;
      out[e.path().filename().string()] = testing::ReadWholeFile(e.path().string());
    }
    return out;
  }

  testing::ScratchDir dir_;
  std::filesystem::path old_;
  FaultEnv faultEnv_{Env::Default()};
  TFileList faultFiles_{&faultEnv_};
  TKuraSession* session_ = nullptr;
  std::vector<std::unique_ptr<TKuraQuery>> queries_;
};

TEST_F(DatabaseTransactionTest, RollbackUndoesRowsAndIndexEntriesOfBothTables) {
  Fill();
  const std::vector<Rows> before = Everything();
  TKuraDatabase& db = Database();
  db.StartTransaction();
  EXPECT_TRUE(db.InTransaction());
  EXPECT_THROW(db.StartTransaction(), EDatabaseError);
  Change();
  const std::vector<Rows> changed = Everything();
  EXPECT_NE(changed, before);
  EXPECT_EQ(changed[4].size(), 1u);  // the session sees its own changes
  {
    // Another process still sees the table as it was and cannot write.
    OtherProcess other(dir_.Path() + "/kyozai");
    TDataTable* t = other.directory.OpenTable("mokuji", {});
    EXPECT_EQ(t->Data().RecordCount(), 3);
    EXPECT_EQ(CodeOf([&] { t->WriteLock(); }), KURA_LOCKTIMEOUT);
    other.directory.CloseTable(t);
  }
  db.Rollback();
  EXPECT_FALSE(db.InTransaction());
  EXPECT_EQ(Everything(), before);
  ExpectVerified();
  EXPECT_THROW(db.Rollback(), EDatabaseError);

  // The same changes committed: the files hold them, and the keys the
  // rollback dropped can be used again.
  db.StartTransaction();
  Change();
  db.Commit();
  EXPECT_EQ(Everything(), changed);
  ExpectVerified();
  OtherProcess other(dir_.Path() + "/kyozai");
  TDataTable* t = other.directory.OpenTable("mokuji", {});
  EXPECT_EQ(CodeOf([&] { t->WriteLock(); }), 0);
  t->ReleaseWriteLock();
  other.directory.CloseTable(t);
}

TEST_F(DatabaseTransactionTest, AStartThatFindsATableLockedStartsNothing) {
  Fill();
  Query("select * from figure");
  Query("select * from mokuji");
  OtherProcess other(dir_.Path() + "/kyozai");
  TDataTable* figure = other.directory.OpenTable("figure", {});
  TDataTable* mokuji = other.directory.OpenTable("mokuji", {});
  mokuji->WriteLock();  // the other process is writing mokuji
  TKuraDatabase& db = Database();
  EXPECT_EQ(CodeOf([&] { db.StartTransaction(); }), KURA_LOCKTIMEOUT);
  EXPECT_FALSE(db.InTransaction());
  // No table was left locked: the other process can write figure.
  EXPECT_EQ(CodeOf([&] { figure->WriteLock(); }), 0);
  figure->ReleaseWriteLock();
  mokuji->ReleaseWriteLock();
  db.StartTransaction();
  db.Commit();
  other.directory.CloseTable(figure);
  other.directory.CloseTable(mokuji);
}

// Every transfer of a commit of both tables failed in turn: each failure
// ends the transaction with the files byte for byte as before and the
// tables usable; the first run that reaches no fault commits.
TEST_F(DatabaseTransactionTest, ACommitFailingAtAnyTransferLeavesTheFilesAsTheyWere) {
  FaultEnv& env = faultEnv_;
  Session(&faultFiles_);
  Fill();
  const auto files0 = Files();
  const std::vector<Rows> before = Everything();
  TKuraDatabase& db = Database();
  int failures = 0;
  for (std::uint64_t n = 1;; ++n) {
    SCOPED_TRACE("transfer " + std::to_string(n));
    ASSERT_LT(n, 200u);
    db.StartTransaction();
    Change();
    const std::vector<Rows> changed = Everything();
    env.FailNthTransfer(n, EIO);
    const int code = CodeOf([&] { db.Commit(); });
    const bool fired = env.CountedFaultFired();
    env.FailNthTransfer(0, 0);
    EXPECT_FALSE(db.InTransaction());
    if (!fired) {
      EXPECT_EQ(code, 0);
      EXPECT_EQ(Everything(), changed);
      break;
    }
    ++failures;
    EXPECT_TRUE(code == KURA_READERR || code == KURA_WRITEERR) << code;
    EXPECT_EQ(Files(), files0);
    EXPECT_EQ(Everything(), before);
    ExpectVerified();
    if (HasFailure()) return;
  }
  EXPECT_GT(failures, 2);
  ExpectVerified();
}

// A locate whose read fails reports the read error and leaves the result as
// it was: the next locate finds its row, nothing of the failed one stays
// behind on the cursor. Strict change detection makes the other process's
// change reach the files at once, so every locate reads.
TEST_F(DatabaseTransactionTest, ALocateWhoseReadFailsLeavesTheResultUsable) {
  Session(&faultFiles_).strictChangeDetection = true;
  Session().DataSession().settings.strictChangeDetection = true;
  Fill();
  TKuraQuery& q = Query("select * from figure");
  int failures = 0;
  for (std::uint64_t n = 1;; ++n) {
    SCOPED_TRACE("read " + std::to_string(n));
    ASSERT_LT(n, 50u);
    {
      // Another process's change makes the session read the records again.
      OtherProcess other(dir_.Path() + "/kyozai");
      TDataTable* t = other.directory.OpenTable("figure", {});
      std::vector<std::uint8_t> image(t->Data().RecordLength(), 0);
      t->AppendRecord(image.data());
      other.directory.CloseTable(t);
    }
    faultEnv_.FailNthTransfer(n, EIO);
    const int code = CodeOf([&] { q.Locate("PST", {std::int64_t{44}}); });
    const bool fired = faultEnv_.CountedFaultFired();
    faultEnv_.FailNthTransfer(0, 0);
    if (!fired) break;
    ++failures;
    EXPECT_EQ(code, KURA_READERR);
    EXPECT_TRUE(q.Locate("PST", {std::int64_t{44}}));
    EXPECT_EQ(q.FieldAsInteger(3), 44);
    EXPECT_FALSE(q.Locate("PST", {std::int64_t{999}}));
  }
  EXPECT_GT(failures, 0);
}

}  // namespace
}  // namespace kura
