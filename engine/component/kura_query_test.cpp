// Query datasets over the program's two tables in a scratch "kyozai"
// directory: database resolution, parameters, live results with the
// repositioning the program relies on, Locate, canned results, data-source
// notifications and two processes sharing a table.
#include "engine/component/kura_query.h"

#include "engine/component/kura_blob_stream.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "engine/component/testing/library_tables.h"
#include "engine/errors/database_error.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

using Ints = std::vector<std::int64_t>;
enum Figure { MNB, TES, COL, PST, BFR, BTO, TNB, CMT, DIX };

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

class QueryTest : public ::testing::Test {
 protected:
  QueryTest() {
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.Path());
    try {
      std::filesystem::create_directory("kyozai");
      testing::CreateLibraryTables("kyozai");
    } catch (...) {
      std::filesystem::current_path(old_);
      throw;
    }
    static int counter = 0;
    session_ = &Sessions().AddSession("QueryTest" + std::to_string(++counter));
    session_->privateDir = dir_.Path();
    session_->lockRetryCount = 2;
    session_->lockWaitTime = 10;
    session_->DataSession().settings.tableLockAttempts = 3;
    session_->DataSession().settings.tableLockPauseMs = 5;
  }
  ~QueryTest() override {
    queries_.clear();
    std::filesystem::current_path(old_);
  }

  TKuraQuery& NewQuery(std::vector<std::string> lines, bool live = true) {
    auto q = std::make_unique<TKuraQuery>();
    q->SetSessionName(session_->SessionName());
    q->SetDatabaseName("kyozai");
    q->SetRequestLive(live);
    q->SetSQL(std::move(lines));
    queries_.push_back(std::move(q));
    return *queries_.back();
  }
  TKuraQuery& ProblemRows(int problem) {
    TKuraQuery& q = NewQuery({"select * from figure", "Where MNB = :MNB"});
    q.Params()[0].SetAsInteger(problem);
    q.Open();
    return q;
  }
  // Appends figure rows (MNB, PST, BFR, BTO) through a live result.
  void AddFigureRows(std::initializer_list<std::array<int, 4>> rows) {
    TKuraQuery q;
    q.SetSessionName(session_->SessionName());
    q.SetDatabaseName("kyozai");
    q.SetRequestLive(true);
    q.AddSQL("select * from figure");
    q.Open();
    for (const auto& r : rows) {
      q.Append();
      q.SetFieldAsInteger(MNB, r[0]);
      q.SetFieldAsInteger(PST, r[1]);
      if (r[2] != 0) q.SetFieldAsInteger(BFR, r[2]);
      if (r[3] != 0) q.SetFieldAsInteger(BTO, r[3]);
      q.Post();
    }
  }
  static Ints Column(TKuraQuery& q, int field) {
    Ints v;
    for (q.First(); !q.Eof(); q.Next()) v.push_back(q.FieldAsInteger(field));
    return v;
  }

  kura::testing::ScratchDir dir_;
  std::filesystem::path old_;
  TKuraSession* session_ = nullptr;
  std::vector<std::unique_ptr<TKuraQuery>> queries_;
};

TEST_F(QueryTest, QueriesOnOneNameShareOneTemporaryDatabase) {
  AddFigureRows({{1, 10, 0, 0}});
  TKuraQuery& a = ProblemRows(1);
  TKuraQuery& b = ProblemRows(1);
  TKuraQuery& c = NewQuery({"Select * from mokuji", "Order By MNB"});
  c.Open();
  TKuraDatabase* db = session_->FindDatabase("KYOZAI");
  ASSERT_NE(db, nullptr);
  EXPECT_TRUE(db->Temporary());
  EXPECT_EQ(db->Directory(), "kyozai");
  EXPECT_EQ(db->DataDirectory().Path(), "kyozai\\");
  EXPECT_EQ(session_->DatabaseCount(), 1);
  EXPECT_EQ(db->RefCount(), 3);
  a.Close();
  b.Close();
  c.Close();
  queries_.clear();  // unprepared as well
  EXPECT_EQ(db->RefCount(), 0);
  EXPECT_TRUE(db->Connected());  // KeepConnections
  EXPECT_EQ(session_->FindDatabase("kyozai"), db);

  EXPECT_EQ(BackslashPath("a/b/c"), "a\\b\\c");
  EXPECT_TRUE(IsDatabasePath("C:data"));
  EXPECT_FALSE(IsDatabasePath("kyozai"));
  EXPECT_FALSE(IsDatabasePath("\x95\x5c"));  // the trail byte of a double-byte character
  EXPECT_EQ(MessageOf([&] { session_->AddDatabase("Kyozai"); }),
            "Database name Kyozai already exists.");
}

TEST_F(QueryTest, UsageErrorsHaveTheirFixedTexts) {
  TKuraQuery& empty = NewQuery({});
  EXPECT_EQ(MessageOf([&] { empty.Open(); }), "No SQL statement available");
  TKuraQuery& unset = NewQuery({"select * from figure", "Where MNB = :MNB"});
  EXPECT_EQ(unset.ProcessedText(), "select * from figure\r\nWhere MNB = ?");
  EXPECT_EQ(MessageOf([&] { unset.Open(); }), "No value for parameter 'MNB'");
  TKuraQuery& script = NewQuery({"START TRANSACTION"});
  EXPECT_EQ(MessageOf([&] { script.Open(); }), "Error creating table handle.");
  script.SetSQL({"ROLLBACK"});
  script.ExecSQL();
  TKuraQuery& lost = NewQuery({"select * from figure"});
  lost.SetSessionName("nobody");
  EXPECT_EQ(MessageOf([&] { lost.Open(); }), "Session name nobody is not valid.");

  TKuraQuery& q = ProblemRows(1);
  EXPECT_EQ(MessageOf([&] { q.SetFieldAsInteger(PST, 1); }),
            "Table is not in edit or insert mode.");
  EXPECT_EQ(MessageOf([&] { q.SetFieldAsString(CMT, "Ko"); }),
            "Table is not in edit or insert mode.");
  EXPECT_EQ(MessageOf([&] { q.SetDatabaseName("other"); }),
            "Cannot perform this operation on an open database.");
  TDataSource self(&q);
  EXPECT_EQ(MessageOf([&] { q.SetDataSource(&self); }), "Circular data links are not allowed.");
  // A statement error keeps its engine code.
  TKuraQuery& missing = NewQuery({"select * from nothing"});
  try {
    missing.Open();
    FAIL();
  } catch (const EKuraEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), 11010);
  }
}

TEST_F(QueryTest, ChangingTheLinesClosesUnpreparesAndKeepsParameterValues) {
  AddFigureRows({{3, 1, 0, 0}, {5, 2, 0, 0}, {3, 3, 0, 0}});
  TKuraQuery& q = ProblemRows(3);
  EXPECT_TRUE(q.Prepared());
  EXPECT_EQ(Column(q, PST), (Ints{1, 3}));
  q.Close();
  EXPECT_TRUE(q.Prepared());
  q.Params()[0].SetAsInteger(5);
  q.Open();  // executed again with the new value, no new prepare
  EXPECT_EQ(Column(q, PST), (Ints{2}));
  q.AddSQL("and PST > :LOW or MNB = :MNB");
  EXPECT_FALSE(q.Active());
  EXPECT_FALSE(q.Prepared());
  ASSERT_EQ(q.Params().Count(), 3);
  EXPECT_EQ(q.Params()[0].AsInteger(), 5);
  EXPECT_EQ(q.Params()[1].Name(), "LOW");
  EXPECT_EQ(q.Params()[2].AsInteger(), 5);
}

// What the program relies on in the problem result.
// Reopening a prepared statement shows the fields of the statement it runs:
// the last one of a script, set up again at each execution, and a new
// statement's own once the lines change.
TEST_F(QueryTest, FieldsFollowTheStatementAcrossReopens) {
  auto names = [](TKuraQuery& q) {
    std::vector<std::string> v;
    for (const TFieldDef& d : q.FieldDefs()) v.push_back(d.name + "/" + std::to_string(d.tableField));
    return v;
  };
  TKuraQuery& q = NewQuery({"select MNB, PST from figure; select CMT, TNB, MNB from figure"});
  const std::vector<std::string> script{"CMT/8", "TNB/7", "MNB/1"};
  q.Open();
  EXPECT_EQ(names(q), script);
  q.Close();
  EXPECT_EQ(q.FieldCount(), 0);
  q.Open();
  EXPECT_EQ(names(q), script);
  EXPECT_EQ(q.FieldAsString(0), "");
  q.SetSQL({"select PST, MNB from figure"});
  q.Open();
  EXPECT_EQ(names(q), (std::vector<std::string>{"PST/4", "MNB/1"}));
  q.Close();
  q.Open();
  EXPECT_EQ(names(q), (std::vector<std::string>{"PST/4", "MNB/1"}));
}

TEST_F(QueryTest, ProblemRowsComeInAppendOrderAndAppendedRowsBecomeCurrent) {
  AddFigureRows({{1, 30, 0, 0}, {2, 99, 0, 0}, {1, 10, 0, 0}, {1, 20, 0, 0}});
  TKuraQuery& q = ProblemRows(1);
  EXPECT_TRUE(q.Live());
  EXPECT_EQ(q.RowsAffected(), 3);
  EXPECT_EQ(q.FieldCount(), 9);
  EXPECT_EQ(q.FieldName(DIX), "DIX");
  EXPECT_EQ(Column(q, PST), (Ints{30, 10, 20}));
  q.First();
  q.Delete();  // the following row becomes current
  EXPECT_EQ(q.FieldAsInteger(PST), 10);
  q.Append();
  q.SetFieldAsInteger(MNB, 1);
  q.SetFieldAsInteger(PST, 5);
  q.Post();
  EXPECT_EQ(q.FieldAsInteger(PST), 5);
  EXPECT_EQ(q.RecNo(), 3);
  EXPECT_EQ(Column(q, PST), (Ints{10, 20, 5}));
  // Null columns read 0 and "".
  EXPECT_TRUE(q.FieldIsNull(TNB));
  EXPECT_EQ(q.FieldAsInteger(TNB), 0);
  EXPECT_EQ(q.FieldAsString(CMT), "");
  // An appended row of another problem leaves the result; the last row stays.
  q.Append();
  q.SetFieldAsInteger(MNB, 7);
  q.Post();
  EXPECT_EQ(q.FieldAsInteger(PST), 5);
  EXPECT_EQ(q.RecordCount(), 3);
}

// A row once read is not read again while nothing changed, but every
// change made in the session shows at the next field read: an edit
// through another result, one inside a transaction, and the rollback
// that takes it back.
TEST_F(QueryTest, FieldReadsSeeChangesMadeThroughOtherResultsAtOnce) {
  AddFigureRows({{1, 30, 0, 0}, {1, 40, 0, 0}});
  TKuraQuery& reader = ProblemRows(1);
  TKuraQuery& writer = ProblemRows(1);
  EXPECT_EQ(reader.FieldAsInteger(PST), 30);
  EXPECT_EQ(reader.FieldAsString(CMT), "");
  writer.Edit();
  writer.SetFieldAsInteger(PST, 31);
  writer.SetFieldAsString(CMT, "first");
  writer.Post();
  EXPECT_EQ(reader.FieldAsInteger(PST), 31);
  EXPECT_EQ(reader.FieldAsString(CMT), "first");
  TKuraQuery& control = NewQuery({"START TRANSACTION"});
  control.ExecSQL();
  writer.Edit();
  writer.SetFieldAsInteger(PST, 32);
  writer.Post();
  EXPECT_EQ(reader.FieldAsInteger(PST), 32);
  control.SetSQL({"ROLLBACK"});
  control.ExecSQL();
  EXPECT_EQ(reader.FieldAsInteger(PST), 31);
  EXPECT_EQ(reader.FieldAsString(CMT), "first");
  // The same row changed once more to what it held in the transaction.
  writer.Close();
  writer.Open();
  writer.Edit();
  writer.SetFieldAsInteger(PST, 32);
  writer.Post();
  EXPECT_EQ(reader.FieldAsInteger(PST), 32);
  EXPECT_EQ(reader.FieldAsInteger(MNB), 1);
}

TEST_F(QueryTest, MovingStoresAPendingEditAndRenumberedRowsLeave) {
  AddFigureRows({{1, 1, 0, 0}, {1, 2, 0, 0}, {1, 3, 0, 0}});
  TKuraQuery& q = ProblemRows(1);
  // RenumberRows: TNB written through the live result, each move posts.
  int n = 0;
  for (q.First(); !q.Eof(); q.Next()) {
    q.Edit();
    q.SetFieldAsInteger(TNB, ++n);
  }
  EXPECT_EQ(q.State(), TDataSetState::dsBrowse);
  EXPECT_EQ(Column(q, TNB), (Ints{1, 2, 3}));
  // The renumbering loop of a problem: MNB changes, the row leaves, the
  // next one becomes current, until the result is empty.
  q.First();
  int rounds = 0;
  while (!q.Eof() && rounds < 10) {
    q.Edit();
    q.SetFieldAsInteger(MNB, 4);
    q.Next();
    q.Prior();
    ++rounds;
  }
  EXPECT_EQ(rounds, 3);
  EXPECT_EQ(q.RecordCount(), 0);
  EXPECT_TRUE(q.Bof());
  TKuraQuery& moved = ProblemRows(4);
  EXPECT_EQ(Column(moved, PST), (Ints{1, 2, 3}));
  // Cancel discards; Close cancels.
  moved.First();
  moved.Edit();
  moved.SetFieldAsInteger(PST, 77);
  moved.Cancel();
  EXPECT_EQ(moved.FieldAsInteger(PST), 1);
  moved.Edit();
  moved.SetFieldAsInteger(PST, 77);
  moved.Close();
  moved.Open();
  EXPECT_EQ(moved.FieldAsInteger(PST), 1);
}

TEST_F(QueryTest, BoundsKeepTheRowAndDeletingEverythingEndsAtEof) {
  AddFigureRows({{1, 7, 0, 0}, {1, 8, 0, 0}, {1, 9, 0, 0}});
  TKuraQuery& q = ProblemRows(1);
  EXPECT_TRUE(q.Bof());
  q.Last();
  q.Next();
  EXPECT_TRUE(q.Eof());
  EXPECT_EQ(q.FieldAsInteger(PST), 9);
  q.Delete();  // the last row: the previous one becomes current
  EXPECT_EQ(q.FieldAsInteger(PST), 8);
  q.First();
  q.Prior();
  EXPECT_TRUE(q.Bof());
  EXPECT_EQ(q.FieldAsInteger(PST), 7);
  while (!q.Eof()) q.Delete();
  EXPECT_EQ(q.RecordCount(), 0);
  EXPECT_TRUE(q.Bof());
  EXPECT_EQ(q.FieldAsInteger(PST), 0);
  EXPECT_THROW(q.Edit(), EKuraEngineError);
}

// Walking off either end by single steps leaves the row at that end
// current and readable, in a live and in a canned result alike.
TEST_F(QueryTest, StepsPastEitherEndStayOnTheEndRow) {
  AddFigureRows({{1, 7, 0, 0}, {1, 8, 0, 0}, {1, 9, 0, 0}});
  for (bool live : {true, false}) {
    SCOPED_TRACE(live ? "live" : "canned");
    TKuraQuery& q = NewQuery({"select * from figure", "Where MNB = :MNB"}, live);
    q.Params()[0].SetAsInteger(1);
    q.Open();
    for (int i = 0; i < 3; ++i) q.Next();
    EXPECT_TRUE(q.Eof());
    EXPECT_EQ(q.FieldAsInteger(PST), 9);
    EXPECT_EQ(q.RecNo(), 3);
    q.Prior();  // a step back from the end goes to the row before it
    EXPECT_EQ(q.FieldAsInteger(PST), 8);
    for (int i = 0; i < 3; ++i) q.Prior();
    EXPECT_TRUE(q.Bof());
    EXPECT_EQ(q.FieldAsInteger(PST), 7);
    EXPECT_EQ(q.RecNo(), 1);
    q.Next();
    EXPECT_EQ(q.FieldAsInteger(PST), 8);
  }
}

TEST_F(QueryTest, LocateFindsTheFirstRowInResultOrderOrKeepsTheRow) {
  AddFigureRows({{1, 45, 0, 9999}, {1, 64, 1, 0}, {1, 83, 0, 1}, {1, 84, 2, 0},
                 {2, 83, 0, 1}, {1, 83, 3, 1}});
  TKuraQuery& q = ProblemRows(1);
  int n = 0;
  for (q.First(); !q.Eof(); q.Next()) {
    q.Edit();
    q.SetFieldAsInteger(TNB, ++n);
    q.SetFieldAsString(CMT, n == 2 ? "Ko" : "");
  }
  EXPECT_TRUE(q.Locate("TNB", {std::int64_t{4}}));
  EXPECT_EQ(q.FieldAsInteger(PST), 84);
  EXPECT_TRUE(q.Locate("BFR", {std::int64_t{1}}));
  EXPECT_EQ(q.FieldAsInteger(PST), 64);
  EXPECT_TRUE(q.Locate("PST;BTO", {std::int64_t{83}, std::int64_t{1}}));
  EXPECT_EQ(q.FieldAsInteger(TNB), 3);
  EXPECT_FALSE(q.Locate("PST;BTO", {std::int64_t{83}, std::int64_t{2}}));
  EXPECT_EQ(q.FieldAsInteger(TNB), 3);  // unchanged
  EXPECT_FALSE(q.Locate("TNB", {std::int64_t{99}}));
  EXPECT_EQ(q.FieldAsInteger(TNB), 3);
  // Strings: exact and case-sensitive without options.
  EXPECT_FALSE(q.Locate("CMT", {std::string("ko")}));
  EXPECT_TRUE(q.Locate("CMT", {std::string("ko")}, {.caseInsensitive = true}));
  EXPECT_EQ(q.FieldAsInteger(TNB), 2);
  q.First();
  EXPECT_TRUE(q.Locate("cmt", {std::string("K")}, {.partialKey = true}));
  EXPECT_EQ(q.FieldAsInteger(TNB), 2);
  // A null value matches a null field; a pending edit is stored first.
  q.Edit();
  q.SetFieldAsInteger(DIX, 5);
  EXPECT_TRUE(q.Locate("BFR", {std::monostate{}}));
  EXPECT_EQ(q.FieldAsInteger(TNB), 1);
  EXPECT_TRUE(q.Locate("DIX", {std::int64_t{5}}));
  EXPECT_EQ(q.FieldAsInteger(TNB), 2);
  EXPECT_THROW(q.Locate("NOPE", {std::int64_t{1}}), EKuraEngineError);
}

TEST_F(QueryTest, ContentsAreLiveInMnbOrderAndCannedChangesStayInTheResult) {
  TKuraQuery& add = NewQuery({"select * from mokuji"});
  add.Open();
  for (int mnb : {1500, 12, 1001, 4, 999, 1000}) {
    add.Append();
    add.SetFieldAsInteger(0, mnb);
    add.SetFieldAsInteger(1, mnb % 7);
    add.Post();
  }
  TKuraQuery& q = NewQuery({"Select * from mokuji", "Where (MNB > 1000 and MNB < 2000)",
                            "Order By MNB"});
  q.Open();
  EXPECT_TRUE(q.Live());
  EXPECT_EQ(Column(q, 0), (Ints{1001, 1500}));
  // A key that already exists is refused with 9729.
  q.Append();
  q.SetFieldAsInteger(0, 1001);
  try {
    q.Post();
    FAIL();
  } catch (const EKuraEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), 9729);
  }
  q.Cancel();

  TKuraQuery& canned = NewQuery({"select * from figure", "Where MNB = :MNB"}, false);
  AddFigureRows({{3, 1, 0, 0}});
  canned.Params()[0].SetAsInteger(3);
  canned.Open();
  EXPECT_FALSE(canned.Live());
  canned.Edit();
  canned.SetFieldAsInteger(PST, 42);
  canned.Post();
  EXPECT_EQ(canned.FieldAsInteger(PST), 42);
  EXPECT_EQ(Column(ProblemRows(3), PST), (Ints{1}));
}

// Columns set through the dataset: a string is trimmed and cut to its size
// (blanks alone are null), and a live result's auto-increment column, the
// row id, cannot be set. A canned result holds its own copy of each column.
TEST_F(QueryTest, SetColumnsAreStoredAsTheirFieldsKeepThem) {
  TKuraQuery& ddl = NewQuery({"create table numbered (n autoinc, v integer, s char(4))"});
  ddl.ExecSQL();
  TKuraQuery& live = NewQuery({"select * from numbered"});
  live.Open();
  live.Append();
  EXPECT_THROW(live.SetFieldAsInteger(0, 99), std::exception);  // read-only when live
  live.SetFieldAsInteger(1, 7);
  live.SetFieldAsString(2, "abcdefg  ");
  live.Post();
  EXPECT_EQ(live.FieldAsInteger(0), 1);
  EXPECT_EQ(live.FieldAsString(2), "abcd");
  TKuraQuery& canned = NewQuery({"select * from numbered"}, false);
  canned.Open();
  canned.Edit();
  canned.SetFieldAsInteger(0, 99);
  canned.SetFieldAsInteger(1, 8);
  canned.SetFieldAsString(2, "   ");
  canned.Post();
  EXPECT_EQ(canned.FieldAsInteger(0), 99);
  EXPECT_EQ(canned.FieldAsInteger(1), 8);
  EXPECT_TRUE(canned.FieldIsNull(2));
  live.Close();
  live.Open();
  EXPECT_EQ(live.FieldAsInteger(0), 1);
  EXPECT_EQ(live.FieldAsString(2), "abcd");
}

struct Recorder : TDataLink {
  std::vector<TDataEvent> events;
  void DataEvent(TDataEvent e, int) override { events.push_back(e); }
  int Count(TDataEvent e) const { return static_cast<int>(std::count(events.begin(), events.end(), e)); }
};

TEST_F(QueryTest, DataSourcesHearChangesUnlessDetached) {
  AddFigureRows({{1, 1, 0, 0}, {1, 2, 0, 0}});
  TKuraQuery& q = ProblemRows(1);
  TDataSource source(&q);
  Recorder grid;
  source.AddLink(&grid);
  q.Next();
  q.Edit();
  q.SetFieldAsInteger(PST, 5);
  q.Post();
  EXPECT_EQ(grid.Count(TDataEvent::deDataSetScroll), 1);
  EXPECT_EQ(grid.Count(TDataEvent::deFieldChange), 1);
  EXPECT_EQ(grid.Count(TDataEvent::deUpdateState), 2);  // edit, browse
  grid.events.clear();
  source.SetEnabled(false);
  q.First();
  q.Next();
  EXPECT_TRUE(grid.events.empty());
  source.SetEnabled(true);
  EXPECT_EQ(grid.events, std::vector<TDataEvent>{TDataEvent::deDataSetChange});
  grid.events.clear();
  q.DisableControls();
  q.First();
  EXPECT_TRUE(grid.events.empty());
  q.EnableControls();
  EXPECT_EQ(grid.events, std::vector<TDataEvent>{TDataEvent::deDataSetChange});
}

TEST_F(QueryTest, AMasterSuppliesParametersThatWereNotSet) {
  AddFigureRows({{12, 1, 0, 0}, {13, 2, 0, 0}, {12, 3, 0, 0}});
  TKuraQuery& master = NewQuery({"select * from figure", "Where PST = 2"});
  master.Open();
  TDataSource source(&master);
  TKuraQuery& detail = NewQuery({"select * from figure", "Where MNB = :MNB"});
  detail.SetDataSource(&source);
  detail.Open();
  EXPECT_EQ(Column(detail, PST), (Ints{2}));
}

// Another process edits a row and then holds its lock. Each process opens
// the table after the fork, so that each has its own files and locks; with
// strict change detection the other's post shows at the next move.
TEST_F(QueryTest, TwoProcessesSeeEachOthersEditsAndRowLocks) {
  AddFigureRows({{1, 10, 0, 0}, {1, 20, 0, 0}});
  session_->strictChangeDetection = true;
  session_->ApplySettings();
  int toChild[2], toParent[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(toParent), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(toChild[1]);
    close(toParent[0]);
    int status = 1;
    try {
      char b = 0;
      if (read(toChild[0], &b, 1) != 1) _exit(2);  // the parent has its result open
      TKuraQuery& c = ProblemRows(1);
      c.Edit();
      c.SetFieldAsInteger(PST, 11);
      c.Post();
      c.Edit();  // holds the row's lock now
      if (write(toParent[1], &b, 1) != 1) _exit(3);
      if (read(toChild[0], &b, 1) != 1) _exit(4);
      c.Cancel();
      status = 0;
    } catch (...) {
      status = 5;
    }
    _exit(status);
  }
  close(toChild[0]);
  close(toParent[1]);
  TKuraQuery& q = ProblemRows(1);
  EXPECT_EQ(q.FieldAsInteger(PST), 10);
  char b = 's';
  ASSERT_EQ(write(toChild[1], &b, 1), 1);
  ASSERT_EQ(read(toParent[0], &b, 1), 1);
  q.First();
  EXPECT_EQ(q.FieldAsInteger(PST), 11);  // the other process's post
  try {
    q.Edit();
    ADD_FAILURE() << "the row is locked by the other process";
  } catch (const EKuraEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), 10258);
  }
  EXPECT_EQ(q.State(), TDataSetState::dsBrowse);
  ASSERT_EQ(write(toChild[1], &b, 1), 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  q.Edit();  // free again
  q.SetFieldAsInteger(PST, 12);
  q.Post();
  EXPECT_EQ(q.FieldAsInteger(PST), 12);
  close(toChild[1]);
  close(toParent[0]);
}

// A memo field written and read through a stream; the value reaches the
// table with the post.
TEST_F(QueryTest, BlobStreamsReadAndWriteTheWholeValue) {
  {
    TDataSession ds;
    TDataDirectory dir(ds, "kyozai");
    DataFileDefinition def;
    def.fields = {MakeField(1, "N", kFieldInteger), MakeField(2, "Memo", kFieldBlob, 0, kSubtypeMemo)};
    TIndexFileHeader h = NewIndexHeader();
    h.noPrimaryFields = 1;
    dir.CloseTable(dir.CreateTable("notes", {}, def, h));
  }
  TKuraQuery& q = NewQuery({"select * from notes"});
  q.Open();
  const std::string text(3000, 'x');
  q.Append();
  q.SetFieldAsInteger(0, 1);
  {
    TKuraBlobStream w(q, 1, TBlobStreamMode::bmWrite);
    w.Write(text.data(), text.size());
    w.Seek(0);
    w.Write("ab", 2);
  }
  q.Post();
  TKuraQuery& r = NewQuery({"select * from notes"});
  r.Open();
  TKuraBlobStream in(r, 1, TBlobStreamMode::bmRead);
  EXPECT_EQ(in.Size(), 3000u);
  std::string got(10, '\0');
  EXPECT_EQ(in.Read(got.data(), 10), 10u);
  EXPECT_EQ(got, "abxxxxxxxx");
  EXPECT_EQ(r.FieldAsString(1).size(), 3000u);
  EXPECT_EQ(MessageOf([&] { in.Write("c", 1); }), "Field Memo cannot be modified.");
  EXPECT_EQ(MessageOf([&] { TKuraBlobStream(r, 1, TBlobStreamMode::bmWrite); }),
            "Table is not in edit or insert mode.");
}

}  // namespace
}  // namespace kura
