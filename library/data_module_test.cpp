// The data module over the engine: the queries as created, and the exact
// statements they send, run against tables in a scratch "kyozai".
#include "library/data_module.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/component/testing/library_tables.h"
#include "engine/storage/testing/storage_fixture.h"
#include "library/move_row.h"

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

}  // namespace
}  // namespace sorabeku
