// The board clicks of the training screen: answering by a click on a
// candidate mark, and free stones.
#include "board/board_view.h"
#include "library/move_row.h"
#include "library/sequence_walks.h"
#include "training/training_screen.h"

namespace sorabeku {

void TrainingScreen::AnswerClick(PointIndex point) {
  MainState& s = form_.state;
  const bool quiz = form_.practice.quiz;
  // In quiz mode the right candidate shown after a wrong choice only shows
  // the way: the learner takes back to try again.
  if (quiz && s.CandidatesShown != kOn) return;
  const int chosen = CandidateAt(point);
  if (chosen == 0 || !RowsOpen() ||
      !rows().Locate("PST;BTO", {std::int64_t{point},
                                 std::int64_t{s.Candidates[chosen].Bto}})) {
    // A step back leaves earlier marks on the board; one whose point is no
    // longer a continuation has nothing behind it. The click removes that
    // mark and changes nothing else, so the marks still on offer stay.
    BoardContext board = form_.Board();
    ClearMarkAt(board, point);
    return;
  }
  BoardContext board = form_.Board();
  ClearMarks(board);
  const CandidateList offered = s.Candidates;
  const bool right = offered[chosen].Col > 0;
  s.MoveNumber = RowInt(rows(), figure::TES);
  s.ColourToPlay = RowInt(rows(), figure::COL);
  const int tnb = RowInt(rows(), figure::TNB);
  const int recNo = rows().RecNo();
  DrawRow(s.MoveNumber, 1, true, rows().FieldAsString(figure::CMT));
  reporter_.Answered(tnb, right, quiz);
  if (quiz) {
    Judge(offered, chosen, right);
  } else {
    form_.PlaySound(0);
  }
  s.CandidatesShown = kOff;
  revealed_ = false;
  const PositionKind kind = ClassifyPosition(rows(), s.Candidates);
  ReturnToRow(rows(), tnb, recNo);
  if (kind != PositionKind::LineEnd) {
    if (s.AutoPlay == kOn) {
      form_.services().timers->SetEnabled(TimerId::kTimer2, true);
    } else if (!quiz) {
      form_.screen.panels[0] = kGoOn;
    }
    return;
  }
  reporter_.LineEnded(quiz);
  // In quiz mode the verdict stays in the status bar and its sound is not
  // cut off by the end's.
  if (!quiz) {
    form_.PlaySound(1);
    form_.screen.panels[0] = kSequenceOver;
  }
  if (s.AutoPlay == kOn) s.AutoPlay = kOff;
}

void TrainingScreen::FreeStone(PointIndex point, MouseButton button) {
  MainState& s = form_.state;
  if (s.Board[point] > 0) return;  // a stone or a text mark lies there
  // Free stones share the edit buffer; when it is full, a click places
  // nothing rather than write past it.
  if (s.EditCount >= kEditMoveSlots) return;
  BoardContext marks = form_.Board();
  ClearMarks(marks);
  ++s.EditCount;
  s.MoveNumber = 0;
  s.ColourToPlay = button == MouseButton::kLeft ? kBlack : kWhite;
  s.Board[point] = s.ColourToPlay;
  s.EditMoves[s.EditCount] = EditMove{0, s.ColourToPlay, point, 0};
  if (s.EditCount <= kEditCommentSlots) s.EditComments[s.EditCount].clear();
  form_.screen.cells[point].opaque = false;
  // A free stone has no comment of its own: the comment shown, the
  // question on the base diagram among them, stays readable.
  const std::string shown = form_.screen.panels[1];
  BoardContext board = form_.Board();
  ShowStone(board, 0, s.ColourToPlay, point, 0, shown);
}

}  // namespace sorabeku
