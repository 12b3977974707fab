#include "board/board_view.h"

#include <gtest/gtest.h>

#include "board/click_map.h"
#include "board/testing/board_diagram.h"

namespace sorabeku {
namespace {

using testing::BoardFixture;

class BoardViewTest : public ::testing::Test, public BoardFixture {
 protected:
  void Show(int moveNumber, StoneCode code, PointIndex p, int display,
            const std::string& text) {
    if (display <= 2) state.Board[p] = code;
    ShowStone(board, moveNumber, code, p, display, text);
  }
};

TEST_F(BoardViewTest, CodeOneKeepsOnlyTheNewestNumber) {
  Show(4, kBlack, 61, 1, "other text");
  EXPECT_EQ(screen.cells[61].text, "4");
  EXPECT_EQ(screen.cells[61].colour, kWhiteText);
  Show(5, kWhite, 181, 1, "some text");
  EXPECT_EQ(screen.cells[181].picture, Picture::kWhite);
  EXPECT_EQ(screen.cells[181].text, "5");
  EXPECT_EQ(screen.cells[181].colour, kBlackText);
  EXPECT_EQ(screen.cells[61].picture, Picture::kBlack);
  EXPECT_EQ(screen.cells[61].text, "");
  EXPECT_EQ(state.LastStonePoint, 181);
  EXPECT_EQ(screen.panels[1], "some text");
}

TEST_F(BoardViewTest, CodeTwoKeepsEarlierNumbersAndCodeZeroWritesNone) {
  Show(1, kBlack, 10, 2, "");
  Show(2, kWhite, 11, 2, "");
  EXPECT_EQ(screen.cells[10].text, "1");
  EXPECT_EQ(screen.cells[11].text, "2");
  Show(3, kBlack, 12, 0, "c");
  EXPECT_EQ(screen.cells[12].text, " ");  // left as it was
  EXPECT_EQ(screen.cells[12].picture, Picture::kBlack);
  EXPECT_EQ(state.LastStonePoint, 12);
}

TEST_F(BoardViewTest, HighlightedStoneHasARedNumber) {
  Show(3, -1, 100, 2, "");
  EXPECT_EQ(screen.cells[100].picture, Picture::kBlack);
  EXPECT_EQ(screen.cells[100].colour, kRedText);
  EXPECT_EQ(screen.cells[100].text, "3");
}

TEST_F(BoardViewTest, OpaqueMarkCoversTheGridAndIsClearedByClearMarks) {
  // A white stone in atari next to the mark: a mark must not capture.
  testing::SetBoard(state, {".X", "XO", ".X"});
  screen.panels[1] = "before";
  state.LastStonePoint = 5;
  const PointIndex p = PointOf(2, 1);
  ShowStone(board, 0, kMarkCode, p, 23, "*");
  const Cell& cell = screen.cells[p];
  EXPECT_EQ(cell.text, "*");
  EXPECT_TRUE(cell.bold);
  EXPECT_TRUE(cell.opaque);
  EXPECT_EQ(cell.colour, kRedText);
  EXPECT_EQ(cell.picture, Picture::kNone);
  EXPECT_EQ(state.LastStonePoint, 5);
  EXPECT_EQ(screen.panels[1], "before");
  EXPECT_EQ(state.Board[PointOf(1, 1)], kWhite);

  ClearMarks(board);
  EXPECT_EQ(cell.text, "");
  EXPECT_FALSE(cell.opaque);
}

TEST_F(BoardViewTest, AMarkNoLongerDrawnFreesItsPointButAStoneUnderAMarkStays) {
  state.Board[30] = kMarkCode;
  ShowStone(board, 0, kMarkCode, 30, 21, "A");
  state.Board[31] = kMarkCode;
  ShowStone(board, 0, kMarkCode, 31, 21, "B");
  screen.cells[31].text = kCandidateMark;  // a candidate drawn over B
  state.Board[32] = kWhite;
  ShowStone(board, 0, 0, 32, 21, "C");  // a letter over a stone
  state.Board[33] = kMarkCode;
  ShowStone(board, 0, kMarkCode, 33, 31, "D");  // transparent: stays drawn
  ClearMarks(board);
  EXPECT_EQ(state.Board[30], kEmpty);
  EXPECT_EQ(state.Board[31], kEmpty);
  EXPECT_EQ(state.Board[32], kWhite);
  EXPECT_EQ(state.Board[33], kMarkCode);
  EXPECT_EQ(screen.cells[33].text, "D");
}

TEST_F(BoardViewTest, LetteredStoneSurvivesClearMarksButCandidatesDoNot) {
  ShowStone(board, 0, kBlack, 50, 13, "A");
  screen.cells[51].text = kCandidateMark;
  screen.cells[51].colour = kGreenText;
  Show(7, kWhite, 52, 2, "");
  ClearMarks(board);
  EXPECT_EQ(screen.cells[50].picture, Picture::kBlack);
  EXPECT_EQ(screen.cells[50].text, "A");
  EXPECT_EQ(screen.cells[50].colour, kRedText);
  EXPECT_FALSE(screen.cells[50].bold);
  EXPECT_EQ(screen.cells[51].text, "");
  EXPECT_EQ(screen.cells[52].text, "7");
}

TEST_F(BoardViewTest, MarkStylesByDigit) {
  ShowStone(board, 0, kBlack, 20, 11, "a");  // white on a black stone
  EXPECT_EQ(screen.cells[20].colour, kWhiteText);
  ShowStone(board, 0, kWhite, 21, 31, "b");  // black otherwise, bold, clear
  EXPECT_EQ(screen.cells[21].colour, kBlackText);
  EXPECT_TRUE(screen.cells[21].bold);
  EXPECT_FALSE(screen.cells[21].opaque);
  EXPECT_EQ(screen.cells[21].picture, Picture::kNone);
  ShowStone(board, 0, 3, 22, 22, "c");
  EXPECT_EQ(screen.cells[22].colour, kGreenText);
  screen.cells[23].colour = kGreenText;
  ShowStone(board, 0, 3, 23, 34, "d");  // unknown colour digit: unchanged
  EXPECT_EQ(screen.cells[23].colour, kGreenText);
  Show(1, kBlack, 22, 2, "");  // a plain stone resets the style
  EXPECT_FALSE(screen.cells[22].bold);
}

TEST_F(BoardViewTest, CodeOneErasesNothingWithoutALastStoneAndItsOwnNumber) {
  screen.cells[1].text = "x";
  Show(1, kBlack, 40, 1, "");
  EXPECT_EQ(screen.cells[40].text, "1");
  EXPECT_EQ(screen.cells[1].text, "x");
  Show(2, kWhite, 40, 1, "");  // at LastStonePoint: written, then erased
  EXPECT_EQ(screen.cells[40].text, "");
}

TEST_F(BoardViewTest, PointsOffTheBoardDrawNothing) {
  ShowStone(board, 1, kBlack, 0, 2, "t");
  ShowStone(board, 1, kBlack, 362, 2, "t");
  EXPECT_EQ(state.LastStonePoint, 0);
  EXPECT_EQ(screen.panels[1], "");
}

TEST(ClickMap, LabelsMapToTheirPoints) {
  EXPECT_EQ(PointOfLabel(4, 9), 1);
  EXPECT_EQ(PointOfLabel(508, 513), 361);
  EXPECT_EQ(PointOfLabel(32, 9), 20);
  EXPECT_EQ(PointOfLabel(4, 9 + 28 * 5, 0, 0), 6);
  EXPECT_EQ(PointOfLabel(4, 9, 28, 56), PointOf(1, 2));  // scrolled window
  for (PointIndex p = 1; p <= kPointCount; ++p) {
    const Rect r = LabelRect(p);
    ASSERT_EQ(PointOfLabel(r.left, r.top), p);
    ASSERT_EQ(LabelAt(r.left, r.top), p);
    ASSERT_EQ(LabelAt(r.left + r.width - 1, r.top + r.height - 1), p);
  }
}

TEST(ClickMap, ClicksOutsideEveryLabelHitNothing) {
  EXPECT_FALSE(LabelAt(3, 9));
  EXPECT_FALSE(LabelAt(4, 8));
  EXPECT_FALSE(LabelAt(30, 9));   // between two columns' labels
  EXPECT_FALSE(LabelAt(4, 25));   // between two rows' labels
  EXPECT_FALSE(LabelAt(534, 9));  // right of the last column
  EXPECT_FALSE(LabelAt(4, 530));  // below the last row
}

}  // namespace
}  // namespace sorabeku
