// The area's symmetries, and the searches that lean on them giving the
// values a plain search gives.
#include "yose/area_symmetry.h"

#include <gtest/gtest.h>

#include "yose/diagram.h"
#include "yose/yose_solver.h"

namespace sorabeku::yose {
namespace {

// Black's wall on the left, White's on the right, mirror images of each
// other with the colours turned.
constexpr const char* kHaneConnect = R"(
   X . . . . . . O
   X X X O X O O O)";

TEST(AreaSymmetry, EdgeBetweenTwoWallsIsItsOwnMirrorWithColoursTurned) {
  const LocalArea area = ParseDiagram(kHaneConnect).Area();
  const std::vector<AreaSymmetry> found = FindSymmetries(area);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(found[0].swapsColours);
  // The first point of the row goes to the last.
  const auto first = std::find_if(found[0].map.begin(), found[0].map.end(),
                                  [](auto p) { return p.first == CellAt(1, 0); });
  ASSERT_NE(first, found[0].map.end());
  EXPECT_EQ(first->second, CellAt(6, 0));
}

TEST(AreaSymmetry, OneStoneOutOfPlaceBreaksIt) {
  const LocalArea area = ParseDiagram(R"(
   X . . . . . . O
   X X X X X O O O)").Area();
  EXPECT_TRUE(FindSymmetries(area).empty());
}

TEST(AreaSymmetry, CornerIsItsOwnDiagonalImage) {
  const LocalArea area = ParseDiagram(R"(
   . . X
   . . X
   X X X)").Area();
  const std::vector<AreaSymmetry> found = FindSymmetries(area);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_FALSE(found[0].swapsColours);
}

// Every position one or two moves deep: the White-wins-ko search that
// answers from the Black one through the mirror gives what searching it
// directly gives.
TEST(AreaSymmetry, MirroredSearchAgreesWithTheDirectOne) {
  const LocalArea area = ParseDiagram(kHaneConnect).Area();
  YoseSolver black(area, Colour::kBlack), direct(area, Colour::kWhite),
      mirrored(area, Colour::kWhite);
  mirrored.AnswerFrom(black, FindSymmetries(area).at(0));
  int compared = 0;
  for (Colour c : {Colour::kBlack, Colour::kWhite}) {
    for (const LocalMove& m : direct.Moves(area.board, c)) {
      for (const LocalMove& n : direct.Moves(m.after, Opponent(c))) {
        EXPECT_EQ(mirrored.Solve(n.after), direct.Solve(n.after)) << m.cell << " " << n.cell;
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 20);
  EXPECT_EQ(mirrored.Solve(area.board), direct.Solve(area.board));
}

}  // namespace
}  // namespace sorabeku::yose
