// The data module over the engine: the queries as created, and the exact
// statements they send, run against tables in a scratch "kyozai".
#include "library/data_module.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/errors/database_error.h"

#include "engine/component/testing/library_tables.h"
#include "engine/storage/testing/storage_fixture.h"
#include "library/move_row.h"
#include "library/sequence_walks.h"

namespace sorabeku {
namespace {

class DataModuleTest : public ::testing::Test {
 protected:
  DataModuleTest() : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.Path());
    std::filesystem::create_directory("kyozai");
    kura::testing::CreateLibraryTables("kyozai");
    static int counter = 0;
    name_ = "DataModuleTest" + std::to_string(++counter);
    kura::Sessions().AddSession(name_).privateDir = dir_.Path();
    module_ = std::make_unique<TDataModule1>(name_);
  }
  ~DataModuleTest() override {
    module_.reset();
    std::filesystem::current_path(old_);
  }
  void AddProblems(std::initializer_list<std::pair<int, int>> rows) {
    kura::TKuraQuery q;
    q.SetSessionName(name_);
    q.SetDatabaseName("kyozai");
    q.SetRequestLive(true);
    q.AddSQL("select * from mokuji");
    q.Open();
    for (auto [mnb, size] : rows) {
      q.Append();
      q.SetFieldAsInteger(mokuji::MNB, mnb);
      q.SetFieldAsInteger(mokuji::SIZE, size);
      q.Post();
    }
  }
  static std::vector<int> Numbers(kura::TDataSet& q) {
    std::vector<int> v;
    for (q.First(); !q.Eof(); q.Next()) v.push_back(static_cast<int>(q.FieldAsInteger(0)));
    return v;
  }

  kura::testing::ScratchDir dir_;
  std::filesystem::path old_;
  std::string name_;
  std::unique_ptr<TDataModule1> module_;
};

TEST_F(DataModuleTest, QueriesAreCreatedClosedWithTheirStatements) {
  TDataModule1& m = *module_;
  EXPECT_TRUE(m.Query1().SQL().empty());
  EXPECT_EQ(m.Query2().SQL(), std::vector<std::string>{"select * from figure"});
  EXPECT_EQ(m.Query4().SQL(), std::vector<std::string>{"select * from figure"});
  for (kura::TKuraQuery* q : {&m.Query1(), &m.Query2(), &m.Query4()}) {
    EXPECT_FALSE(q->Active());
    EXPECT_TRUE(q->RequestLive());
    EXPECT_EQ(q->MaxRowCount(), -1);
    EXPECT_EQ(q->DatabaseName(), "kyozai");
  }
  EXPECT_EQ(m.DataSource2().DataSet(), &m.Query2());
}

TEST_F(DataModuleTest, ContentsListOneSectionOrOneGradeInNumberOrder) {
  AddProblems({{1500, 7}, {1000, 7}, {12, 7}, {2000, 3}, {1001, 2}, {999, 3}, {4, 7}});
  module_->OpenContents(2, 0);
  EXPECT_TRUE(module_->Query1().Live());
  EXPECT_EQ(Numbers(module_->KuraQuery1()), (std::vector<int>{1001, 1500}));
  module_->OpenContents(1, 7);
  EXPECT_EQ(module_->Query1().ProcessedText(),
            "Select * from mokuji\r\nWhere (MNB > 0 and MNB < 1000 and SIZE = ?)\r\nOrder By MNB");
  EXPECT_EQ(Numbers(module_->KuraQuery1()), (std::vector<int>{4, 12}));
  module_->OpenContents(3, 7);
  EXPECT_EQ(module_->KuraQuery1().RecordCount(), 0);
  EXPECT_EQ(module_->KuraQuery1().FieldAsInteger(0), 0);
  // The contents result is updatable.
  module_->OpenContents(1, 0);
  kura::TDataSet& q = module_->KuraQuery1();
  q.Last();
  q.Edit();
  q.SetFieldAsInteger(mokuji::SIZE, 25);
  q.Post();
  module_->OpenContents(1, 25);
  EXPECT_EQ(Numbers(q), (std::vector<int>{999}));
}

TEST_F(DataModuleTest, IntegersThatDoNotFitAColumnAreRefused) {
  AddProblems({{5, 1}});
  module_->OpenContents(1, 0);
  kura::TDataSet& q = module_->KuraQuery1();
  q.Edit();
  try {
    q.SetFieldAsInteger(mokuji::SIZE, std::int64_t{1} << 40);
    FAIL();
  } catch (const kura::EKuraEngineError& e) {
    EXPECT_EQ(e.ErrorCode(), kura::KURA_MAXVALERR);
  }
  EXPECT_THROW(q.SetFieldAsString(mokuji::SIZE, "-99999999999"), kura::EKuraEngineError);
  q.Post();
  EXPECT_EQ(q.FieldAsInteger(mokuji::SIZE), 1);
}

TEST_F(DataModuleTest, RollbackShowsTheLibraryAsItWasOnTheSameRows) {
  AddProblems({{3, 1}, {12, 5}, {40, 2}});
  TDataModule1& m = *module_;
  m.OpenContents(1, 0);
  m.OpenProblemRows(12);
  kura::TDataSet& rows = m.KuraQuery2();
  for (int pst : {45, 46, 64}) {
    rows.Append();
    rows.SetFieldAsInteger(figure::MNB, 12);
    rows.SetFieldAsInteger(figure::PST, pst);
    rows.Post();
  }
  m.OpenBranchPoints(12);
  ASSERT_TRUE(m.KuraQuery1().Locate("MNB", {std::int64_t{12}}));
  rows.First();
  rows.Next();  // on 46

  m.StartTransaction();
  EXPECT_THROW(m.StartTransaction(), kura::EDatabaseError);
  rows.Append();
  rows.SetFieldAsInteger(figure::MNB, 12);
  rows.SetFieldAsInteger(figure::PST, 83);
  rows.SetFieldAsInteger(figure::BFR, 1);
  rows.Post();
  rows.First();
  rows.Delete();
  kura::TDataSet& contents = m.KuraQuery1();
  contents.Edit();
  contents.SetFieldAsInteger(mokuji::SIZE, 9);
  contents.Post();
  contents.Last();
  contents.Edit();  // left pending, as a failed change leaves it
  contents.SetFieldAsInteger(mokuji::SIZE, 25);
  ASSERT_TRUE(rows.Locate("PST", {std::int64_t{64}}));
  ASSERT_EQ(rows.RecNo(), 2);
  m.Rollback();

  EXPECT_EQ(contents.State(), kura::TDataSetState::dsBrowse);
  EXPECT_EQ(contents.FieldAsInteger(mokuji::MNB), 40);  // where it stood
  EXPECT_EQ(Numbers(contents), (std::vector<int>{3, 12, 40}));
  contents.Locate("MNB", {std::int64_t{12}});
  EXPECT_EQ(contents.FieldAsInteger(mokuji::SIZE), 5);
  EXPECT_EQ(rows.RecNo(), 2);  // the same position
  EXPECT_EQ(rows.FieldAsInteger(figure::PST), 46);
  std::vector<int> pst;
  for (rows.First(); !rows.Eof(); rows.Next()) pst.push_back(static_cast<int>(rows.FieldAsInteger(figure::PST)));
  EXPECT_EQ(pst, (std::vector<int>{45, 46, 64}));
  EXPECT_EQ(m.KuraQuery4().RecordCount(), 0);
  m.Rollback();  // none runs: nothing happens

  // A committed transaction stays.
  m.StartTransaction();
  contents.Edit();
  contents.SetFieldAsInteger(mokuji::SIZE, 7);
  contents.Post();
  m.Commit();
  m.OpenContents(1, 7);
  EXPECT_EQ(Numbers(contents), (std::vector<int>{12}));
}

// Loading a problem renumbers its rows; rows that already carry their
// position are not edited, so a row another user is editing does not make
// the renumbering wait for its lock and fail.
TEST_F(DataModuleTest, RenumberingEditsOnlyRowsOutOfPlace) {
  kura::Sessions().SessionByName(name_).lockRetryCount = 0;
  TDataModule1& m = *module_;
  m.OpenProblemRows(12);
  kura::TDataSet& rows = m.KuraQuery2();
  for (int pst : {45, 46, 64}) {
    rows.Append();
    rows.SetFieldAsInteger(figure::MNB, 12);
    rows.SetFieldAsInteger(figure::PST, pst);
    if (pst != 64) rows.SetFieldAsInteger(figure::TNB, pst == 45 ? 1 : 7);
    rows.Post();
  }
  kura::Sessions().AddSession(name_ + "other").privateDir = dir_.Path();
  kura::TKuraQuery other;
  other.SetSessionName(name_ + "other");
  other.SetDatabaseName("kyozai");
  other.SetRequestLive(true);
  other.AddSQL("select * from figure where PST = 45");
  other.Open();
  other.Edit();  // holds the record lock of the first row

  RenumberRows(rows);
  std::vector<int> tnb;
  for (rows.First(); !rows.Eof(); rows.Next()) tnb.push_back(RowInt(rows, figure::TNB));
  EXPECT_EQ(tnb, (std::vector<int>{1, 2, 3}));

  // A row out of place that is locked still fails as before.
  other.Cancel();
  rows.First();
  rows.Edit();
  rows.SetFieldAsInteger(figure::TNB, 9);
  rows.Post();
  other.Close();
  other.Open();
  other.Edit();
  EXPECT_THROW(RenumberRows(rows), kura::EKuraEngineError);
  other.Cancel();
}

}  // namespace
}  // namespace sorabeku
