// MainForm: the main window's logic without the window. It owns MainState
// and the screen model, carries the named event handlers, and reaches the
// platform only through Services. The Qt window TForm2 and the driver both
// forward their input to these handlers and draw `screen` afterwards.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "board/board_context.h"
#include "board/problem_rows.h"
#include "form/main_state.h"
#include "form/practice_settings.h"
#include "form/screen_model.h"
#include "form/services.h"

namespace sorabeku {

class MainForm;
class GridSource;

enum class MouseButton { kLeft, kRight, kMiddle };

// Thrown by a handler whose screen is not part of the program yet.
class NotAvailable : public std::runtime_error {
 public:
  explicit NotAvailable(const std::string& what) : std::runtime_error(what) {}
};

// Handlers that the training and editing screens and the problem library
// install. An empty one means the program cannot take that event yet.
struct ScreenHooks {
  using Handler = std::function<void(MainForm&)>;
  using BoardClick = std::function<void(MainForm&, PointIndex, MouseButton)>;

  // Board clicks after the click-to-point mapping: on a "●" (either
  // screen), on the training screen, on the editing screen.
  BoardClick answerClick;
  BoardClick trainingClick;
  BoardClick editingClick;

  Handler CuteButton1Click, CuteButton2Click, CuteButton3Click,
      CuteButton4Click, CuteButton5Click, CuteButton6Click, CuteButton7Click,
      CuteButton8Click, CuteButton9Click, CuteButton10Click,
      CuteButton11Click;
  Handler DBGrid1CellClick, DBGrid1DblClick, DBGrid2CellClick;
  Handler ComboBox1Change, ComboBox2Change;
  // Automatic replay; when empty, a tick only switches Timer2 off while
  // AutoPlay is 0.
  Handler Timer2Timer;
  // (Re)opens the table of contents of CurrentSection; 0 = all grades.
  std::function<void(MainForm&, int searchIndex)> openContents;
  // The practice settings changed; may be empty.
  Handler practiceChanged;
  // Keys of the training screen: Space starts and stops automatic replay,
  // 1-9 answer with the n-th candidate. Either may be empty.
  Handler toggleAutoPlay;
  std::function<void(MainForm&, int n)> chooseCandidate;
};

class MainForm {
 public:
  // `programDir` ends in a path delimiter; the services must outlive the
  // form.
  MainForm(const Services& services, std::string programDir);

  // Creation of the window: help file, ResetBoard, training layout,
  // section 1, table of contents, screen and section names. An error while
  // opening the contents is shown in an error box and creation completes.
  void Create();

  // Runs one event: an exception that escapes `event` ends it and is shown
  // in an error box with its message, as the application's default error
  // report does. NotAvailable is passed on to the caller.
  void RunEvent(const std::function<void()>& event);

  // Menu commands.
  void N8Click();      // 道場画面
  void N9Click();      // 編集画面
  void N3Click();      // 出入の部
  void N4Click();      // 手筋の部
  void N5Click();      // 地中の部
  void N2Click();      // オンラインヘルプ
  void About1Click();  // バージョン情報
  void Exit1Click();   // 終了

  // Timers.
  void Timer1Timer();
  void Timer2Timer();

  // A mouse-down on the board label at (labelLeft, labelTop) with the window
  // scrolled by (scrollX, scrollY): empties the first panel, maps the label
  // to its point and dispatches the click to the answer, training or
  // editing handler. Throws NotAvailable when that handler is missing.
  void Label1MouseDown(int labelLeft, int labelTop, MouseButton button,
                       int scrollX = 0, int scrollY = 0);

  // Buttons, grids and combo boxes: run the installed hook, or throw
  // NotAvailable.
  void CuteButton1Click() { Dispatch(hooks.CuteButton1Click, "CuteButton1"); }
  void CuteButton2Click() { Dispatch(hooks.CuteButton2Click, "CuteButton2"); }
  void CuteButton3Click() { Dispatch(hooks.CuteButton3Click, "CuteButton3"); }
  void CuteButton4Click() { Dispatch(hooks.CuteButton4Click, "CuteButton4"); }
  void CuteButton5Click() { Dispatch(hooks.CuteButton5Click, "CuteButton5"); }
  void CuteButton6Click() { Dispatch(hooks.CuteButton6Click, "CuteButton6"); }
  void CuteButton7Click() { Dispatch(hooks.CuteButton7Click, "CuteButton7"); }
  void CuteButton8Click() { Dispatch(hooks.CuteButton8Click, "CuteButton8"); }
  void CuteButton9Click() { Dispatch(hooks.CuteButton9Click, "CuteButton9"); }
  void CuteButton10Click() { Dispatch(hooks.CuteButton10Click, "CuteButton10"); }
  void CuteButton11Click() { Dispatch(hooks.CuteButton11Click, "CuteButton11"); }
  void DBGrid1CellClick() { Dispatch(hooks.DBGrid1CellClick, "DBGrid1"); }
  void DBGrid1DblClick() { Dispatch(hooks.DBGrid1DblClick, "DBGrid1"); }
  void DBGrid2CellClick() { Dispatch(hooks.DBGrid2CellClick, "DBGrid2"); }
  void ComboBox1Change() { Dispatch(hooks.ComboBox1Change, "ComboBox1"); }
  void ComboBox2Change() { Dispatch(hooks.ComboBox2Change, "ComboBox2"); }

  // (Re)opens the table of contents through the installed hook. A form
  // without a problem library has none, and this does nothing: the grids
  // stay empty.
  void OpenContents(int searchIndex);

  // Keys: run the installed hook; without one nothing happens.
  void ToggleAutoPlay() {
    if (hooks.toggleAutoPlay) hooks.toggleAutoPlay(*this);
  }
  void ChooseCandidate(int n) {
    if (hooks.chooseCandidate) hooks.chooseCandidate(*this, n);
  }

  // The menu 練習 changed `practice`: the screen redraws what it offers.
  void PracticeChanged() {
    if (hooks.practiceChanged) hooks.practiceChanged(*this);
  }

  // Plays sound `kind`: 0 "oto/Oto1.wav", 1 "oto/Oto2.wav", 2
  // "oto/pipo.wav", 3 "oto/seikai.wav" (a right answer), 4
  // "oto/fuseikai.wav" (a wrong one) below ProgramDir; any other kind plays
  // the file of the previous call again (nothing before the first).
  void PlaySound(int kind);

  // ResetBoard on this form's state and screen.
  void ResetBoard();

  // The board operations' view of this form.
  BoardContext Board() { return BoardContext{state, screen, problemRows}; }

  const std::string& HelpFile() const { return helpFile_; }
  // The platform services, for the screens' handlers (message boxes, timers).
  const Services& services() const { return services_; }

  MainState state;
  ScreenModel screen;
  PracticeSettings practice;  // the menu 練習
  ScreenHooks hooks;
  // The problem cursor and the two grids' data; null while no problem
  // library provides them. Not owned.
  ProblemRows* problemRows = nullptr;
  GridSource* contentsSource = nullptr;  // DBGrid1
  GridSource* rowsSource = nullptr;      // DBGrid2 and DBEdit1

 private:
  void Dispatch(const ScreenHooks::Handler& handler, const char* control);
  void SwitchSection(int section, const char* caption);

  Services services_;
  std::string helpFile_;
  std::string soundFile_;  // the media player's current file
};

// Texts of the window that tests and the driver compare against.
inline constexpr const char* kProgramTitle = "ソラベク";
inline constexpr const char* kAboutText = "ソラベク\r\nVersion 2.3";
inline constexpr const char* kExitQuestion = "「ソラベク」を終了していいですか？";

}  // namespace sorabeku
