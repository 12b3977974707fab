// Thermographs of small games written in the {Black's options | White's
// options} notation, each worked out by hand.
#include "yose/thermograph.h"

#include <gtest/gtest.h>

namespace sorabeku::yose {
namespace {

// {left | right} of games already built; `standing` is the count if play stopped.
Thermograph G(std::vector<Thermograph> left, std::vector<Thermograph> right, double standing = 0) {
  return CombineOptions(left, right, standing);
}
Thermograph N(double v) { return Thermograph::Number(v); }

TEST(Thermograph, GoteSwitchHasMeanAtTheMiddleAndHalfTheDifferenceAsTemperature) {
  const Thermograph g = G({N(3)}, {N(0)});  // {3 | 0}: a 3-point gote
  EXPECT_EQ(g.mean, 1.5);
  EXPECT_EQ(g.temperature, 1.5);
  EXPECT_EQ(g.left.At(0), 3);
  EXPECT_EQ(g.left.At(1), 2);
  EXPECT_EQ(g.right.At(1), 1);
  EXPECT_EQ(g.left.At(5), 1.5);  // the mast
}

TEST(Thermograph, SenteShowsAsAVerticalWall) {
  // {10 | {7 | 0}}: White's 3-point sente; Black's move a reverse sente.
  const Thermograph g = G({N(10)}, {G({N(7)}, {N(0)})});
  EXPECT_EQ(g.mean, 7);
  EXPECT_EQ(g.temperature, 3);
  EXPECT_EQ(g.right.At(0), 7);
  EXPECT_EQ(g.right.At(2.5), 7);  // vertical below the temperature
  EXPECT_EQ(g.left.At(1), 9);
  // The mirror: {{10 | 3} | 0} is Black's 3-point sente.
  const Thermograph b = G({G({N(10)}, {N(3)})}, {N(0)});
  EXPECT_EQ(b.mean, 3);
  EXPECT_EQ(b.temperature, 3);
  EXPECT_EQ(b.left.At(2), 3);
}

TEST(Thermograph, DoubleSenteHasTwoVerticalWallsBelowTheFollowUps) {
  // {{10 | 1} | {-1 | -10}}: each side's move threatens 9 more.
  const Thermograph g = G({G({N(10)}, {N(1)})}, {G({N(-1)}, {N(-10)})});
  EXPECT_EQ(g.left.At(2), 1);
  EXPECT_EQ(g.right.At(2), -1);
  EXPECT_EQ(g.mean, 0);
  EXPECT_EQ(g.temperature, 5.5);
}

TEST(Thermograph, NestedGoteAveragesItsFollowUps) {
  // {{20 | 10} | {-10 | -20}}: a gote whose options are gote of 5.
  const Thermograph g = G({G({N(20)}, {N(10)})}, {G({N(-10)}, {N(-20)})});
  EXPECT_EQ(g.mean, 0);
  EXPECT_EQ(g.temperature, 15);
  // {4 | {2 | 0}}: the follow-up (1) is colder than the move (1.75 after averaging).
  const Thermograph h = G({N(4)}, {G({N(2)}, {N(0)})});
  EXPECT_EQ(h.mean, 2.5);
  EXPECT_EQ(h.temperature, 1.5);
}

TEST(Thermograph, SettledPositionsAndDame) {
  // Both moves lose on the standing count: play has ended there.
  const Thermograph cold = G({N(-1)}, {N(1)}, 0);
  EXPECT_TRUE(cold.IsSettled());
  EXPECT_EQ(cold.mean, 0);
  // {0 | 0}: a dame; it ends play too, at temperature 0.
  const Thermograph dame = G({N(0)}, {N(0)}, 0);
  EXPECT_EQ(dame.temperature, 0);
  EXPECT_EQ(dame.mean, 0);
  // Dead stones still on the board: the standing count (0) is too low
  // and Black's capture (2) loses nothing, so the count is 2.
  const Thermograph dead = G({N(2)}, {N(3)}, 0);
  EXPECT_EQ(dead.mean, 2);
  EXPECT_TRUE(dead.IsSettled());
  // No moves at all: the standing count.
  EXPECT_EQ(G({}, {}, 4).mean, 4);
  // Only Black can move, and gains: the count is what Black gets.
  EXPECT_EQ(G({N(3)}, {}, 1).mean, 3);
}

TEST(WallLine, MaxAndMinFindTheCrossings) {
  const WallLine a = WallLine::Constant(3).PlusSlope(-1);  // 3 - t
  const WallLine b = WallLine::Constant(1);
  const WallLine m = WallLine::Max(a, b);
  EXPECT_EQ(m.At(0), 3);
  EXPECT_EQ(m.At(2), 1);
  EXPECT_EQ(m.At(5), 1);
  const WallLine n = WallLine::Min(a, b);
  EXPECT_EQ(n.At(0), 1);
  EXPECT_EQ(n.At(4), -1);
  EXPECT_EQ(WallLine::Difference(a, b).FirstNonPositive(), 2);
  EXPECT_LT(WallLine::Constant(1).FirstNonPositive(), 0);
}

}  // namespace
}  // namespace sorabeku::yose
