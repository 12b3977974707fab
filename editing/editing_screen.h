// The editing screen: composing base diagrams and sequences stone by stone
// in the edit buffer, storing them in the problem's rows, deleting them,
// renumbering a problem, grading it and searching the contents by grade.
//
// Every write goes through the live results of the problem library and
// follows the row encoding of library/sequence_walks.h. A change of several
// rows runs inside one transaction of the library: when a write fails
// half-way (a lock held by another program, a disk error) the rows written
// so far are rolled back, the edit buffer stays as it was, and the error
// ends the event, which shows it in the error box.
#pragma once

#include <functional>
#include <string>

#include "library/problem_queries.h"
#include "main_form/main_form.h"
#include "training/training_screen.h"

namespace sorabeku {

// Texts of this screen, exactly as the user sees them.
inline constexpr const char* kDoubleClickContents = "目次をダブルクリックしてください。";
inline constexpr const char* kChooseTextStyle = "文字仕様を選択してください";
inline constexpr const char* kBufferFull = "これ以上は入力できません。";
inline constexpr const char* kRegistered = "登録しました。";
inline constexpr const char* kAlreadyRegistered = "既に登録されています。";
inline constexpr const char* kSequenceDeleted = "指定の手順を削除しました。";
inline constexpr const char* kInvalidNumber = "MNBが不正です。";
inline constexpr const char* kNumberInUse = "MNBは既に使われています。";
inline constexpr const char* kNoMatchingProblem = "該当するテーマ図はありません。";
inline constexpr const char* kDeleteSequenceQuestion = "この手順を削除しますか？";

// The question before a whole problem is deleted.
std::string DeleteProblemQuestion(int problem);
// Texts of Edit1 that compose a numbered stone, and the text mark that
// selects the red bold style.
inline constexpr const char* kNumberText = "番号";
inline constexpr const char* kStarText = "*";

// The message for a renumbering text that is not a whole number: what was
// typed and what to type instead.
std::string NotAnIntegerMessage(const std::string& text);

class EditingScreen {
 public:
  // All three must outlive the screen; deleting a sequence reloads the
  // problem through `training`.
  EditingScreen(MainForm& form, ProblemQueries& queries,
                TrainingScreen& training);

  // Installs this screen's handlers into the form's hooks: the board click
  // on the editing screen, "クリア", the register, delete and renumber
  // buttons and both combo boxes. Install after the training screen: it
  // wraps the contents hook to remember the grade last searched for.
  void Install();

  // A click at `point` on the editing screen on a label without "●": adds
  // a numbered stone (left button black, any other white) or a text mark
  // to the edit buffer and draws it. Refused with a message box when no
  // problem is loaded, when a text needs a style and none is set, or when
  // the buffer is full.
  void ComposeClick(PointIndex point, MouseButton button);

  void CuteButton6Click();   // "クリア": ResetBoard
  void CuteButton2Click();   // "基本図登録": register base diagram
  // "基本図削除": delete every row of the problem, after the user has
  // answered Yes to DeleteProblemQuestion.
  void CuteButton3Click();
  void CuteButton8Click();   // "手順登録": register sequence
  // "手順削除": delete the current sequence, after a Yes to
  // kDeleteSequenceQuestion.
  void CuteButton4Click();
  void CuteButton11Click();  // "番号": renumber the problem from Edit1
  void ComboBox2Change();    // grade of the selected problem
  void ComboBox1Change();    // search the contents by grade

 private:
  kura::TDataSet& rows() { return queries_.KuraQuery2(); }
  // False, after telling the user to pick a problem, while none is loaded.
  bool RequireProblem();
  // Appends entries 1..count of the edit buffer as rows of the current
  // problem; the first gets BTO `head`, the last a fresh branch number.
  // `sequence` copies TES and sets MoveNumber/ColourToPlay per row.
  void AppendEntries(int count, int head, bool sequence);
  // Runs `change` in a transaction; rolls back and rethrows on failure.
  void InTransaction(const std::function<void()>& change);
  bool NumberIsFree(int number);
  bool ContentsHasNumber(int section, int mode, int number);
  void MoveProblemRows(int from, int to);

  MainForm& form_;
  ProblemQueries& queries_;
  TrainingScreen& training_;
  int contentsMode_ = 0;  // grade the contents list was last opened with
};

}  // namespace sorabeku
