#include "board/testing/board_diagram.h"

#include "board/board_reset.h"

namespace sorabeku::testing {
namespace {

int CodeOf(char c) {
  switch (c) {
    case 'X': return 1;
    case 'O': return 2;
    case 'x': return -1;
    case 'o': return -2;
    case '#': return 3;
    default: return 0;
  }
}

char CharOf(int code) {
  switch (code) {
    case 1: return 'X';
    case 2: return 'O';
    case -1: return 'x';
    case -2: return 'o';
    case 3: return '#';
    default: return '.';
  }
}

}  // namespace

void SetBoard(MainState& state, const std::vector<std::string>& rows) {
  state.Board.fill(0);
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    int column = 0;
    for (char c : rows[r]) {
      if (c == ' ') continue;
      state.Board[PointOf(column++, r)] = CodeOf(c);
    }
  }
}

std::vector<std::string> Diagram(const MainState& state, int columns,
                                 int rows) {
  std::vector<std::string> out;
  for (int r = 0; r < rows; ++r) {
    std::string line;
    for (int c = 0; c < columns; ++c) line += CharOf(state.Board[PointOf(c, r)]);
    out.push_back(line);
  }
  return out;
}

std::vector<std::string> PictureDiagram(const ScreenModel& screen, int columns,
                                        int rows) {
  std::vector<std::string> out;
  for (int r = 0; r < rows; ++r) {
    std::string line;
    for (int c = 0; c < columns; ++c) {
      const Picture p = screen.cells[PointOf(c, r)].picture;
      line += p == Picture::kBlack ? 'X' : p == Picture::kWhite ? 'O' : '.';
    }
    out.push_back(line);
  }
  return out;
}

void FakeRows::Next() {
  if (current_ + 1 < static_cast<int>(rows_.size())) {
    ++current_;
  } else {
    eof_ = true;
  }
}

bool FakeRows::LocateTnb(int tnb) {
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
    ++searched_;
    if (rows_[i].tnb == tnb) {
      set_current(i);
      return true;
    }
  }
  return false;
}

BoardFixture::BoardFixture() {
  screen.controls = DesignedControls();
  ResetBoard(state, screen);
}

}  // namespace sorabeku::testing
