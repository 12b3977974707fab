#include "main_form/main_form.h"

#include <exception>

#include "board/board_reset.h"
#include "board/board_view.h"
#include "board/click_map.h"
#include "main_form/clock_text.h"

namespace sorabeku {
namespace {

// Sound files below the program directory, by kind.
constexpr const char* kSoundFiles[] = {"oto/Oto1.wav", "oto/Oto2.wav",
                                       "oto/pipo.wav", "oto/seikai.wav",
                                       "oto/fuseikai.wav"};
constexpr int kSoundKinds = sizeof kSoundFiles / sizeof kSoundFiles[0];

}  // namespace

MainForm::MainForm(const Services& services, std::string programDir)
    : services_(services) {
  state.ProgramDir = std::move(programDir);
  screen.controls = DesignedControls();
}

void MainForm::Create() {
  helpFile_ = state.ProgramDir + "ソラベク.hlp";
  ResetBoard();
  state.ScreenMode = kTrainingMode;
  state.CurrentSection = kCountingSection;
  state.BoardWidth = kBoardSize;
  state.PointCount = kPointCount;
  ShowTrainingLayout(screen);
  services_.timers->SetEnabled(TimerId::kTimer1, true);
  services_.timers->SetEnabled(TimerId::kTimer2, true);
  try {
    OpenContents(0);
  } catch (const NotAvailable&) {
    throw;
  } catch (const std::exception& e) {
    // The window opens all the same, without the names of step 7.
    services_.messages->Error(e.what());
    return;
  }
  screen.control("Label362").text = kTrainingScreenName;
  screen.control("Label364").text = "（出入の部）";
}

void MainForm::RunEvent(const std::function<void()>& event) {
  try {
    event();
  } catch (const NotAvailable&) {
    throw;
  } catch (const std::exception& e) {
    services_.messages->Error(e.what());
  }
}

void MainForm::N8Click() {
  state.ScreenMode = kTrainingMode;
  ShowTrainingLayout(screen);
  screen.control("Label362").text = kTrainingScreenName;
}

void MainForm::N9Click() {
  state.ScreenMode = kEditingMode;
  ShowEditLayout(screen);
  screen.control("Label362").text = kEditingScreenName;
}

void MainForm::SwitchSection(int section, const char* caption) {
  ResetBoard();
  state.CurrentSection = section;
  OpenContents(0);
  screen.control("Label364").text = caption;
}

void MainForm::N3Click() { SwitchSection(kCountingSection, "（出入の部）"); }
void MainForm::N4Click() { SwitchSection(kTesujiSection, "（手筋の部・黒番）"); }
void MainForm::N5Click() { SwitchSection(kInsideSection, "（地中の部・黒番）"); }

void MainForm::N2Click() { services_.help->ShowContents(helpFile_); }

void MainForm::About1Click() { services_.messages->Information(kAboutText); }

void MainForm::Exit1Click() {
  if (!services_.messages->Confirm(kExitQuestion)) return;
  services_.application->Terminate();
}

void MainForm::Timer1Timer() {
  screen.panels[2] = ClockText(services_.clock->Now());
}

void MainForm::Timer2Timer() {
  if (hooks.Timer2Timer) {
    hooks.Timer2Timer(*this);
  } else if (state.AutoPlay == kOff) {
    services_.timers->SetEnabled(TimerId::kTimer2, false);
  } else {
    throw NotAvailable("Timer2: automatic replay is not part of the program yet");
  }
}

void MainForm::Label1MouseDown(int labelLeft, int labelTop, MouseButton button,
                               int scrollX, int scrollY) {
  screen.panels[0].clear();
  const PointIndex point = PointOfLabel(labelLeft, labelTop, scrollX, scrollY);
  if (!IsOnBoard(point)) return;
  const ScreenHooks::BoardClick* handler = &hooks.editingClick;
  if (screen.cells[point].text == kCandidateMark) {
    handler = &hooks.answerClick;
  } else if (state.ScreenMode == kTrainingMode) {
    handler = &hooks.trainingClick;
  }
  if (!*handler) {
    throw NotAvailable("board clicks are not part of the program yet");
  }
  (*handler)(*this, point, button);
}

void MainForm::Dispatch(const ScreenHooks::Handler& handler,
                        const char* control) {
  if (!handler) {
    throw NotAvailable(std::string(control) +
                       ": this control's screen is not part of the program yet");
  }
  handler(*this);
}

void MainForm::OpenContents(int searchIndex) {
  // Without a problem library there is no table of contents to open: the
  // grids stay empty and this does nothing.
  if (hooks.openContents) hooks.openContents(*this, searchIndex);
}

void MainForm::PlaySound(int kind) {
  if (kind >= 0 && kind < kSoundKinds) soundFile_ = state.ProgramDir + kSoundFiles[kind];
  if (soundFile_.empty()) return;
  services_.sound->Play(kind, soundFile_);
}

void MainForm::ResetBoard() { sorabeku::ResetBoard(state, screen); }

}  // namespace sorabeku
