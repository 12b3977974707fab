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

TEST(TextbookPositions, EdgeKoIsReportedNotResolved) {
  // White can take the black stone at (2,0) as a ko; Black can connect.
  const LocalResult r = AnalysePosition(ParseDiagram(R"(
       + O X . X +
       + + O X + +)").Area());
  EXPECT_TRUE(r.ifWhiteWinsKo.has_value());
}

}  // namespace
}  // namespace sorabeku::yose
