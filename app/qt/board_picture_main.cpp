// sorabeku-board-picture FILE.png: draws a sample position with the board
// widget (stones, move numbers, candidate marks and a text mark) for the
// help file's picture of the board.
#include <QApplication>
#include <QPixmap>
#include <QtGlobal>
#include <iostream>

#include "app/qt/application.h"
#include "app/qt/board_widget.h"
#include "board/board_reset.h"
#include "board/board_view.h"

namespace {

using namespace sorabeku;

void Place(BoardContext& board, int number, int colour, int column, int row,
           int displayCode) {
  const PointIndex p = PointOf(column, row);
  board.state.Board[p] = colour;
  ShowStone(board, number, colour, p, displayCode, "");
}

void Mark(ScreenModel& screen, int column, int row, WinColour colour) {
  Cell& cell = screen.cells[PointOf(column, row)];
  cell.text = kCandidateMark;
  cell.colour = colour;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: sorabeku-board-picture FILE.png\n";
    return 1;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  SorabekuApplication app(argc, argv);
  MainState state;
  ScreenModel screen;
  screen.controls = DesignedControls();
  ResetBoard(state, screen);
  BoardContext board{state, screen, nullptr};

  // A base diagram on the lower right side, then three numbered moves.
  const int base[][3] = {{1, 13, 15}, {1, 14, 14}, {1, 15, 13}, {1, 16, 13},
                         {1, 12, 16}, {1, 12, 17}, {2, 14, 16}, {2, 15, 15},
                         {2, 16, 14}, {2, 17, 14}, {2, 13, 17}, {2, 14, 18}};
  for (const auto& s : base) Place(board, 0, s[0], s[1], s[2], 0);
  Place(board, 1, 1, 15, 14, 2);
  Place(board, 2, 2, 14, 15, 2);
  Place(board, 3, 1, 13, 16, 2);
  Mark(screen, 13, 18, kGreenText);
  Mark(screen, 16, 15, kRedText);
  ShowStone(board, 0, kMarkCode, PointOf(17, 15), 23, "*");

  StonePictures stones(QString::fromStdString(ProgramDirectory()));
  BoardWidget widget(screen, stones, nullptr);
  if (!widget.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::cerr << "sorabeku-board-picture: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
