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
    {"一線のハネツギ（後手2目） first-line hane-connect", R"(
       X . . . . . . O
       X X X X O O O O)",
     Kind::kGote, 1, -1, 2, 1},
    // Black has descended to the first line; his hane needs no connection
    // and threatens to crawl into White's open corner, so White blocks.
    {"一線のハネ（黒の先手1目） first-line hane in sente", R"(
       X + + . X . . . . O
       X X X X X O . . . O
       + + + + X O O O O O)",
     Kind::kBlackSente, -4, -5, 1, 1},
    // The same with the colours turned: White's sente, Black's move there
    // is the reverse sente that takes it away.
    {"一線の逆ヨセ（逆ヨセ1目） first-line reverse sente", R"(
       O + + . O . . . . X
       O O O O O X . . . X
       + + + + O X X X X X)",
     Kind::kWhiteSente, 5, 4, 1, 1},
    // The same with two points on each side: Black's hane at the first
    // white point, block, connect leaves Black one point; White's the
    // mirror.
    {"一線のハネツギ（両側2路、後手2目） narrow first-line hane-connect", R"(
       X . . . . O
       X X X O O O)",
     Kind::kGote, 1, -1, 2, 1},
    // Black's side one point wider: Black first 3 − 1 = 2 points, White
    // first 2 − 2 = 0; still 2 points in gote.
    {"一線のハネツギ（黒の側が広い、後手2目） hane-connect, Black's side wider", R"(
       X . . . . . . . O
       X X X X X O O O O)",
     Kind::kGote, 2, 0, 2, 1},
    // The sente hane with White's corner two points wide: after hane and
    // block White keeps three points, after White's block four; Black's
    // point behind the descent is his either way.
    {"一線のハネ（白の地が狭い、黒の先手1目） sente hane, small corner", R"(
       X + + . X . . . O
       X X X X X O . . O
       + + + + X O O O O)",
     Kind::kBlackSente, -2, -3, 1, 1},
    // A white stone in atari on the edge: Black's capture is a prisoner
    // and the point it stood on; White's connection saves both.
    {"アタリの一子を取る（後手2目） taking a stone in atari", R"(
       X X O . X
       X X X O X
       X X X O X)",
     Kind::kGote, 2, 0, 2, 1},
    // Two stones in atari: two prisoners and two points.
    {"アタリの二子を取る（後手4目） taking two stones in atari", R"(
       X O O . X
       X X X O X
       X X X O X)",
     Kind::kGote, 4, 0, 4, 2},
    // A white stone with two liberties: Black's move on the point that
    // joins it to White's wall leaves it dead (a prisoner, the point it
    // stands on and the point beside it); White's connection leaves a dame.
    {"一子を取り込む（後手3目） capturing a cut-off stone", R"(
       X . O . X
       X X X O X
       X X X O X)",
     Kind::kGote, 3, 0, 3, 1.5},
    // Black's move makes the inner point his; White's move there makes it
    // a dame: one point in gote, worth half a point a move.
    {"後手1目（見合い半目） one-point gote", R"(
       X . . O
       X X X O)",
     Kind::kGote, 1, 0, 1, 0.5},
    // A point between two settled walls: either side fills it for nothing.
    {"ダメ neutral point", R"(
       X . O
       X X O)",
     Kind::kSettled, 0, 0, 0, 0},
    // One empty point inside Black's wall: his territory already.
    {"地の中の一目（終わり） a point inside territory", R"(
       X . X O
       X X X O)",
     Kind::kSettled, 1, 1, 0, 0},
    // A first-line point under a gap open to the centre: whoever takes it
    // keeps the point behind (a stone there touches the open side and
    // cannot be taken); the point on the other side turns neutral. Black
    // first +1, White first −1.
    {"一線の境目（後手2目） the last boundary point", R"(
       X . . . O
       X X + O O
       X X + O O)",
     Kind::kGote, 1, -1, 2, 1},
    // The same with two points on each side. Black's move makes his two
    // points sure and leaves White's two open: Black pushing on to (4,0)
    // makes (5,0) neutral (+2), White's block there keeps (5,0) (2 − 1 =
    // +1), a gote of 1 counted +1.5. White first the mirror, −1.5: 3
    // points in gote, 1.5 a move; the follow-up (½ a move) is smaller.
    {"一線の境目（両側2路、後手3目） boundary point, two on each side", R"(
       X . . . . . O
       X X X + O O O
       X X X + O O O)",
     Kind::kGote, 1.5, -1.5, 3, 1.5},
    // One point on Black's side, two on White's: Black first +1 and the
    // gote of 1 on White's side (Black's push +1, White's block 1 − 1 = 0)
    // counted +½; White first makes (1,0) neutral and keeps both of his:
    // −2. 2½ points in gote, 1¼ a move.
    {"一線の境目（白の側が広い、後手2目半） boundary point, White's side wider", R"(
       X . . . . O
       X X + O O O
       X X + O O O)",
     Kind::kGote, 0.5, -2, 2.5, 1.25},
    // Three stones in atari: three prisoners and three points; White's
    // connection leaves nothing.
    {"アタリの三子を取る（後手6目） taking three stones in atari", R"(
       X O O O . X
       X X X X O X
       X X X X O X)",
     Kind::kGote, 6, 0, 6, 3},
    // Black's move at (2,0) (safe: it touches the open side) makes (1,0)
    // his and puts the two white stones in atari; White connects at (5,0):
    // +1. Unanswered, Black takes them at (5,0) (his stone there joins his
    // wall): 2 prisoners, 2 points and (1,0), +5: a follow-up of 2 a move,
    // more than the 1 the move gains, so White answers. White's move at
    // (2,0) saves the stones and leaves (1,0) neutral: 0. Black's sente
    // 1 point; White's move there is the reverse sente.
    {"二子へのアタリ（黒の先手1目） atari on two stones in sente", R"(
       X . . O O . O
       X X + X X X O
       X X + X X X O)",
     Kind::kBlackSente, 1, 0, 1, 1},
    // The same with the colours turned: Black's move at (2,0) is the
    // reverse sente that saves his stones; White's sente leaves −1.
    {"二子へのアタリを防ぐ（逆ヨセ1目） preventing the atari, reverse sente", R"(
       O . . X X . X
       O O + O O O X
       O O + O O O X)",
     Kind::kWhiteSente, 0, -1, 1, 1},
    // White's first-line stone at (4,0) faces Black's three points. Black's
    // block at (3,0) keeps two (+2). White's push to (3,0) leaves a gote of
    // 1: Black's (2,0) keeps (1,0), White's push on leaves it neutral;
    // counted ½. 1½ points in gote, ¾ a move; the follow-up (½) is smaller.
    {"一線のオシ（後手1目半） pushing along the first line", R"(
       X . . . O
       X X X X O)",
     Kind::kGote, 2, 0.5, 1.5, 0.75},
};

// The second-line hane-connect needs two rows of empty points (10 and 9
// here): the search passes its visit bound on both (with the bound raised
// a hundredfold, the 9-point one had not ended after two minutes), so
// these wait for a faster search.
const Textbook kSecondLine[] = {
    // The third-line walls meet between columns 3 and 4. Black hanes under
    // White's stone at (4,1), White blocks at (5,1), Black connects at
    // (3,1) (else White cuts there and takes the hane stone). Left is the
    // first-line hane-connect: Black's hane (5,0), block (6,0), connect
    // (4,0) leaves Black (1,0) (2,0) (3,0) (2,1) = 4; White's hane (4,0),
    // block (3,0), connect (5,0) leaves Black 3 and White (6,0), 3 − 1 = 2.
    // A gote of 2 between 4 and 2 counts 3. White first is the mirror, −3:
    // 6 points in gote, 3 a move; the first-line follow-up (1 a move) is
    // smaller, so it is gote.
    {"二線のハネツギ（後手6目） second-line hane-connect", R"(
       X . . . . . . O
       X X . . . . O O
       X X X X O O O O)",
     Kind::kGote, 3, -3, 6, 3},
    // The second-line hane-connect with White's corner closed one point
    // earlier at (6,0). Black hanes at (4,1), White blocks at (5,1), Black
    // connects at (3,1). Left on the first line: Black's descent to (4,0)
    // leaves (5,0) neutral and keeps (1,0) (2,0) (3,0) (2,1) = +4 (his
    // hane at (5,0) would be a stone in atari); White's hane (4,0), block
    // (3,0), connect (5,0) leaves +3: counted 3.5. White first hanes at
    // (3,1), Black blocks (2,1), White connects (4,1); then Black's hane
    // (3,0), block (4,0), connect (2,0) leaves (1,0) against (5,0) (5,1):
    // −1; White's hane (2,0), block (1,0), connect (3,0) leaves White's
    // three: −3; counted −2. 5½ points in gote, 2¾ a move.
    {"二線のハネツギ（白の隅が狭い、後手5目半） second-line hane-connect", R"(
       X . . . . . O O
       X X . . . . O O
       X X X X O O O O)",
     Kind::kGote, 3.5, -2, 5.5, 2.75},
};

class TextbookPositions : public ::testing::TestWithParam<Textbook> {};

void ExpectPublishedValue(const Textbook& t) {
  SCOPED_TRACE(t.name);
  const LocalResult r = AnalysePosition(ParseDiagram(t.diagram).Area());
  EXPECT_EQ(r.value.kind, t.kind) << KindName(r.value.kind, Colour::kBlack);
  EXPECT_EQ(r.value.blackFirst, t.blackFirst);
  EXPECT_EQ(r.value.whiteFirst, t.whiteFirst);
  EXPECT_EQ(r.value.deiri, t.deiri);
  EXPECT_EQ(r.value.miai, t.miai);
  EXPECT_FALSE(r.ifWhiteWinsKo.has_value()) << "a ko was found in a ko-free position";
}

TEST_P(TextbookPositions, HaveTheirPublishedValue) { ExpectPublishedValue(GetParam()); }

TEST(TextbookPositions, DISABLED_SecondLineHaneConnectHasItsPublishedValue) {
  for (const Textbook& t : kSecondLine) {
    try {
      ExpectPublishedValue(t);
    } catch (const SearchTooLarge& e) {
      ADD_FAILURE() << t.name << ": " << e.what();
    }
  }
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
