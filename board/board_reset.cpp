#include "board/board_reset.h"

#include <initializer_list>

namespace sorabeku {
namespace {

constexpr std::initializer_list<const char*> kEditOnlyControls = {
    "CuteButton2", "CuteButton3", "CuteButton4", "CuteButton8",
    "CuteButton11", "Edit1", "DBGrid2"};

void SetEditOnlyVisible(ScreenModel& screen, bool visible) {
  for (const char* name : kEditOnlyControls) {
    screen.control(name).visible = visible;
  }
}

}  // namespace

void ResetBoard(MainState& state, ScreenModel& screen) {
  state.MoveNumber = 0;
  state.ColourToPlay = kBlack;
  state.EditCount = 0;
  state.CaptureLogCount = 0;
  state.CandidatesShown = kOff;
  state.SequenceReplayed = kOff;

  screen.panels[0].clear();
  screen.panels[1].clear();
  for (PointIndex n = 1; n <= kPointCount; ++n) {
    Cell& cell = screen.cells[n];
    cell.opaque = false;
    cell.text = " ";
    cell.picture = Picture::kNone;
    state.Board[n] = kEmpty;
  }
  for (EditMove& move : state.EditMoves) {
    move.Tes = 0;
    move.Col = 0;
    move.Pst = 0;
  }
  state.CaptureLog.fill(CaptureRecord{});
  screen.control("ComboBox1").itemIndex = -1;
  screen.control("ComboBox2").itemIndex = -1;
}

void ShowTrainingLayout(ScreenModel& screen) {
  SetEditOnlyVisible(screen, false);
  Control& contents = screen.control("DBGrid1");
  contents.top = 30;
  contents.height = 310;
  screen.control("ComboBox1").top = 408;
  Control& grade = screen.control("ComboBox2");
  grade.visible = true;
  grade.top = 408;
  // The comment field takes the height free between the contents list
  // and the combo boxes: three lines of a wrapped comment.
  screen.control("Label363").top = 344;
  Control& comment = screen.control("DBEdit1");
  comment.top = 357;
  comment.height = 49;
  screen.control("Label362").text = kTrainingScreenName;
}

void ShowEditLayout(ScreenModel& screen) {
  SetEditOnlyVisible(screen, true);
  Control& contents = screen.control("DBGrid1");
  contents.top = 32;
  contents.height = 105;
  Control& rows = screen.control("DBGrid2");
  // The problem rows give up a row's height to the comment field, which
  // shows three lines of a wrapped comment above the search row.
  rows.top = 150;
  rows.height = 120;
  screen.control("ComboBox1").top = 344;
  Control& grade = screen.control("ComboBox2");
  grade.visible = true;
  grade.top = 272;
  screen.control("Label363").top = 278;
  Control& comment = screen.control("DBEdit1");
  comment.top = 293;
  comment.height = 49;
  screen.control("Label362").text = kEditingScreenName;
}

}  // namespace sorabeku
