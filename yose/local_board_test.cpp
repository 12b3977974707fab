// The solver's capture rule and the way a region becomes a local area,
// on positions written as diagrams.
#include "yose/local_board.h"

#include <gtest/gtest.h>

#include "yose/diagram.h"

namespace sorabeku::yose {
namespace {

LocalBoard Open(const char* text) { return Diagram(ParseDiagram(text)).Area().board; }

TEST(LocalBoard, CapturesSuicideAndKo) {
  // A white stone in the corner with one liberty left.
  LocalBoard b = Open(R"(
    O . . X
    X . X X
    X X X X)");
  const PlayResult capture = b.Play(CellAt(1, 0), Colour::kBlack);
  EXPECT_TRUE(capture.legal);
  EXPECT_EQ(capture.captured, 1);
  EXPECT_EQ(b.at(CellAt(0, 0)), Cell::kEmpty);
  // White may not play where its stone would have no liberty.
  EXPECT_FALSE(b.Play(CellAt(1, 1), Colour::kWhite).legal);
  EXPECT_EQ(b.at(CellAt(1, 1)), Cell::kEmpty);

}

TEST(LocalBoard, KoCaptureIsRecognised) {
  LocalBoard k = Open(R"(
    + O X . X +
    + + O X + +)");
  // White takes the black stone at (2,0) from (3,0): a lone stone with one liberty.
  const PlayResult take = k.Play(CellAt(3, 0), Colour::kWhite);
  ASSERT_TRUE(take.legal);
  EXPECT_EQ(take.captured, 1);
  EXPECT_TRUE(take.koCapture);
  // Black takes back the same way.
  const PlayResult back = k.Play(CellAt(2, 0), Colour::kBlack);
  EXPECT_EQ(back.captured, 1);
  EXPECT_TRUE(back.koCapture);
}

TEST(LocalArea, WallsOpenSpaceAndTerritory) {
  const Diagram d = ParseDiagram(R"(
    X . . O
    X X O O)");
  const LocalArea a = d.Area();
  EXPECT_EQ(a.emptyPoints, 2);
  EXPECT_EQ(a.board.at(CellAt(0, 0)), Cell::kBlackWall);  // has liberties below
  EXPECT_EQ(a.board.at(CellAt(0, 2)), Cell::kOpen);
  EXPECT_EQ(a.board.Territory(a.cells), 0);  // touches both colours
  // A block whose liberties all lie in the region joins the area.
  const Diagram inside = ParseDiagram(R"(
    O . X +
    X X X +)");
  const LocalArea b = inside.Area();
  EXPECT_EQ(b.board.at(CellAt(0, 0)), Cell::kWhite);
  EXPECT_EQ(b.cells.size(), 2u);
  // Too large a region is refused with its size.
  Diagram big;
  for (int x = 0; x < 19; ++x) big.region.push_back(CellAt(x, 5));
  try {
    big.Area();
    FAIL() << "a 19-point region was accepted";
  } catch (const RegionTooLarge& e) {
    EXPECT_NE(std::string(e.what()).find("19 empty points"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace sorabeku::yose
