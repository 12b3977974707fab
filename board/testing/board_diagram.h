// Test helper: boards written as ASCII diagrams. Each string is one board
// row from the top, each character one column from the left:
//   '.' empty  'X' black  'O' white  'x' red black (-1)  'o' red white (-2)
//   '#' a text mark (3)
// Spaces are ignored; points outside the diagram are empty.
#pragma once

#include <string>
#include <vector>

#include "board/board_context.h"
#include "form/main_state.h"
#include "form/screen_model.h"

namespace sorabeku::testing {

// Clears the board and writes the diagram into it (Board only).
void SetBoard(MainState& state, const std::vector<std::string>& rows);

// The top-left `columns` x `rows` corner of the board as a diagram.
std::vector<std::string> Diagram(const MainState& state, int columns, int rows);

// The same corner of the pictures: '.' none, 'X' black, 'O' white.
std::vector<std::string> PictureDiagram(const ScreenModel& screen, int columns,
                                        int rows);

// Problem rows held in memory, for the capture check's scan.
class FakeRows : public ProblemRows {
 public:
  struct Row {
    int tes;
    int pst;
    int tnb;
  };
  explicit FakeRows(std::vector<Row> rows) : rows_(std::move(rows)) {}

  bool IsOpen() const override { return true; }
  int Tes() const override { return Valid() ? rows_[current_].tes : 0; }
  int Pst() const override { return Valid() ? rows_[current_].pst : 0; }
  int Tnb() const override { return Valid() ? rows_[current_].tnb : 0; }
  void First() override { current_ = 0; eof_ = rows_.empty(); }
  void Next() override;
  bool Eof() const override { return eof_; }
  bool LocateTnb(int tnb) override;

  int current() const { return current_; }
  // Rows compared by LocateTnb so far.
  int searched() const { return searched_; }
  void set_current(int row) { current_ = row; eof_ = false; }

 private:
  bool Valid() const { return current_ < static_cast<int>(rows_.size()); }
  std::vector<Row> rows_;
  int current_ = 0;
  bool eof_ = false;
  int searched_ = 0;
};

// A fresh state and screen as after ResetBoard, with a board context over
// them (no problem rows).
struct BoardFixture {
  BoardFixture();
  MainState state;
  ScreenModel screen;
  BoardContext board{state, screen, nullptr};
};

}  // namespace sorabeku::testing
