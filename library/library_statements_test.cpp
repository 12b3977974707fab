// The statement lines are part of what the program sends to the engine:
// their exact text (case and spacing included) is checked here once.
#include "library/library_statements.h"

#include <gtest/gtest.h>

namespace sorabeku {
namespace {

using Lines = std::vector<std::string>;

TEST(LibraryStatementsTest, ContentsBySectionAndGrade) {
  EXPECT_EQ(ContentsStatement(1, 0).lines,
            (Lines{"Select * from mokuji", "Where (MNB > 0 and MNB < 1000)",
                   "Order By MNB"}));
  EXPECT_FALSE(ContentsStatement(1, 0).hasParameter);
  EXPECT_EQ(ContentsStatement(3, 0).lines[1], "Where (MNB > 2000 and MNB < 3000)");
  const StatementLines graded = ContentsStatement(2, 7);
  EXPECT_EQ(graded.lines,
            (Lines{"Select * from mokuji",
                   "Where (MNB > 1000 and MNB < 2000 and SIZE = :SIZE)",
                   "Order By MNB"}));
  EXPECT_TRUE(graded.hasParameter);
  EXPECT_EQ(ContentsStatement(0, 7).lines,
            (Lines{"Select * from mokuji", "Order By MNB"}));
  EXPECT_FALSE(ContentsStatement(0, 7).hasParameter);
}

TEST(LibraryStatementsTest, ProblemRowsAndBranchPoints) {
  EXPECT_EQ(ProblemRowsStatement().lines,
            (Lines{"select * from figure", "Where MNB = :MNB"}));
  EXPECT_EQ(BranchPointsStatement().lines,
            (Lines{"Select *", "From figure",
                   "Where (MNB = :MNB) and (BFR > 0) order by BFR"}));
}

}  // namespace
}  // namespace sorabeku
