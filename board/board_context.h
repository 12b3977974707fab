// What the board operations work on: the shared state, the screen model and
// the problem rows (null while the program has none).
#pragma once

#include "board/problem_rows.h"
#include "form/main_state.h"
#include "form/screen_model.h"

namespace sorabeku {

struct BoardContext {
  MainState& state;
  ScreenModel& screen;
  ProblemRows* rows;  // not owned; null or closed while no problem is open

  bool RowsOpen() const { return rows != nullptr && rows->IsOpen(); }
};

}  // namespace sorabeku
