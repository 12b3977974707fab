// Whole problems read from and appended to a library, over each backend.
#include "library/problem_store.h"

#include <gtest/gtest.h>

#include "library/move_row.h"
#include "library/problem_export.h"
#include "library/problem_import.h"
#include "library/sequence_walks.h"
#include "library/sgf_writer.h"
#include "library/shift_jis_data_set.h"
#include "library/testing/test_library.h"

namespace sorabeku {
namespace {

class ProblemStoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<testing::TestLibrary> owned_ = testing::MakeTestLibrary();
  testing::TestLibrary& lib = *owned_;
  ShiftJisQueries queries{lib};
};

// The problem the editing screen registered, exported and imported under
// another number, reads and walks like the original.
TEST_F(ProblemStoreTest, RegisteredProblemTravelsThroughSgfUnderANewNumber) {
  lib.AddWorkedExample();
  const std::optional<ProblemRecord> original = ReadProblem(queries, 12);
  ASSERT_TRUE(original.has_value());
  EXPECT_EQ(original->grade, 5);
  EXPECT_EQ(original->description, "example");
  ASSERT_EQ(original->rows.size(), 8u);

  const std::string text = WriteSgf({ProblemToTree(*original).root});
  AppendProblems(queries, ImportSgf(text, {.number = 13}).problems);

  const std::optional<ProblemRecord> copy = ReadProblem(queries, 13);
  ASSERT_TRUE(copy.has_value());
  EXPECT_EQ(copy->rows, original->rows);
  EXPECT_EQ(copy->grade, 5);

  kura::TDataSet& rows = lib.KuraQuery2();
  lib.OpenProblemRows(13);
  int position = 0;
  for (rows.First(); !rows.Eof(); rows.Next()) EXPECT_EQ(RowInt(rows, figure::TNB), ++position);
  rows.First();
  SeekSequenceEnd(rows);
  CandidateList candidates{};
  EXPECT_EQ(ClassifyPosition(rows, candidates), PositionKind::Branching);
  EXPECT_EQ(candidates[1].Pst, 83);
  EXPECT_EQ(candidates[2].Pst, 102);
  EXPECT_EQ(candidates[2].Col, -1);
  EXPECT_EQ(NextFreeBranchNumber(lib, 13), 5);
  EXPECT_EQ(ListSection(queries, 1), (std::vector<int>{12, 13}));
}

TEST_F(ProblemStoreTest, NumberInUseRefusesTheWholeFileBeforeWriting) {
  lib.AddWorkedExample();
  lib.AddProblem(20, 1);  // a contents row without rows counts as used
  const ImportResult two = ImportSgf("(;SBN[14]AB[aa])(;SBN[12]AB[bb])");
  EXPECT_THROW(AppendProblems(queries, two.problems), ProblemNotAdded);
  EXPECT_FALSE(NumberInUse(queries, 14));
  EXPECT_THROW(AppendProblems(queries, ImportSgf("(;SBN[20]AB[aa])").problems), ProblemNotAdded);
  EXPECT_EQ(ReadProblem(queries, 12)->rows.size(), 8u);
  EXPECT_EQ(ListSection(queries, 1), (std::vector<int>{12, 20}));
}

TEST_F(ProblemStoreTest, ContentsRowKeepsAnEmptyGradeAndJapaneseText) {
  AppendProblems(queries, ImportSgf("(;SBN[1007]SBD[隅のヨセ　二目]AB[aa])"
                                    "(;SBN[2001]SBG[0]AB[aa]C[黒番])")
                              .problems);
  const ProblemRecord a = *ReadProblem(queries, 1007);
  EXPECT_FALSE(a.grade.has_value());
  EXPECT_EQ(a.description, "隅のヨセ　二目");
  const ProblemRecord b = *ReadProblem(queries, 2001);
  EXPECT_EQ(b.grade, 0);
  EXPECT_EQ(b.rows.at(0).cmt, "黒番");
  EXPECT_FALSE(ReadProblem(queries, 2002).has_value());
}

}  // namespace
}  // namespace sorabeku
