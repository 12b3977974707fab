// Life and death inside the region: groups in White's territory after
// Black's first move, read by the capture search.
#include "yose/life_and_death.h"

#include <gtest/gtest.h>

#include "yose/diagram.h"

namespace sorabeku::yose {
namespace {

Fate AfterBlack(const char* text, int x, int y, int whiteStoneX, int whiteStoneY) {
  const LocalArea a = ParseDiagram(text).Area();
  LocalBoard b = a.board;
  EXPECT_TRUE(b.Play(CellAt(x, y), Colour::kBlack).legal);
  return FateOfBlock(a, b, CellAt(whiteStoneX, whiteStoneY), Colour::kWhite);
}

// Straight three on the edge inside White's wall, which Black surrounds.
constexpr const char* kStraightThree = R"(
  X O . . . O X
  X O O O O O X
  X X X X X X X)";

TEST(LifeAndDeath, StraightThreeDiesToTheMiddlePoint) {
  EXPECT_EQ(AfterBlack(kStraightThree, 3, 0, 1, 0), Fate::kDies);
  EXPECT_EQ(AfterBlack(kStraightThree, 2, 0, 1, 0), Fate::kLives);
}

TEST(LifeAndDeath, TwoSeparateEyesLive) {
  // Two one-point eyes: nothing Black plays inside kills.
  const LocalArea a = ParseDiagram(R"(
    X O . O . O X
    X O O O O O X
    X X X X X X X)").Area();
  EXPECT_EQ(FateOfBlock(a, a.board, CellAt(1, 0), Colour::kBlack), Fate::kLives);
}

TEST(LifeAndDeath, TwoPointEyeSpaceInTheCornerDies) {
  // A corner group with two empty points: Black's placement at the corner
  // point, White takes it, and Black takes the whole group back.
  const LocalArea a = ParseDiagram(R"(
    . . O X
    O O O X
    X X X X)").Area();
  LocalBoard b = a.board;
  ASSERT_TRUE(b.Play(CellAt(0, 0), Colour::kBlack).legal);
  EXPECT_EQ(FateOfBlock(a, b, CellAt(2, 0), Colour::kWhite), Fate::kDies);
  // With White to play first it still dies: two points make one eye.
  EXPECT_EQ(FateOfBlock(a, a.board, CellAt(2, 0), Colour::kWhite), Fate::kDies);
}

}  // namespace
}  // namespace sorabeku::yose
