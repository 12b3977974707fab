// What the program relies on in a live query result, checked through the
// test library's backend: the in-memory results must behave as the
// engine's do in every point below, or the tests built on them prove
// nothing; the same tests then run against the engine's query datasets.
#include <gtest/gtest.h>

#include "engine/errors/database_error.h"
#include "library/move_row.h"
#include "library/testing/test_library.h"

namespace sorabeku::testing {
namespace {

// PST values of the rows of `rows`, walked from the first row.
std::vector<int> Points(kura::TDataSet& rows) {
  std::vector<int> out;
  for (rows.First(); !rows.Eof(); rows.Next()) {
    out.push_back(static_cast<int>(rows.FieldAsInteger(figure::PST)));
  }
  return out;
}

class DataSetContractTest : public ::testing::Test {
 protected:
  void AddRows(int mnb, std::initializer_list<int> points) {
    for (int p : points) lib.AddRow({.mnb = mnb, .pst = p});
  }
  std::unique_ptr<TestLibrary> owned_ = MakeTestLibrary();
  TestLibrary& lib = *owned_;
};

TEST_F(DataSetContractTest, RowsComeInAppendOrderAlsoAfterDeletes) {
  AddRows(1, {30, 10, 20});
  AddRows(2, {99});
  lib.OpenProblemRows(1);
  auto& q = lib.KuraQuery2();
  EXPECT_EQ(Points(q), (std::vector<int>{30, 10, 20}));
  q.First();
  q.Delete();  // the following row becomes current
  EXPECT_EQ(q.FieldAsInteger(figure::PST), 10);
  q.Append();
  q.SetFieldAsInteger(figure::MNB, 1);
  q.SetFieldAsInteger(figure::PST, 5);
  q.Post();  // the appended row is current, after all others
  EXPECT_EQ(q.FieldAsInteger(figure::PST), 5);
  EXPECT_EQ(q.RecNo(), 3);
  EXPECT_EQ(Points(q), (std::vector<int>{10, 20, 5}));
}

TEST_F(DataSetContractTest, BoundsKeepTheRowAndEmptyResultReadsZero) {
  AddRows(1, {7, 8});
  lib.OpenProblemRows(1);
  auto& q = lib.KuraQuery2();
  q.Last();
  q.Next();
  EXPECT_TRUE(q.Eof());
  EXPECT_EQ(q.FieldAsInteger(figure::PST), 8);
  q.First();
  q.Prior();
  EXPECT_TRUE(q.Bof());
  EXPECT_EQ(q.FieldAsInteger(figure::PST), 7);
  q.Next();
  EXPECT_FALSE(q.Bof());

  lib.OpenProblemRows(3);
  EXPECT_TRUE(q.Eof());
  EXPECT_TRUE(q.Bof());
  EXPECT_EQ(q.RecordCount(), 0);
  EXPECT_EQ(q.FieldAsInteger(figure::PST), 0);
  EXPECT_EQ(q.FieldAsString(figure::CMT), "");
  q.Next();
  EXPECT_TRUE(q.Eof());
}

TEST_F(DataSetContractTest, MovingStoresAPendingEditAndFieldsNeedEditState) {
  AddRows(1, {1, 2});
  lib.OpenProblemRows(1);
  auto& q = lib.KuraQuery2();
  EXPECT_THROW(q.SetFieldAsInteger(figure::TNB, 4), kura::EDatabaseError);
  q.Edit();
  q.SetFieldAsInteger(figure::TNB, 4);
  q.Next();
  q.Prior();
  EXPECT_EQ(q.FieldAsInteger(figure::TNB), 4);
  q.Edit();
  q.SetFieldAsInteger(figure::TNB, 9);
  q.Close();  // closing cancels
  lib.OpenProblemRows(1);
  EXPECT_EQ(q.FieldAsInteger(figure::TNB), 4);
}

// Renumbering a problem moves its rows out of the result one by one.
TEST_F(DataSetContractTest, RowWhoseConditionFieldChangesLeavesTheResult) {
  AddRows(1, {1, 2, 3});
  lib.OpenProblemRows(1);
  auto& q = lib.KuraQuery2();
  q.Edit();
  q.SetFieldAsInteger(figure::MNB, 5);
  q.Next();  // stores; the row leaves and the cursor moves on past row 2
  EXPECT_EQ(q.FieldAsInteger(figure::PST), 3);
  q.Prior();
  EXPECT_EQ(q.FieldAsInteger(figure::PST), 2);
  int guard = 0;
  while (!q.Eof() && ++guard < 10) {
    q.Edit();
    q.SetFieldAsInteger(figure::MNB, 5);
    q.Next();
    q.Prior();
  }
  EXPECT_EQ(q.RecordCount(), 0);
  lib.OpenProblemRows(5);
  EXPECT_EQ(Points(q), (std::vector<int>{1, 2, 3}));
}

TEST_F(DataSetContractTest, DeleteToTheEndEmptiesTheResult) {
  AddRows(1, {1, 2, 3});
  lib.OpenProblemRows(1);
  auto& q = lib.KuraQuery2();
  q.Last();
  q.Delete();  // the last row: the previous one becomes current
  EXPECT_EQ(q.FieldAsInteger(figure::PST), 2);
  q.First();
  while (!q.Eof()) q.Delete();
  EXPECT_EQ(q.RecordCount(), 0);
}

TEST_F(DataSetContractTest, LocateIsExactAndKeepsTheRowWhenNothingMatches) {
  lib.AddRow({.mnb = 1, .pst = 5, .bto = 2});
  lib.AddRow({.mnb = 1, .pst = 6, .bto = 1});
  lib.AddRow({.mnb = 1, .pst = 5, .bto = 1});
  lib.AddRow({.mnb = 1, .pst = 7});  // BTO without a value
  lib.OpenProblemRows(1);
  auto& q = lib.KuraQuery2();
  ASSERT_TRUE(q.Locate("PST;BTO", {std::int64_t{5}, std::int64_t{1}}));
  EXPECT_EQ(q.RecNo(), 3);
  EXPECT_FALSE(q.Locate("PST;BTO", {std::int64_t{6}, std::int64_t{2}}));
  EXPECT_EQ(q.RecNo(), 3);
  // A field without a value is not equal to 0.
  EXPECT_FALSE(q.Locate("BTO", {std::int64_t{0}}));
  EXPECT_EQ(q.RecNo(), 3);
  EXPECT_TRUE(q.Locate("bto", {std::monostate{}}));
  EXPECT_EQ(q.RecNo(), 4);
}

TEST_F(DataSetContractTest, TwoResultsOverOneTableSeeEachOthersChanges) {
  lib.AddRow({.mnb = 1, .pst = 1, .bfr = 3});
  lib.AddRow({.mnb = 1, .pst = 2, .bfr = 1});
  lib.AddRow({.mnb = 1, .pst = 3});
  lib.OpenProblemRows(1);
  lib.OpenBranchPoints(1);
  auto& rows = lib.KuraQuery2();
  auto& points = lib.KuraQuery4();
  EXPECT_EQ(Points(points), (std::vector<int>{2, 1}));  // BFR order
  rows.Last();
  rows.Edit();
  rows.SetFieldAsInteger(figure::BFR, 2);
  rows.Post();
  EXPECT_EQ(Points(points), (std::vector<int>{2, 3, 1}));
  points.First();
  points.Delete();
  EXPECT_EQ(Points(rows), (std::vector<int>{1, 3}));
}

TEST_F(DataSetContractTest, ContentsListOneSectionInNumberOrder) {
  lib.AddProblem(1500, 7);
  lib.AddProblem(1000, 7);
  lib.AddProblem(1200, 3);
  lib.AddProblem(2000, 7);
  lib.AddProblem(1001, 7);
  lib.OpenContents(2, 0);
  auto& q = lib.KuraQuery1();
  std::vector<int> numbers;
  for (q.First(); !q.Eof(); q.Next()) {
    numbers.push_back(static_cast<int>(q.FieldAsInteger(mokuji::MNB)));
  }
  EXPECT_EQ(numbers, (std::vector<int>{1001, 1200, 1500}));
  lib.OpenContents(1, 7);
  EXPECT_EQ(q.RecordCount(), 0);
  EXPECT_EQ(q.FieldAsInteger(mokuji::MNB), 0);
}

}  // namespace
}  // namespace sorabeku::testing
