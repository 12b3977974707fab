// The training screen: loading a problem, stepping forwards and backwards
// through its registered sequences (also automatically, one move a tick),
// offering the continuations of an end row as green or red "●" marks,
// answering by clicking a mark, and free stones of the user's own.
//
// Every operation works on the problem cursor (the current row of
// KuraQuery2) with the walks of library/sequence_walks.h, draws into the
// form's screen model and reports through the status panels, the sounds
// and the message box. Nothing here catches an engine error: it ends the
// event, as every error does.
#pragma once

#include <map>

#include "library/data_set_problem_rows.h"
#include "library/problem_queries.h"
#include "library/sequence_walks.h"
#include "main_form/main_form.h"
#include "training/answer_events.h"
#include "training/answer_reporter.h"

namespace sorabeku {

// Texts of this screen, exactly as the user sees them.
inline constexpr const char* kNoFurtherMove = "もう進めません。";
inline constexpr const char* kClickACircle = "緑丸か赤丸の一つをクリックしてください。";
inline constexpr const char* kGoOn = "進めてください。";
inline constexpr const char* kSequenceOver = "登録手順は終了です。";
inline constexpr const char* kClickAPoint = "緑点か赤点をクリックしてください。";
inline constexpr const char* kNothingToTakeBack = "もう戻せません。";
inline constexpr const char* kWentBackOneSequence = "１手順戻しました。";
// Quiz mode (出題モード).
inline constexpr const char* kRightAnswer = "正解です。";
inline constexpr const char* kWrongAnswer = "不正解です。";
inline constexpr const char* kNotRegistered = "その手は登録されていません。";
inline constexpr const char* kChooseACandidate = "候補の一つをクリックしてください。";
inline constexpr const char* kPlayYourMove = "次の一手をクリックしてください。";
// Candidates offered in quiz mode: neither green nor red.
inline constexpr WinColour kNeutralText = 16744448;  // 0xFF8000, a clear blue
// Sounds of a judged answer (MainForm::PlaySound).
inline constexpr int kRightSound = 3;
inline constexpr int kWrongSound = 4;

class TrainingScreen {
 public:
  // Both must outlive the screen. Makes the problem result the form's
  // problem rows (the capture check reads them).
  TrainingScreen(MainForm& form, ProblemQueries& queries);

  // Installs the handlers of this screen into the form's hooks: the step
  // buttons, the grids' clicks, Timer2 and the board clicks on a mark and
  // on the training screen.
  void Install();

  // The receiver of answer events (see answer_events.h); null for none.
  // Must outlive the screen or be reset first.
  void SetAnswerListener(AnswerListener* listener) {
    reporter_.SetListener(listener);
  }
  // The clock that answers are timed by (a steady clock by default).
  void SetAnswerClock(MillisClock clock) { reporter_.SetClock(std::move(clock)); }

  // Loads the problem of the current contents row onto an empty board and
  // leaves the cursor on the base diagram's end row, black to play.
  void LoadProblem();
  // Plays the next move of the line, shows the continuations, or reports
  // the end.
  void AdvanceOneMove();
  // Draws Candidates as marks and prompts for a click: green and red, or in
  // quiz mode one neutral colour over the letters on their points, or with
  // hidden candidates nothing.
  void ShowCandidates();
  // Answers with the n-th candidate (from 1, in row order) while candidates
  // are offered and shown; false when there is no such candidate.
  bool ChooseCandidate(int n);
  // The practice settings changed: candidates on offer are drawn anew.
  void PracticeChanged();
  // Takes back the newest free stone, or the current row's stone.
  void TakeBackOneMove();
  // Redraws the board with the line of the current row up to the end of its
  // sequence and returns the cursor to that row. False, with the board
  // unchanged, when the line cannot be walked (a sequence whose parent is
  // gone, or a line deeper than 10 sequences).
  bool ReplayCurrentLine();

  // Event handlers.
  void CuteButton1Click();   // "１手順戻す": one sequence back
  void CuteButton5Click();   // "1手進む"
  void CuteButton7Click();   // "1手戻す"
  void CuteButton9Click();   // "元に戻す"
  void CuteButton10Click();  // "手順表示": automatic replay
  // Space: starts automatic replay, or stops it while it runs.
  void ToggleAutoPlay();
  void Timer2Timer();
  void DBGrid1CellClick() { LoadProblem(); }
  void DBGrid2CellClick() { ReplayCurrentLine(); }
  // A click on a label showing "●" (either screen).
  void AnswerClick(PointIndex point);
  // A click on a label without "●" on the training screen: in quiz mode on
  // an offered candidate's point an answer (or, with hidden candidates, a
  // miss elsewhere); otherwise a free stone, black for the left button,
  // white for any other.
  void TrainingClick(PointIndex point, MouseButton button);
  void FreeStone(PointIndex point, MouseButton button);

 private:
  // What one step of AdvanceOneMove did.
  enum class Step { kStopped, kPlayed, kPlayedChain };

  kura::TDataSet& rows() { return queries_.KuraQuery2(); }
  bool RowsOpen() { return rows().Active(); }
  Step AdvanceOneStep();
  // The offered candidate at `point` (1..), 0 for none.
  int CandidateAt(PointIndex point) const;
  // Draws the candidates' marks; `neutral` for quiz mode.
  void DrawCandidateMarks(bool neutral);
  // Quiz mode after a click: the verdict in the status bar, its sound, the
  // chosen stone's number in its true colour and, after a wrong choice, the
  // right candidates in green.
  void Judge(const CandidateList& offered, int chosen, bool right);
  // What the learner is asked at a branch point: `plain` outside quiz mode.
  const char* CandidatePrompt(const char* plain) const;
  // Keeps the letters the base diagram drew (letters_).
  void NoteLetters();
  // Draws the candidate at `point` in quiz mode: its letter, else "●".
  void DrawQuizCandidate(PointIndex point, WinColour colour);
  // A click with hidden candidates on a point that is no continuation.
  void Miss(PointIndex point);
  bool MoveToFollowingRow(PositionKind kind);
  void DrawRow(int moveNumber, int plainCode, bool absolute,
               const std::string& plainText);
  void ReplaySlot(int branch);
  void Refuse(const char* text);
  // Notes, while the base diagram is loaded, the row of its last stone:
  // its comment is the problem's question.
  void NoteBaseRow(int tnb, int col, int dix, const std::string& comment);
  // The comment the second panel shows for the current row: the question
  // on the base diagram's end row, else the row's own comment.
  std::string CurrentComment();

  MainForm& form_;
  ProblemQueries& queries_;
  DataSetProblemRows problemRows_;
  std::string question_;  // the loaded problem's question
  AnswerReporter reporter_;
  // Hidden candidates revealed by a miss at the branch point on offer.
  bool revealed_ = false;
  // The letters of the base diagram on empty points, as drawn at loading:
  // quiz mode shows them again on candidates whose mark was cleared.
  std::map<PointIndex, Cell> letters_;
};

}  // namespace sorabeku
