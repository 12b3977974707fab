// Composing on the editing screen: the click that adds an entry to the edit
// buffer, and "クリア".
#include "board/board_view.h"
#include "editing/edit_buffer.h"
#include "editing/editing_screen.h"

namespace sorabeku {

EditingScreen::EditingScreen(MainForm& form, ProblemQueries& queries,
                             TrainingScreen& training)
    : form_(form), queries_(queries), training_(training) {}

void EditingScreen::Install() {
  ScreenHooks& h = form_.hooks;
  h.editingClick = [this](MainForm&, PointIndex p, MouseButton b) {
    ComposeClick(p, b);
  };
  h.CuteButton2Click = [this](MainForm&) { CuteButton2Click(); };
  h.CuteButton3Click = [this](MainForm&) { CuteButton3Click(); };
  h.CuteButton4Click = [this](MainForm&) { CuteButton4Click(); };
  h.CuteButton6Click = [this](MainForm&) { CuteButton6Click(); };
  h.CuteButton8Click = [this](MainForm&) { CuteButton8Click(); };
  h.CuteButton11Click = [this](MainForm&) { CuteButton11Click(); };
  h.ComboBox1Change = [this](MainForm&) { ComboBox1Change(); };
  h.ComboBox2Change = [this](MainForm&) { ComboBox2Change(); };
  // Renumbering reopens the contents list as the user last saw it.
  auto open = std::move(h.openContents);
  h.openContents = [this, open](MainForm& form, int mode) {
    contentsMode_ = mode;
    if (open) open(form, mode);
  };
}

bool EditingScreen::RequireProblem() {
  if (form_.state.CurrentProblem != 0 && rows().Active()) return true;
  form_.services().messages->Information(kDoubleClickContents);
  form_.PlaySound(0);
  return false;
}

void EditingScreen::ComposeClick(PointIndex point, MouseButton button) {
  MainState& s = form_.state;
  if (s.CurrentProblem == 0) {
    form_.services().messages->Information(kDoubleClickContents);
    form_.PlaySound(0);
    return;
  }
  // Every entry needs a comment slot; a full buffer takes nothing more.
  if (s.EditCount >= kEditBufferLimit) {
    form_.services().messages->Information(kBufferFull);
    return;
  }
  const std::string text = form_.screen.control("Edit1").text;
  if (text == kStarText) {
    s.MarkKind = 2;
    s.MarkColour = 3;
  }
  const bool stone = text == kNumberText || text.empty();
  if (stone) {
    s.MarkKind = 0;
    s.MarkColour = 0;
  } else if (s.MarkKind == 0 || s.MarkColour == 0) {
    form_.services().messages->Information(kChooseTextStyle);
    return;
  }
  ++s.EditCount;
  const int code = s.MarkKind * 10 + s.MarkColour;
  if (stone) {
    s.ColourToPlay = button == MouseButton::kLeft ? kBlack : kWhite;
    s.Board[point] = s.ColourToPlay;
    ++s.MoveNumber;
    s.EditMoves[s.EditCount] = EditMove{s.MoveNumber, s.ColourToPlay, point, 0};
    s.EditComments[s.EditCount].clear();
  } else {
    s.ColourToPlay = kMarkCode;
    s.MoveNumber = 0;
    s.EditMoves[s.EditCount] = EditMove{0, kMarkCode, point, code};
    s.EditComments[s.EditCount] = text;
  }
  // A numbered stone is drawn plain, without its number; the number is
  // stored and shows when the stored sequence is stepped through.
  BoardContext board = form_.Board();
  ShowStone(board, s.MoveNumber, s.ColourToPlay, point, stone ? 0 : code, text);
}

void EditingScreen::CuteButton6Click() { form_.ResetBoard(); }

}  // namespace sorabeku
