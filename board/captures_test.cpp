#include "board/captures.h"

#include <gtest/gtest.h>

#include "board/board_view.h"
#include "board/capture_log.h"
#include "board/testing/board_diagram.h"

namespace sorabeku {
namespace {

using testing::BoardFixture;
using testing::Diagram;
using testing::FakeRows;
using testing::PictureDiagram;
using Lines = std::vector<std::string>;

class CapturesTest : public ::testing::Test, public BoardFixture {
 protected:
  // Puts the diagram on the board with its pictures.
  void Setup(const Lines& rows) {
    testing::SetBoard(state, rows);
    for (PointIndex p = 1; p <= kPointCount; ++p) {
      const int code = std::abs(state.Board[p]);
      if (code == 1 || code == 2) DrawStonePicture(screen, p, code);
    }
  }
  // Places a plain stone as the screens do: Board first, then ShowStone.
  void Play(int colour, int column, int row, int moveNumber = 0) {
    const PointIndex p = PointOf(column, row);
    state.Board[p] = colour;
    ShowStone(board, moveNumber, colour, p, 0, "");
  }
  std::vector<CaptureRecord> Used() const {
    std::vector<CaptureRecord> used;
    for (int slot = 1; slot <= kCaptureLogSlots; ++slot) {
      if (!state.CaptureLog[slot].IsFree()) used.push_back(state.CaptureLog[slot]);
    }
    return used;
  }
};

TEST_F(CapturesTest, NeighboursAtTheCornersAndEdges) {
  Setup({"XO", "O."});
  auto n = ComputeNeighbours(state, 1);
  EXPECT_EQ(n[0].Code, kEdgeCode); EXPECT_EQ(n[0].Point, 0);
  EXPECT_EQ(n[1].Code, 2);         EXPECT_EQ(n[1].Point, 2);
  EXPECT_EQ(n[2].Code, kEdgeCode); EXPECT_EQ(n[2].Point, 0);
  EXPECT_EQ(n[3].Code, 2);         EXPECT_EQ(n[3].Point, 20);

  n = ComputeNeighbours(state, 19);  // bottom-left
  EXPECT_EQ(n[0].Point, 18);
  EXPECT_EQ(n[1].Point, 0);
  EXPECT_EQ(n[2].Point, 0);
  EXPECT_EQ(n[3].Point, 38);
  n = ComputeNeighbours(state, 343);  // top-right
  EXPECT_EQ(n[0].Point, 0);
  EXPECT_EQ(n[1].Point, 344);
  EXPECT_EQ(n[2].Point, 324);
  EXPECT_EQ(n[3].Point, 0);
  n = ComputeNeighbours(state, 361);  // bottom-right
  EXPECT_EQ(n[1].Point, 0);
  EXPECT_EQ(n[3].Point, 0);
  EXPECT_EQ(n[1].Code, kEdgeCode);

  state.Board[2] = -2;  // the sign is dropped
  EXPECT_EQ(ComputeNeighbours(state, 1)[1].Code, 2);
}

TEST_F(CapturesTest, SingleStoneAtTheEdgeIsTakenByTheLastLiberty) {
  Setup({"X.",
         "O.",
         "X."});
  Play(kBlack, 1, 1);
  EXPECT_EQ(Diagram(state, 2, 3), (Lines{"X.", ".X", "X."}));
  EXPECT_EQ(PictureDiagram(screen, 2, 3), (Lines{"X.", ".X", "X."}));
  EXPECT_EQ(screen.cells[2].text, "");
  ASSERT_EQ(state.CaptureLogCount, 1);
  EXPECT_EQ(state.CaptureLog[1].Colour, 2);
  EXPECT_EQ(state.CaptureLog[1].Point, 2);
}

TEST_F(CapturesTest, GroupIsTakenWholeInPointOrderUnderOneKey) {
  Setup({".OOO.",
         "OXXXO",
         "OX.XO",
         ".OOO."});
  state.EditCount = 2;
  Play(kWhite, 2, 2, 6);
  EXPECT_EQ(Diagram(state, 5, 4),
            (Lines{".OOO.", "O...O", "O.O.O", ".OOO."}));
  const auto used = Used();
  ASSERT_EQ(used.size(), 5u);
  const PointIndex expected[] = {PointOf(1, 1), PointOf(1, 2), PointOf(2, 1),
                                 PointOf(3, 1), PointOf(3, 2)};
  for (size_t i = 0; i < used.size(); ++i) {
    EXPECT_EQ(used[i].Point, expected[i]);
    EXPECT_EQ(used[i].MoveKey, 2);
    EXPECT_EQ(used[i].StoneNumber, 6);
    EXPECT_EQ(used[i].Colour, 1);
  }
}

TEST_F(CapturesTest, TheRuleNamesTheTakenStonesAndChangesNothing) {
  Setup({".OOO.",
         "OXXXO",
         "OX.XO",
         ".OOO."});
  const PointIndex p = PointOf(2, 2);
  state.Board[p] = kWhite;
  const std::array<StoneCode, kPointCount + 1> before = state.Board;
  const Captures taken = CapturesOf(state, p);
  EXPECT_EQ(taken.Colour, kBlack);
  EXPECT_EQ(taken.Points,
            (std::vector<PointIndex>{PointOf(1, 1), PointOf(1, 2), PointOf(2, 1),
                                     PointOf(3, 1), PointOf(3, 2)}));
  EXPECT_EQ(state.Board, before);
  EXPECT_EQ(state.CaptureLogCount, 0);
  EXPECT_EQ(PictureDiagram(screen, 5, 4)[1], "OXXXO");

  // A stone that takes nothing, an empty point, a mark: nothing is named.
  state.Board[PointOf(10, 10)] = kBlack;
  EXPECT_TRUE(CapturesOf(state, PointOf(10, 10)).Points.empty());
  EXPECT_EQ(CapturesOf(state, PointOf(0, 0)).Colour, 0);
  state.Board[PointOf(0, 0)] = kMarkCode;
  EXPECT_TRUE(CapturesOf(state, PointOf(0, 0)).Points.empty());
}

TEST_F(CapturesTest, EdgeAndTextMarkAreNoLiberties) {
  Setup({"XX#",
         "X.O",
         "O..",});
  Play(kWhite, 1, 1);
  EXPECT_EQ(Diagram(state, 3, 3), (Lines{"..#", ".OO", "O.."}));
  EXPECT_EQ(state.CaptureLogCount, 3);
}

TEST_F(CapturesTest, StoneWithoutLibertiesThatCapturesNothingStays) {
  Setup({".O",
         "O."});
  Play(kBlack, 0, 0);
  EXPECT_EQ(Diagram(state, 2, 2), (Lines{"XO", "O."}));
  EXPECT_EQ(state.CaptureLogCount, 0);
}

TEST_F(CapturesTest, TwoGroupsAtOnceAndAGroupTouchedTwiceIsTakenOnce) {
  Setup({".X.X.",
         "XO.OX",
         ".X.X."});
  Play(kBlack, 2, 1);
  EXPECT_EQ(Diagram(state, 5, 3), (Lines{".X.X.", "X.X.X", ".X.X."}));
  EXPECT_EQ(state.CaptureLogCount, 2);

  // The new white stone touches one U-shaped group above, left and right.
  state.CaptureLog.fill(CaptureRecord{});
  state.CaptureLogCount = 0;
  Setup({".OOO.",
         "OXXXO",
         "OX.XO",
         "OXOXO",
         ".O.O."});
  Play(kWhite, 2, 2);
  EXPECT_EQ(Diagram(state, 5, 5),
            (Lines{".OOO.", "O...O", "O.O.O", "O.O.O", ".O.O."}));
  const auto used = Used();
  ASSERT_EQ(used.size(), 7u);
  for (size_t i = 1; i < used.size(); ++i) {
    EXPECT_LT(used[i - 1].Point, used[i].Point);  // each stone once, in order
  }
}

TEST_F(CapturesTest, EditMovesKeyTheLogAndTakeBackRestoresWithoutNumbers) {
  Setup({".X.",
         "XOX",
         "..."});
  state.CaptureLog[1] = {.MoveKey = 7, .StoneNumber = 7, .Colour = 1,
                         .Point = 300};
  state.CaptureLogCount = 1;
  state.EditCount = 3;
  screen.cells[PointOf(1, 1)].text = "9";
  Play(kBlack, 1, 2, 4);
  EXPECT_EQ(Diagram(state, 3, 3), (Lines{".X.", "X.X", ".X."}));
  ASSERT_EQ(state.CaptureLogCount, 2);
  EXPECT_EQ(state.CaptureLog[2].MoveKey, 3);
  EXPECT_EQ(state.CaptureLog[2].StoneNumber, 4);

  state.ColourToPlay = 1;
  RestoreCaptures(board, 3, false);
  EXPECT_EQ(Diagram(state, 3, 3), (Lines{".X.", "XOX", ".X."}));
  EXPECT_EQ(PictureDiagram(screen, 3, 3)[1], "XOX");
  EXPECT_EQ(screen.cells[PointOf(1, 1)].text, "");  // no number written
  EXPECT_EQ(state.CaptureLogCount, 1);
  EXPECT_EQ(state.CaptureLog[1].MoveKey, 7);  // the other key stays
  EXPECT_TRUE(state.CaptureLog[2].IsFree());
  EXPECT_EQ(state.ColourToPlay, 2);
}

TEST_F(CapturesTest, TrainingCaptureNumbersComeFromTheProblemRows) {
  // Base diagram: white at (0,0) and black at (0,1). Move 7 puts white at
  // (1,0); move 8 black at (2,0)... move 9 black at (1,1) captures both.
  const PointIndex base = PointOf(0, 0);
  const PointIndex seven = PointOf(1, 0);
  FakeRows rows({{0, base, 1}, {0, PointOf(0, 1), 2}, {7, seven, 3},
                 {8, PointOf(2, 0), 4}, {9, PointOf(1, 1), 5}});
  board.rows = &rows;
  Setup({"OOX",
         "X..",
         "..."});
  rows.set_current(4);
  Play(kBlack, 1, 1, 9);
  EXPECT_EQ(Diagram(state, 3, 2), (Lines{"..X", "XX."}));
  ASSERT_EQ(state.CaptureLogCount, 2);
  EXPECT_EQ(state.CaptureLog[1].MoveKey, 9);
  EXPECT_EQ(state.CaptureLog[1].StoneNumber, 0);
  EXPECT_EQ(state.CaptureLog[2].MoveKey, 9);
  EXPECT_EQ(state.CaptureLog[2].StoneNumber, 7);
  EXPECT_EQ(rows.current(), 4);  // back on the row that was current

  RestoreCaptures(board, 9, true);
  EXPECT_EQ(Diagram(state, 3, 2), (Lines{"OOX", "XX."}));
  EXPECT_EQ(screen.cells[base].text, "");
  EXPECT_EQ(screen.cells[seven].text, "7");
  EXPECT_EQ(screen.cells[seven].colour, kBlackText);
  EXPECT_EQ(state.CaptureLogCount, 0);
}

// Drawing a problem's rows one by one must not search the rows for each
// stone: only a capture's stone-number scan moves them, and only then is
// the current row searched again (once, however many stones it took).
TEST_F(CapturesTest, OnlyAStoneThatCapturesSearchesTheRowsAgain) {
  std::vector<FakeRows::Row> list;
  for (int i = 0; i < 300; ++i) list.push_back({0, 1 + i % 40, i + 1});
  FakeRows rows(list);
  board.rows = &rows;
  for (int i = 0; i < 300; ++i) {
    rows.set_current(i);
    Play(kBlack, i % 19, i / 19);  // 300 distinct points, none captures
    ASSERT_EQ(rows.current(), i);
  }
  EXPECT_EQ(rows.searched(), 0);

  Setup({".OOX",
         "XOOX",
         ".XX."});
  rows.set_current(250);
  Play(kBlack, 0, 0);  // the two-by-two white group, four stones
  EXPECT_EQ(state.CaptureLogCount, 4);
  EXPECT_EQ(rows.current(), 250);
  EXPECT_EQ(rows.searched(), 251);
}

TEST_F(CapturesTest, HighlightedStoneComesBackPositive) {
  Setup({"o.",
         "X."});
  Play(kBlack, 1, 0, 3);
  EXPECT_EQ(state.Board[1], 0);
  RestoreCaptures(board, 3, true);
  EXPECT_EQ(state.Board[1], 2);
}

TEST_F(CapturesTest, FullLogStillTakesStonesButWritesNoMoreRecords) {
  for (int slot = 1; slot <= kCaptureLogSlots; ++slot) {
    state.CaptureLog[slot] = {.MoveKey = 1, .StoneNumber = 0, .Colour = 2,
                              .Point = 200 + slot % 100};
  }
  state.CaptureLogCount = kCaptureLogSlots;
  Setup({"O.", "X."});
  Play(kBlack, 1, 0, 2);
  EXPECT_EQ(state.Board[1], 0);
  EXPECT_EQ(state.CaptureLogCount, kCaptureLogSlots);
  for (int slot = 1; slot <= kCaptureLogSlots; ++slot) {
    EXPECT_EQ(state.CaptureLog[slot].MoveKey, 1);
  }
}

TEST_F(CapturesTest, RecordsAreNeverWrittenOverAfterAnOutOfOrderTakeBack) {
  state.CaptureLog[1] = {.MoveKey = 5, .StoneNumber = 0, .Colour = 1, .Point = 300};
  state.CaptureLog[2] = {.MoveKey = 2, .StoneNumber = 0, .Colour = 1, .Point = 301};
  state.CaptureLogCount = 2;
  RestoreCaptures(board, 5, true);  // frees slot 1, count 1
  Setup({"O.", "X."});
  Play(kBlack, 1, 0, 6);
  EXPECT_EQ(state.CaptureLog[2].Point, 301);  // still there
  EXPECT_EQ(state.CaptureLog[1].Point, 1);    // the new record
  EXPECT_EQ(state.CaptureLogCount, 2);
}

TEST_F(CapturesTest, KeyZeroPutsBackOnlyRealRecords) {
  // Base-diagram captures have key 0, the same as a free slot's.
  state.CaptureLog[1] = {.MoveKey = 0, .StoneNumber = 0, .Colour = 2, .Point = 5};
  state.CaptureLogCount = 1;
  RestoreCaptures(board, 0, true);
  EXPECT_EQ(state.CaptureLogCount, 0);
  EXPECT_EQ(state.Board[5], 2);
  EXPECT_EQ(state.Board[0], 0);
  RestoreCaptures(board, 0, true);
  EXPECT_EQ(state.CaptureLogCount, 0);
}

TEST_F(CapturesTest, NoCaptureCheckFromAnEmptyPointOrAMark) {
  Setup({".O.",
         "O#O",
         ".O."});
  RemoveCaptures(board, 0, PointOf(1, 1));  // a mark: 2 / 3 is no colour
  state.Board[PointOf(1, 0)] = 0;
  RemoveCaptures(board, 0, PointOf(1, 0));  // empty: 2 / 0 would crash
  EXPECT_EQ(Diagram(state, 3, 3), (Lines{"...", "O#O", ".O."}));
  EXPECT_EQ(state.CaptureLogCount, 0);
}

}  // namespace
}  // namespace sorabeku
