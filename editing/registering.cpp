// Registering and deleting on the editing screen: base diagrams and
// sequences are appended to the problem's rows or removed from them.
#include <cstdlib>

#include "editing/edit_buffer.h"
#include "editing/editing_screen.h"
#include "library/move_row.h"
#include "library/sequence_walks.h"

namespace sorabeku {

void EditingScreen::InTransaction(const std::function<void()>& change) {
  queries_.StartTransaction();
  try {
    change();
  } catch (...) {
    queries_.Rollback();
    throw;
  }
  queries_.Commit();
}

// Each row is stored before the next is begun. The last row's branch
// number is taken while that row is not yet stored, so it never counts
// itself.
void EditingScreen::AppendEntries(int count, int head, bool sequence) {
  MainState& s = form_.state;
  kura::TDataSet& r = rows();
  for (int i = 1; i <= count; ++i) {
    const EditMove& m = s.EditMoves[i];
    r.Append();
    r.SetFieldAsInteger(figure::MNB, s.CurrentProblem);
    r.SetFieldAsInteger(figure::TES, sequence ? m.Tes : 0);
    r.SetFieldAsInteger(figure::COL, m.Col);
    r.SetFieldAsInteger(figure::PST, m.Pst);
    r.SetFieldAsInteger(figure::DIX, m.Dix);
    if (sequence) {
      s.MoveNumber = m.Tes;
      s.ColourToPlay = m.Col;
    }
    if (i == 1) r.SetFieldAsInteger(figure::BTO, head);
    if (i == count) {
      r.SetFieldAsInteger(figure::BFR,
                          NextFreeBranchNumber(queries_, s.CurrentProblem));
    }
    if (!s.EditComments[i].empty()) {
      r.SetFieldAsString(figure::CMT, s.EditComments[i]);
    }
    r.Post();
  }
}

void EditingScreen::CuteButton2Click() {
  if (!RequireProblem()) return;
  MainState& s = form_.state;
  const int n = CountEditMoves(s);
  if (n > 0) InTransaction([&] { AppendEntries(n, kRootMarker, false); });
  ClearEditBuffer(s);
  s.MoveNumber = 0;
  form_.screen.panels[0] = kRegistered;
  form_.PlaySound(0);
}

std::string DeleteProblemQuestion(int problem) {
  return "問題 " + std::to_string(problem) + " を削除しますか？";
}

void EditingScreen::CuteButton3Click() {
  if (!RequireProblem()) return;
  // Nothing brings a deleted problem back: ask first, No by default.
  if (!form_.services().messages->ConfirmDefaultNo(
          DeleteProblemQuestion(form_.state.CurrentProblem))) {
    return;
  }
  InTransaction([&] {
    kura::TDataSet& r = rows();
    r.First();
    // Each delete makes the following row current; the count bounds the
    // loop whatever the result does.
    for (int left = r.RecordCount(); left > 0 && r.RecordCount() > 0; --left) {
      r.Delete();
    }
  });
  form_.ResetBoard();
}

void EditingScreen::CuteButton8Click() {
  if (!RequireProblem()) return;
  MainState& s = form_.state;
  kura::TDataSet& r = rows();
  const int n = CountEditMoves(s);
  SeekSequenceEnd(r);
  const int branch = RowInt(r, figure::BFR);
  if (n > 0 && r.Locate("PST;BTO", {std::int64_t{s.EditMoves[1].Pst},
                                    std::int64_t{branch}})) {
    form_.services().messages->Information(kAlreadyRegistered);
    form_.PlaySound(0);
    return;
  }
  const int moveNumber = s.MoveNumber;
  const int colour = s.ColourToPlay;
  try {
    InTransaction([&] {
      AppendEntries(n, branch, true);
      SeekSequenceHead(r);
      const int head = r.RecNo();
      RenumberRows(r);
      // TNB is now each row's position: go back to the new head row.
      r.Locate("TNB", {std::int64_t{head}});
    });
  } catch (...) {
    // Nothing was stored: the board, the buffer and the cursor stay where
    // the author left them.
    s.MoveNumber = moveNumber;
    s.ColourToPlay = colour;
    if (r.Active()) r.Locate("BFR", {std::int64_t{branch}});
    throw;
  }
  ClearEditBuffer(s);
  if (s.ColourToPlay != 0) s.ColourToPlay = 2 / std::abs(s.ColourToPlay);
  form_.screen.control("Edit1").text.clear();
  form_.screen.panels[0] = kRegistered;
  form_.PlaySound(0);
}

void EditingScreen::CuteButton4Click() {
  if (!RequireProblem()) return;
  if (!form_.services().messages->ConfirmDefaultNo(kDeleteSequenceQuestion)) {
    return;
  }
  InTransaction([&] {
    kura::TDataSet& r = rows();
    SeekSequenceHead(r);
    // Delete from the head row through the end row. A sequence that lacks
    // its end row ends with the last row: a delete there would make the
    // row before current, and the loop must not run backwards into the
    // rows before the sequence.
    while (r.RecordCount() > 0) {
      const int bfr = RowInt(r, figure::BFR);
      const bool last = r.RecNo() >= r.RecordCount();
      r.Delete();
      if (bfr > 0 || last) break;
    }
  });
  // Reload the problem that was edited, even when the contents list has
  // another row selected.
  kura::TDataSet& contents = queries_.KuraQuery1();
  if (contents.Active()) {
    contents.Locate("MNB", {std::int64_t{form_.state.CurrentProblem}});
  }
  training_.LoadProblem();
  form_.PlaySound(0);
  form_.screen.panels[0] = kSequenceDeleted;
}

}  // namespace sorabeku
