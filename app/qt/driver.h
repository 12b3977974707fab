// sorabeku-drive: runs the main window headless from a script, one command
// per line, and prints dumps of its state. Scenario tests of the screens
// use it, in-process through DriveSession or as a program.
//
// Commands (UTF-8; '#' starts a comment; rows and points from 1, combo
// items from 0):
//   menu CAPTION | button CAPTION | board POINT [left|right]
//   grid1 ROW | grid1-dbl ROW | grid2 ROW
//   grid1-set ROW COLUMN VALUE | grid2-set ROW COLUMN VALUE
//   grid1-append MNB SIZE CMT | grid1-delete ROW | grid2-delete ROW
//   comment TEXT | edit1 [TEXT]
//   combo1 INDEX | combo2 INDEX | tick timer1|timer2 [N]
//   answer yes|no | clock YYYY-MM-DD hh:mm | dump | screenshot FILE.png
//   choose-file PATH   (the path the next file dialog answers with)
//   open-menu CAPTION  (drawn by the next screenshot, which closes it)
//   seiseki dbl ROW | seiseki escape | seiseki screenshot FILE
//                      (the window 成績, see progress_drive.h)
//   key NAME           (a key press, e.g. key Right, key Shift+Left, key 2,
//                      to the widget with the focus)
//   focus board|grid1|grid2|comment  (gives that widget the focus)
//   scale F            (the window resized for scale F, 1 to 4)
//
// "answer" gives the answer to the next question box (the exit question,
// a delete); without it the answer is Yes. "dump" prints the screen model
// (app/qt/screen_dump.h) and, under "drawn", what the window draws of its
// texts: for "grid1" and "grid2" (when shown) their "headers", row
// "indicators" and "cells" (rows of columns), each {"text", "display"}
// where "display" is the text as drawn, cut with "…" when it does not
// fit; the section "caption" the same way. "commentField" is the text of
// the comment field, "scale" the window's scale.
#pragma once

#include <iosfwd>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "main_form/main_form.h"
#include "form/recording_services.h"
#include "app/qt/main_window.h"
#include "library/problem_queries.h"

namespace sorabeku {

class LibraryScreens;
class ProgramLibrary;

// Exit statuses of the driver.
inline constexpr int kDriveOk = 0;
inline constexpr int kDriveScriptError = 1;  // unreadable script, bad line
inline constexpr int kDriveCannotTake = 2;   // the program cannot take it

struct DriveOutcome {
  int status = kDriveOk;
  std::string message;    // why the command failed
  bool finished = false;  // the program was ended ("終了" answered Yes)
};

class Driver {
 public:
  // All three must outlive the driver; dumps go to `out`.
  Driver(TForm2& window, MainForm& form, RecordingServices& platform,
         std::ostream& out);

  // Runs one script line.
  DriveOutcome Execute(const std::string& line);

  // Runs a whole script, stopping at the first failure, which is reported
  // on `err` with its line number. Returns the exit status.
  int RunScript(std::istream& in, std::ostream& err);

 private:
  DriveOutcome Dispatch(const std::string& command, const std::string& rest);
  DriveOutcome Menu(const std::string& caption);
  DriveOutcome Button(const std::string& caption);
  DriveOutcome Board(const std::string& args);
  DriveOutcome GridClick(int grid, const std::string& args, bool dbl);
  DriveOutcome GridSet(int grid, const std::string& args);
  DriveOutcome GridAppend(const std::string& args);
  // Deletes a row as Ctrl+Delete does; "answer" decides the confirmation.
  DriveOutcome GridDelete(int grid, const std::string& args);
  DriveOutcome Comment(const std::string& text);
  DriveOutcome Edit1(const std::string& text);
  DriveOutcome Combo(int combo, const std::string& args);
  DriveOutcome Tick(const std::string& args);
  DriveOutcome Clock(const std::string& args);
  DriveOutcome Screenshot(const std::string& file);
  DriveOutcome ChooseFile(const std::string& path);
  DriveOutcome OpenMenu(const std::string& caption);
  DriveOutcome Key(const std::string& name);
  DriveOutcome Scale(const std::string& args);
  DriveOutcome Focus(const std::string& name);
  // The outcome of an event that went to a handler: kDriveCannotTake when
  // the handler's screen is missing.
  DriveOutcome AfterEvent();

  TForm2& window_;
  MainForm& form_;
  RecordingServices& platform_;
  std::ostream& out_;
  std::string notAvailable_;
};

// A started window with recording services and a driver, for tests. A
// QApplication must exist.
class DriveSession {
 public:
  // The window alone, without a problem library: the controls of the two
  // screens cannot be taken. `programDir` ends in '/'; by default the
  // directory of the executable. Dumps go to `out` when given (Dump() then
  // reads nothing).
  explicit DriveSession(std::string programDir = {}, std::ostream* out = nullptr);
  // The same over the problem library `library` (which must outlive the
  // session): the training and editing screens are joined to it, as the
  // program joins them to its data module.
  explicit DriveSession(ProblemQueries& library, std::string programDir = {},
                        std::ostream* out = nullptr);
  // The same as the program runs: `library` (which must outlive the
  // session) installs its screens, and a missing library directory is
  // reported in the error box of the window's creation. With `recordsDir`
  // the answers are recorded there at the time of the recording clock
  // (platform.now) and the menu 練習 has 復習 and 成績; without it nothing
  // is recorded.
  explicit DriveSession(ProgramLibrary& library, std::string programDir = {},
                        std::ostream* out = nullptr, std::string recordsDir = {});
  ~DriveSession();

  // Runs one command; the outcome says whether it worked.
  DriveOutcome Do(const std::string& line);
  // Runs "dump" and returns its JSON.
  nlohmann::json Dump();
  // Runs a script (Driver::RunScript).
  int RunScript(std::istream& in, std::ostream& err);

  RecordingServices platform;
  MainForm form;
  std::unique_ptr<TForm2> window;

 private:
  void Start(std::ostream* out);

  std::unique_ptr<LibraryScreens> screens_;
  std::unique_ptr<std::ostringstream> out_;
  std::unique_ptr<Driver> driver_;
};

}  // namespace sorabeku
