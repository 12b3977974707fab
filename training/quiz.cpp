// Offering the candidates of a branch point and judging the answers: green
// and red marks, or in quiz mode neutral marks (or none) and a verdict after
// the click.
#include <cstdlib>

#include "board/board_view.h"
#include "library/move_row.h"
#include "training/training_screen.h"

namespace sorabeku {
namespace {

// A letter or other text of the diagram on an empty point: quiz mode keeps
// it visible, since the question names the points by it.
bool HasLetter(const Cell& cell) {
  return cell.picture == Picture::kNone && !cell.text.empty() &&
         cell.text != " " && cell.text != kCandidateMark;
}

}  // namespace

const char* TrainingScreen::CandidatePrompt(const char* plain) const {
  if (!form_.practice.quiz) return plain;
  return form_.practice.HidesCandidates() && !revealed_ ? kPlayYourMove
                                                        : kChooseACandidate;
}

void TrainingScreen::ShowCandidates() {
  MainState& s = form_.state;
  if (RowsOpen()) reporter_.BranchShown(RowInt(rows(), figure::TNB));
  revealed_ = false;
  if (!form_.practice.HidesCandidates()) DrawCandidateMarks(form_.practice.quiz);
  form_.screen.panels[0] = CandidatePrompt(kClickACircle);
  s.CandidatesShown = kOn;
  form_.PlaySound(2);
}

void TrainingScreen::NoteLetters() {
  letters_.clear();
  for (PointIndex p = 1; p <= kPointCount; ++p) {
    if (HasLetter(form_.screen.cells[p])) letters_[p] = form_.screen.cells[p];
  }
}

void TrainingScreen::DrawQuizCandidate(PointIndex point, WinColour colour) {
  Cell& cell = form_.screen.cells[point];
  const auto letter = letters_.find(point);
  if (!HasLetter(cell) && cell.picture == Picture::kNone && letter != letters_.end()) {
    // A letter cleared with the marks of an earlier answer comes back.
    cell.text = letter->second.text;
    cell.bold = letter->second.bold;
    cell.opaque = letter->second.opaque;
  }
  if (!HasLetter(cell)) cell.text = kCandidateMark;
  cell.colour = colour;
}

void TrainingScreen::DrawCandidateMarks(bool neutral) {
  const MainState& s = form_.state;
  for (int i = 1; i <= kCandidateSlots; ++i) {
    const Candidate& c = s.Candidates[i];
    if (c.Pst <= 0) break;
    if (!IsOnBoard(c.Pst)) continue;
    if (neutral) {
      DrawQuizCandidate(c.Pst, kNeutralText);
      continue;
    }
    Cell& cell = form_.screen.cells[c.Pst];
    cell.text = kCandidateMark;
    cell.colour = c.Col > 0 ? kGreenText : kRedText;
  }
}

void TrainingScreen::PracticeChanged() {
  const MainState& s = form_.state;
  if (s.CandidatesShown != kOn || s.ScreenMode != kTrainingMode) return;
  for (int i = 1; i <= kCandidateSlots && s.Candidates[i].Pst > 0; ++i) {
    const PointIndex p = s.Candidates[i].Pst;
    if (IsOnBoard(p) && form_.screen.cells[p].text == kCandidateMark) {
      form_.screen.cells[p].text = "";
    }
  }
  if (!form_.practice.HidesCandidates() || revealed_) {
    DrawCandidateMarks(form_.practice.quiz);
  }
  form_.screen.panels[0] = CandidatePrompt(kClickACircle);
}

int TrainingScreen::CandidateAt(PointIndex point) const {
  const MainState& s = form_.state;
  for (int i = 1; i <= kCandidateSlots; ++i) {
    if (s.Candidates[i].Pst <= 0) break;
    if (s.Candidates[i].Pst == point) return i;
  }
  return 0;
}

bool TrainingScreen::ChooseCandidate(int n) {
  const MainState& s = form_.state;
  if (s.CandidatesShown != kOn || n < 1 || n > kCandidateSlots) return false;
  if (form_.practice.HidesCandidates() && !revealed_) return false;
  for (int i = 1; i <= n; ++i) {
    if (s.Candidates[i].Pst <= 0) return false;
  }
  const PointIndex point = s.Candidates[n].Pst;
  if (!IsOnBoard(point)) return false;
  AnswerClick(point);
  return true;
}

void TrainingScreen::TrainingClick(PointIndex point, MouseButton button) {
  const MainState& s = form_.state;
  if (form_.practice.quiz && s.CandidatesShown == kOn) {
    if (CandidateAt(point) != 0) return AnswerClick(point);
    const int held = std::abs(s.Board[point]);
    if (form_.practice.HidesCandidates() && held != kBlack && held != kWhite) {
      return Miss(point);
    }
  }
  FreeStone(point, button);
}

void TrainingScreen::Judge(const CandidateList& offered, int chosen, bool right) {
  ScreenModel& screen = form_.screen;
  screen.panels[0] = right ? kRightAnswer : kWrongAnswer;
  form_.PlaySound(right ? kRightSound : kWrongSound);
  screen.cells[offered[chosen].Pst].colour = right ? kGreenText : kRedText;
  if (right) return;
  // The way it should have gone.
  for (int i = 1; i <= kCandidateSlots && offered[i].Pst > 0; ++i) {
    const Candidate& c = offered[i];
    if (i == chosen || c.Col <= 0 || !IsOnBoard(c.Pst)) continue;
    if (screen.cells[c.Pst].picture != Picture::kNone) continue;
    DrawQuizCandidate(c.Pst, kGreenText);
  }
}

void TrainingScreen::Miss(PointIndex) {
  reporter_.Answered(0, false, true);
  form_.screen.panels[0] = kNotRegistered;
  form_.PlaySound(kWrongSound);
  revealed_ = true;
  DrawCandidateMarks(true);
}

}  // namespace sorabeku
