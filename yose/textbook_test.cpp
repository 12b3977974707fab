// Textbook endgame positions, each under its usual name, with the value
// and kind the books give, counted again by hand (both orders of play,
// each side's sente answered). Diagrams sit in the top-left corner: the
// first row is the first line; stones that reach the open board below
// are settled walls.
#include <gtest/gtest.h>

#include "yose/diagram.h"
#include "yose/local_analysis.h"

namespace sorabeku::yose {
namespace {

struct Textbook {
  const char* name;
  const char* diagram;
  Kind kind;
  double blackFirst, whiteFirst;  // the two counts
  double deiri, miai;
};

const Textbook kTable[] = {
    // Both sides can hane and connect on the first line. Black first:
    // hane, block, connect, Black 2 and White 1; White first the mirror.
    {"一線のハネツギ（後手2目）", R"(
       X . . . . . . O
       X X X X O O O O)",
     Kind::kGote, 1, -1, 2, 1},
    // Black has descended to the first line; his hane needs no connection
    // and threatens to crawl into White's open corner, so White blocks.
    {"一線のハネ（黒の先手1目）", R"(
       X + + . X . . . . O
       X X X X X O . . . O
       + + + + X O O O O O)",
     Kind::kBlackSente, -4, -5, 1, 1},
    // The same with the colours turned: White's sente, Black's move there
    // is the reverse sente that takes it away.
    {"一線の逆ヨセ（逆ヨセ1目）", R"(
       O + + . O . . . . X
       O O O O O X . . . X
       + + + + O X X X X X)",
     Kind::kWhiteSente, 5, 4, 1, 1},
    // The same with two points on each side: Black's hane at the first
    // white point, block, connect leaves Black one point; White's the
    // mirror.
    {"一線のハネツギ（両側2路、後手2目）", R"(
       X . . . . O
       X X X O O O)",
     Kind::kGote, 1, -1, 2, 1},
    // Black's side one point wider: Black first 3 − 1 = 2 points, White
    // first 2 − 2 = 0; still 2 points in gote.
    {"一線のハネツギ（黒の側が広い、後手2目）", R"(
       X . . . . . . . O
       X X X X X O O O O)",
     Kind::kGote, 2, 0, 2, 1},
    // The sente hane with White's corner two points wide: after hane and
    // block White keeps three points, after White's block four; Black's
    // point behind the descent is his either way.
    {"一線のハネ（白の地が狭い、黒の先手1目）", R"(
       X + + . X . . . O
       X X X X X O . . O
       + + + + X O O O O)",
     Kind::kBlackSente, -2, -3, 1, 1},
    // A white stone in atari on the edge: Black's capture is a prisoner
    // and the point it stood on; White's connection saves both.
    {"アタリの一子を取る（後手2目）", R"(
       X X O . X
       X X X O X
       X X X O X)",
     Kind::kGote, 2, 0, 2, 1},
    // Two stones in atari: two prisoners and two points.
    {"アタリの二子を取る（後手4目）", R"(
       X O O . X
       X X X O X
       X X X O X)",
     Kind::kGote, 4, 0, 4, 2},
    // A white stone with two liberties: Black's move on the point that
    // joins it to White's wall leaves it dead (a prisoner, the point it
    // stands on and the point beside it); White's connection leaves a dame.
    {"一子を取り込む（後手3目）", R"(
       X . O . X
       X X X O X
       X X X O X)",
     Kind::kGote, 3, 0, 3, 1.5},
    // Black's move makes the inner point his; White's move there makes it
    // a dame: one point in gote, worth half a point a move.
    {"後手1目（見合い半目）", R"(
       X . . O
       X X X O)",
     Kind::kGote, 1, 0, 1, 0.5},
    // A point between two settled walls: either side fills it for nothing.
    {"ダメ", R"(
       X . O
       X X O)",
     Kind::kSettled, 0, 0, 0, 0},
    // One empty point inside Black's wall: his territory already.
    {"地の中の一目（終わり）", R"(
       X . X O
       X X X O)",
     Kind::kSettled, 1, 1, 0, 0},
};

class TextbookPositions : public ::testing::TestWithParam<Textbook> {};

TEST_P(TextbookPositions, HaveTheirPublishedValue) {
  const Textbook& t = GetParam();
  const LocalResult r = AnalysePosition(ParseDiagram(t.diagram).Area());
  EXPECT_EQ(r.value.kind, t.kind) << KindName(r.value.kind, Colour::kBlack);
  EXPECT_EQ(r.value.blackFirst, t.blackFirst);
  EXPECT_EQ(r.value.whiteFirst, t.whiteFirst);
  EXPECT_EQ(r.value.deiri, t.deiri);
  EXPECT_EQ(r.value.miai, t.miai);
  EXPECT_FALSE(r.ifWhiteWinsKo.has_value()) << "a ko was found in a ko-free position";
}

INSTANTIATE_TEST_SUITE_P(Books, TextbookPositions, ::testing::ValuesIn(kTable),
                         [](const ::testing::TestParamInfo<Textbook>& info) {
                           return "Position" + std::to_string(info.index);
                         });

TEST(TextbookPositions, HaneConnectBestMovesAreTheTwoHanes) {
  const LocalResult r = AnalysePosition(ParseDiagram(kTable[0].diagram).Area());
  EXPECT_EQ(r.bestBlack, std::vector<int>{CellAt(4, 0)});
  EXPECT_EQ(r.bestWhite, std::vector<int>{CellAt(3, 0)});
}

TEST(TextbookPositions, LastKoIsWorthHalfAPointAndReportedNotResolved) {
  // White can take the black stone at (2,0) as a ko; Black can connect.
  // Black winning the ko connects it: nothing changes. White winning it
  // takes a prisoner and must connect at (2,0): one point in gote.
  const LocalResult r = AnalysePosition(ParseDiagram(R"(
       + O X . X +
       + + O X + +)").Area());
  EXPECT_EQ(r.value.blackFirst, 0);
  EXPECT_EQ(r.value.whiteFirst, 0);
  ASSERT_TRUE(r.ifWhiteWinsKo.has_value());
  EXPECT_EQ(r.ifWhiteWinsKo->kind, Kind::kGote);
  EXPECT_EQ(r.ifWhiteWinsKo->blackFirst, 0);
  EXPECT_EQ(r.ifWhiteWinsKo->whiteFirst, -1);
  EXPECT_EQ(r.ifWhiteWinsKo->miai, 0.5);
}

}  // namespace
}  // namespace sorabeku::yose
