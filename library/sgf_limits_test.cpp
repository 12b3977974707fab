// Hostile SGF sizes: a setup point given again and again, and a problem
// of more rows than one problem may hold, are refused with their place;
// a problem of exactly the limit still comes in.
#include <gtest/gtest.h>

#include <string>

#include "library/problem_import.h"

namespace sorabeku {
namespace {

std::string Refusal(const std::string& text) {
  try {
    ImportSgf(text);
  } catch (const SgfError& e) {
    return e.what();
  }
  return "accepted";
}

// A problem of one setup stone and `moves` moves in continuations of at
// most 100 moves each, all starting at the base diagram.
std::string ProblemOfMoves(std::size_t moves) {
  std::string text = "(;SBN[1]AB[aa]";
  for (std::size_t done = 0; done < moves;) {
    text += "(";
    for (std::size_t i = 0; i < 100 && done < moves; ++i, ++done) {
      text += i % 2 ? ";W[" : ";B[";
      text += static_cast<char>('b' + i % 18);
      text += static_cast<char>('b' + i / 18 % 18);
      text += "]";
    }
    text += ")";
  }
  return text + ")";
}

TEST(SgfLimits, ASetupPointGivenTwiceIsRefused) {
  std::string repeated = "(;SBN[1]AB";
  for (int i = 0; i < 8000; ++i) repeated += "[dd]";
  EXPECT_NE(Refusal(repeated + ")").find("AB: the setup point dd is given twice"), std::string::npos);
  EXPECT_NE(Refusal("(;SBN[1]AB[dd]AW[ee][dd])").find("AW: the setup point dd is given twice"),
            std::string::npos);
  EXPECT_NE(Refusal("(;SBN[1]AB[aa:cc][bb])").find("the setup point bb is given twice"),
            std::string::npos);
  EXPECT_NE(Refusal("(;SBN[1]AB[dd]LB[ee:A][ee:B])").find("LB: the point ee is labelled twice"),
            std::string::npos);
  // A stone and a text mark on one point are two different things.
  EXPECT_EQ(Refusal("(;SBN[1]AB[dd]LB[dd:A])"), "accepted");
}

TEST(SgfLimits, AProblemOfMoreRowsThanTheLimitIsRefused) {
  const ImportResult at = ImportSgf(ProblemOfMoves(kMaxProblemRows - 1));
  ASSERT_EQ(at.problems.size(), 1u);
  EXPECT_EQ(at.problems[0].rows.size(), kMaxProblemRows);
  EXPECT_NE(Refusal(ProblemOfMoves(kMaxProblemRows)).find("more than 2000 rows"), std::string::npos);
  std::string exact = "(;SBN[1]SBB";
  for (std::size_t i = 0; i <= kMaxProblemRows; ++i) exact += "[1:1:0:0:]";
  EXPECT_NE(Refusal(exact + ")").find("more than 2000 rows"), std::string::npos);
}

}  // namespace
}  // namespace sorabeku
