#include "training/training_screen.h"

#include <cstdlib>

#include "board/board_view.h"
#include "board/capture_log.h"
#include "library/move_row.h"
#include "library/sequence_walks.h"

namespace sorabeku {
namespace {

// Detaches DBGrid2 from the problem result for the duration of a walk over
// many rows, and attaches it again however the walk ends.
class GridDetach {
 public:
  GridDetach(ScreenModel& screen, kura::TDataSet& rows)
      : screen_(screen), rows_(rows) {
    screen_.grid2.attached = false;
    rows_.DisableControls();
  }
  ~GridDetach() {
    rows_.EnableControls();
    screen_.grid2.attached = true;
  }
  GridDetach(const GridDetach&) = delete;
  GridDetach& operator=(const GridDetach&) = delete;

 private:
  ScreenModel& screen_;
  kura::TDataSet& rows_;
};

// A row whose display code has two digits is a stone with a text (kind 1)
// or a text mark (kinds 2 and 3); it is always drawn with its own code and
// comment.
bool IsMarkRow(int dix) { return dix >= 10; }

}  // namespace

TrainingScreen::TrainingScreen(MainForm& form, ProblemQueries& queries)
    : form_(form), queries_(queries), problemRows_(queries.KuraQuery2()) {
  form_.problemRows = &problemRows_;
}

void TrainingScreen::Install() {
  ScreenHooks& h = form_.hooks;
  h.CuteButton1Click = [this](MainForm&) { CuteButton1Click(); };
  h.CuteButton5Click = [this](MainForm&) { CuteButton5Click(); };
  h.CuteButton7Click = [this](MainForm&) { CuteButton7Click(); };
  h.CuteButton9Click = [this](MainForm&) { CuteButton9Click(); };
  h.CuteButton10Click = [this](MainForm&) { CuteButton10Click(); };
  h.Timer2Timer = [this](MainForm&) { Timer2Timer(); };
  h.DBGrid1CellClick = [this](MainForm&) { DBGrid1CellClick(); };
  h.DBGrid1DblClick = [this](MainForm&) { DBGrid1CellClick(); };
  h.DBGrid2CellClick = [this](MainForm&) { DBGrid2CellClick(); };
  h.answerClick = [this](MainForm&, PointIndex p, MouseButton) {
    AnswerClick(p);
  };
  h.trainingClick = [this](MainForm&, PointIndex p, MouseButton b) {
    TrainingClick(p, b);
  };
  h.practiceChanged = [this](MainForm&) { PracticeChanged(); };
  h.toggleAutoPlay = [this](MainForm&) { ToggleAutoPlay(); };
  h.chooseCandidate = [this](MainForm&, int n) { ChooseCandidate(n); };
  h.openContents = [this](MainForm& form, int mode) {
    queries_.OpenContents(form.state.CurrentSection, mode);
  };
}

void TrainingScreen::Refuse(const char* text) {
  form_.screen.panels[0] = text;
  form_.PlaySound(0);
}

// Draws the current row at its point. A plain row is drawn with
// `plainCode` and `plainText`; `absolute` writes |COL| into Board instead
// of COL. A mark row keeps its own code and text, does not capture, and a
// mark drawn over whatever lies at the point (COL 0) leaves Board as it
// is, so that a stone under it stays a stone. Rows without a point on the
// board draw nothing.
void TrainingScreen::DrawRow(int moveNumber, int plainCode, bool absolute,
                             const std::string& plainText) {
  const PointIndex p = RowInt(rows(), figure::PST);
  if (!IsOnBoard(p)) return;
  const int col = RowInt(rows(), figure::COL);
  const int dix = RowInt(rows(), figure::DIX);
  MainState& s = form_.state;
  BoardContext board = form_.Board();
  if (IsMarkRow(dix)) {
    if (col != 0) s.Board[p] = absolute ? std::abs(col) : col;
    ShowStone(board, moveNumber, col, p, dix, rows().FieldAsString(figure::CMT));
    return;
  }
  s.Board[p] = absolute ? std::abs(col) : col;
  ShowStone(board, moveNumber, col, p, plainCode, plainText);
}

void TrainingScreen::NoteBaseRow(int tnb, int col, int dix,
                                 const std::string& comment) {
  const int colour = std::abs(col);
  if (IsMarkRow(dix) || (colour != kBlack && colour != kWhite)) return;
  form_.screen.comment.questionTnb = tnb;
  question_ = comment;
}

std::string TrainingScreen::CurrentComment() {
  const CommentLink& link = form_.screen.comment;
  if (link.endTnb > 0 && RowInt(rows(), figure::TNB) == link.endTnb &&
      link.questionTnb > 0) {
    return question_;
  }
  return rows().FieldAsString(figure::CMT);
}

void TrainingScreen::LoadProblem() {
  MainState& s = form_.state;
  form_.ResetBoard();
  form_.screen.comment = CommentLink{};
  question_.clear();
  kura::TDataSet& contents = queries_.KuraQuery1();
  s.CurrentProblem = contents.Active() ? RowInt(contents, mokuji::MNB) : 0;
  queries_.OpenProblemRows(s.CurrentProblem);
  RenumberRows(rows());
  {
    GridDetach detach(form_.screen, rows());
    for (rows().First(); !rows().Eof(); rows().Next()) {
      s.MoveNumber = 0;
      s.ColourToPlay = RowInt(rows(), figure::COL);
      if (RowInt(rows(), figure::PST) == 0) break;
      const int bfr = RowInt(rows(), figure::BFR);
      const int tnb = RowInt(rows(), figure::TNB);
      const std::string comment = rows().FieldAsString(figure::CMT);
      NoteBaseRow(tnb, s.ColourToPlay, RowInt(rows(), figure::DIX), comment);
      DrawRow(0, 0, false, comment);
      if (bfr > 0) {
        form_.screen.comment.endTnb = tnb;
        s.ColourToPlay = kBlack;
        break;
      }
    }
  }
  s.MoveNumber = 0;
  NoteLetters();
  reporter_.ProblemLoaded(s.CurrentProblem);
  revealed_ = false;
  form_.PlaySound(2);
}

// Moves to the row that the current one leads to. The sole continuation of
// an end row is found by its head's PST and BTO, so that it is found also
// when it was not registered directly after its parent; inside a sequence
// it is the next row. False when there is no such row (the problem has no
// rows, or its last row lacks a branch number).
bool TrainingScreen::MoveToFollowingRow(PositionKind kind) {
  if (kind == PositionKind::SingleContinuation) {
    const Candidate& c = form_.state.Candidates[1];
    if (rows().Locate("PST;BTO", {std::int64_t{c.Pst}, std::int64_t{c.Bto}})) {
      return true;
    }
  }
  rows().Next();
  return !rows().Eof();
}

TrainingScreen::Step TrainingScreen::AdvanceOneStep() {
  MainState& s = form_.state;
  if (!RowsOpen()) {  // no problem loaded yet
    Refuse(kNoFurtherMove);
    s.AutoPlay = kOff;
    return Step::kStopped;
  }
  s.MoveNumber = RowInt(rows(), figure::TES);
  s.ColourToPlay = RowInt(rows(), figure::COL);
  const PositionKind kind = ClassifyPosition(rows(), s.Candidates);
  if (kind == PositionKind::LineEnd) {
    Refuse(kNoFurtherMove);
    return Step::kStopped;
  }
  if (kind == PositionKind::Branching) {
    ShowCandidates();
    return Step::kStopped;
  }
  if (!MoveToFollowingRow(kind)) {
    // Nothing to play: the line ends here, and so does automatic replay.
    Refuse(kNoFurtherMove);
    s.AutoPlay = kOff;
    return Step::kStopped;
  }
  s.MoveNumber = RowInt(rows(), figure::TES);
  s.ColourToPlay = RowInt(rows(), figure::COL);
  const int dix = RowInt(rows(), figure::DIX);
  const std::string comment = rows().FieldAsString(figure::CMT);
  DrawRow(s.MoveNumber, dix == 0 ? 2 : dix, false, comment);
  if (ClassifyPosition(rows(), s.Candidates) == PositionKind::LineEnd) {
    reporter_.LineEnded(form_.practice.quiz);
    form_.PlaySound(1);
    form_.screen.panels[0] = kSequenceOver;
    s.AutoPlay = kOff;
    return Step::kPlayed;
  }
  if (comment == kContinueMark) return Step::kPlayedChain;
  form_.PlaySound(0);
  form_.screen.panels[0] = kGoOn;
  return Step::kPlayed;
}

void TrainingScreen::AdvanceOneMove() {
  // A row commented "*" is followed at once by the next; a chain of them
  // plays through in one step. It cannot be longer than the problem has
  // rows unless the rows lead back into themselves, which ends it there.
  int limit = -1;
  for (int played = 1;; ++played) {
    const Step step = AdvanceOneStep();
    if (step == Step::kStopped) return;
    if (step == Step::kPlayed) break;
    if (limit < 0) limit = rows().RecordCount();
    if (played >= limit) {
      form_.PlaySound(0);
      form_.screen.panels[0] = kGoOn;
      break;
    }
  }
  if (form_.state.AutoPlay == kOn) {
    form_.services().timers->SetEnabled(TimerId::kTimer2, true);
  }
}

void TrainingScreen::TakeBackOneMove() {
  MainState& s = form_.state;
  BoardContext board = form_.Board();
  if (s.EditCount > 0) {  // free stones first, newest first
    RestoreCaptures(board, s.EditCount, false);
    const PointIndex p = s.EditMoves[s.EditCount].Pst;
    if (IsOnBoard(p)) {
      ClearPoint(form_.screen, p);
      form_.screen.cells[p].opaque = false;
      s.Board[p] = kEmpty;
    }
    s.EditMoves[s.EditCount] = EditMove{};
    if (s.EditCount <= kEditCommentSlots) s.EditComments[s.EditCount].clear();
    --s.EditCount;
    // Free stones carry no move number (0); taking them back must not
    // count below the base diagram's 0, or the next composed stones would
    // be stored with numbers below 1 that are never shown.
    if (s.MoveNumber > 0) --s.MoveNumber;
    const PointIndex q = s.EditCount > 0 ? s.EditMoves[s.EditCount].Pst : 0;
    if (s.ScreenMode == kTrainingMode && s.MoveNumber > 0 && IsOnBoard(q)) {
      form_.screen.cells[q].text = std::to_string(s.MoveNumber);
    }
    s.LastStonePoint = q;
    if (s.ColourToPlay > 0) s.ColourToPlay = OtherColour(s.ColourToPlay);
    return;
  }
  if (!RowsOpen()) {  // no problem loaded yet
    Refuse(kNothingToTakeBack);
    return;
  }
  s.MoveNumber = RowInt(rows(), figure::TES);
  RestoreCaptures(board, s.MoveNumber, true);
  const PointIndex p = RowInt(rows(), figure::PST);
  if (IsOnBoard(p)) {
    ClearPoint(form_.screen, p);
    s.Board[p] = kEmpty;
  }
  StepBackOneRow(rows());
  form_.screen.panels[1] = CurrentComment();
  const int bfr = RowInt(rows(), figure::BFR);
  if (bfr > 0) {  // back on an end row: its continuations are offered again
    ClassifyPosition(rows(), s.Candidates);
    ShowCandidates();
    rows().Locate("BFR", {std::int64_t{bfr}});
  }
}

// Draws the sequence that ends at the end row with branch number `branch`,
// from its head row. The rows end at an end row, or at the last row when a
// malformed problem's last row carries no branch number.
void TrainingScreen::ReplaySlot(int branch) {
  MainState& s = form_.state;
  if (!rows().Locate("BFR", {std::int64_t{branch}})) return;
  SeekSequenceHead(rows());
  const int limit = rows().RecordCount();
  for (int n = 0; n < limit; ++n) {
    s.MoveNumber = RowInt(rows(), figure::TES);
    s.ColourToPlay = RowInt(rows(), figure::COL);
    const int bfr = RowInt(rows(), figure::BFR);
    const int tnb = RowInt(rows(), figure::TNB);
    DrawRow(s.MoveNumber, 2, true, "");
    if (bfr > 0) return;
    // The capture check reads the rows; come back before moving on.
    rows().Locate("TNB", {std::int64_t{tnb}});
    rows().Next();
    if (rows().Eof()) return;
  }
}

bool TrainingScreen::ReplayCurrentLine() {
  if (!RowsOpen()) return false;
  GridDetach detach(form_.screen, rows());
  const int tnb = RowInt(rows(), figure::TNB);
  const int recNo = rows().RecNo();
  LineSlots slots;
  if (!WalkLine(rows(), slots)) {
    // The board stays as it was, and so does the cursor.
    ReturnToRow(rows(), tnb, recNo);
    return false;
  }
  form_.ResetBoard();
  for (int slot = 1; slot <= kLineSlots; ++slot) {
    if (slots[slot] != 0) ReplaySlot(slots[slot]);
  }
  ReturnToRow(rows(), tnb, recNo);
  form_.state.SequenceReplayed = kOn;
  return true;
}

void TrainingScreen::CuteButton1Click() {
  MainState& s = form_.state;
  form_.screen.panels[0].clear();
  if (!RowsOpen()) {
    Refuse(kNothingToTakeBack);
    return;
  }
  // A refusal changes nothing else: the cursor goes back to the row it was
  // on, so that the next step forward goes on from there and does not
  // replay rows from the head of the sequence.
  const int startTnb = RowInt(rows(), figure::TNB);
  const int startRecNo = rows().RecNo();
  const int startMove = s.MoveNumber;
  auto refuse = [&] {
    ReturnToRow(rows(), startTnb, startRecNo);
    s.MoveNumber = startMove;
    Refuse(kNothingToTakeBack);
  };
  SeekSequenceHead(rows());
  const int parent = RowInt(rows(), figure::BTO);
  // In the base diagram there is no sequence to go back from. Its head row
  // carries the root marker (or, malformed, nothing); a sequence may start
  // with a mark row, whose move number is 0 as well, so the number alone
  // does not tell.
  if (parent == kRootMarker || parent == 0) return refuse();
  // The end row this sequence continues; a head row whose parent is gone
  // has nothing to go back to.
  if (!rows().Locate("BFR", {std::int64_t{parent}})) return refuse();
  const int endMove = RowInt(rows(), figure::TES);
  s.MoveNumber = endMove;
  // The parent's line may be too deep to redraw; then going back is
  // refused rather than reported as done over a board that still shows
  // the sequence.
  if (!ReplayCurrentLine()) return refuse();
  if (endMove != 0) {
    ClassifyPosition(rows(), s.Candidates);
    ShowCandidates();
  } else {
    // Back on the base diagram: its question is what the learner answers.
    form_.screen.panels[1] = CurrentComment();
    AdvanceOneMove();
  }
  form_.screen.panels[0] = kWentBackOneSequence;
  form_.PlaySound(0);
}

void TrainingScreen::CuteButton5Click() {
  MainState& s = form_.state;
  form_.screen.panels[0].clear();
  s.SequenceReplayed = kOn;
  if (s.CandidatesShown == kOn) {
    form_.services().messages->Information(CandidatePrompt(kClickAPoint));
  } else {
    AdvanceOneMove();
  }
}

void TrainingScreen::CuteButton7Click() {
  MainState& s = form_.state;
  form_.screen.panels[0].clear();
  if (s.SequenceReplayed == kOff && s.EditCount == 0) {
    Refuse(kNothingToTakeBack);
  } else {
    TakeBackOneMove();
  }
}

void TrainingScreen::CuteButton9Click() {
  form_.services().timers->SetEnabled(TimerId::kTimer2, false);
  LoadProblem();
}

void TrainingScreen::CuteButton10Click() {
  form_.state.AutoPlay = kOn;
  AdvanceOneMove();
}

void TrainingScreen::ToggleAutoPlay() {
  if (form_.state.AutoPlay == kOn) {
    form_.state.AutoPlay = kOff;
    form_.services().timers->SetEnabled(TimerId::kTimer2, false);
  } else {
    CuteButton10Click();
  }
}

void TrainingScreen::Timer2Timer() {
  if (form_.state.AutoPlay != kOff) {
    AdvanceOneMove();
  } else {
    form_.services().timers->SetEnabled(TimerId::kTimer2, false);
  }
}

}  // namespace sorabeku
