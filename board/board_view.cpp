#include "board/board_view.h"

#include <cstdlib>

#include "board/capture_log.h"

namespace sorabeku {
namespace {

// Stone picture and number colour of a plain stone: white on black, black
// on white.
void DrawPlainStone(Cell& cell, StoneCode stoneCode) {
  const bool black = std::abs(stoneCode) == kBlack;
  cell.picture = black ? Picture::kBlack : Picture::kWhite;
  cell.colour = black ? kWhiteText : kBlackText;
}

void ShowPlainStone(BoardContext& board, int moveNumber, StoneCode stoneCode,
                    PointIndex point, int displayCode,
                    const std::string& text) {
  MainState& state = board.state;
  Cell& cell = board.screen.cells[point];
  DrawPlainStone(cell, stoneCode);
  if (stoneCode < 0) cell.colour = kRedText;
  if (displayCode >= 1 && moveNumber > 0) cell.text = std::to_string(moveNumber);
  if (displayCode == 1 && IsOnBoard(state.LastStonePoint)) {
    board.screen.cells[state.LastStonePoint].text = "";
  }
  state.LastStonePoint = point;
  board.screen.panels[1] = text;
  RemoveCaptures(board, moveNumber, point);
}

void ShowMark(Cell& cell, StoneCode stoneCode, int displayCode,
              const std::string& text) {
  const int tens = displayCode / 10;
  const int units = displayCode % 10;
  if (tens == 1) DrawPlainStone(cell, stoneCode);
  cell.text = text;
  switch (units) {
    case 1: cell.colour = stoneCode == kBlack ? kWhiteText : kBlackText; break;
    case 2: cell.colour = kGreenText; break;
    case 3: cell.colour = kRedText; break;
    default: break;
  }
  if (tens >= 2) cell.bold = true;
  cell.opaque = tens == 2;
}

}  // namespace

void ShowStone(BoardContext& board, int moveNumber, StoneCode stoneCode,
               PointIndex point, int displayCode, const std::string& text) {
  if (!IsOnBoard(point)) return;  // rows without a point draw nothing
  board.screen.cells[point].bold = false;
  if (displayCode <= 2) {
    ShowPlainStone(board, moveNumber, stoneCode, point, displayCode, text);
  } else {
    ShowMark(board.screen.cells[point], stoneCode, displayCode, text);
  }
}

void ClearMarks(BoardContext& board) {
  for (PointIndex n = 1; n <= kPointCount; ++n) {
    const Cell& cell = board.screen.cells[n];
    if (cell.opaque || cell.text == kCandidateMark) ClearMarkAt(board, n);
  }
}

void ClearMarkAt(BoardContext& board, PointIndex point) {
  if (!IsOnBoard(point)) return;
  Cell& cell = board.screen.cells[point];
  cell.opaque = false;
  cell.text = "";
  // A mark that is not drawn any more leaves nothing on the point; a stone
  // under a mark keeps its own value.
  if (std::abs(board.state.Board[point]) == kMarkCode) {
    board.state.Board[point] = kEmpty;
  }
}

void ClearPoint(ScreenModel& screen, PointIndex point) {
  screen.cells[point].picture = Picture::kNone;
  screen.cells[point].text = "";
}

void DrawStonePicture(ScreenModel& screen, PointIndex point, int colour) {
  screen.cells[point].picture =
      colour == kBlack ? Picture::kBlack : Picture::kWhite;
}

}  // namespace sorabeku
