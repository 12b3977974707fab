// ソラベク: program entry.
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QtGlobal>
#include <cstdio>
#include <ctime>

#include "app/program_library.h"
#include "app/qt/application.h"
#include "app/qt/file_menu.h"
#include "app/qt/main_window.h"
#include "app/qt/practice_actions.h"
#include "app/qt/practice_menu.h"
#include "app/qt/qt_services.h"
#include "main_form/main_form.h"

namespace {

// Without a display Qt would abort; say in one line what to do instead.
bool HaveDisplay() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
         !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// With SORABEKU_EXIT_AFTER_FIRST_PAINT set, the program says
// "sorabeku: window painted" and ends after the window's first paint: the
// package test starts the installed program this way.
class FirstPaintExit final : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      QTimer::singleShot(0, [] {
        std::puts("sorabeku: window painted");
        std::fflush(stdout);
        QCoreApplication::quit();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool seen_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace sorabeku;
  if (!HaveDisplay()) {
    std::fputs("sorabeku: no display (DISPLAY is not set): start it on a desktop, "
               "or under a virtual X server (xvfb-run -a)\n", stderr);
    return 1;
  }
  SorabekuApplication app(argc, argv);
  FirstPaintExit firstPaint;
  if (!qEnvironmentVariableIsEmpty("SORABEKU_EXIT_AFTER_FIRST_PAINT")) {
    app.installEventFilter(&firstPaint);
  }
  QtServices platform;
  // The data module exists before the window and is destroyed after it:
  // objects here are destroyed in the reverse order of their creation.
  ProgramLibrary library;
  MainForm form(platform.services(), ProgramDirectory());
  library.Install(form);
  TForm2 window(form);
  new FileMenu(window, form, library.directory());  // owned by the window
  window.practiceMenu()->UseStore(PracticeMenu::UserStore());
  AttachPractice(window, form, library, progress::DefaultRecordsDirectory(),
                 [] { return static_cast<std::int64_t>(std::time(nullptr)); });
  platform.setWindow(&window);
  QObject::connect(&platform.timer(TimerId::kTimer1), &QTimer::timeout,
                   &window, &TForm2::TickTimer1);
  QObject::connect(&platform.timer(TimerId::kTimer2), &QTimer::timeout,
                   &window, &TForm2::TickTimer2);
  // A library that cannot be opened is reported in an error box, and the
  // window opens all the same.
  window.Run([&] { form.Create(); });

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
  }
  window.show();
  return app.exec();
}
