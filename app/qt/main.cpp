// ソラベク: program entry.
#include <QGuiApplication>
#include <QScreen>

#include "app/program_library.h"
#include "app/qt/application.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_services.h"
#include "main_form/main_form.h"

int main(int argc, char** argv) {
  using namespace sorabeku;
  SorabekuApplication app(argc, argv);
  QtServices platform;
  // The data module exists before the window and is destroyed after it:
  // objects here are destroyed in the reverse order of their creation.
  ProgramLibrary library;
  MainForm form(platform.services(), ProgramDirectory());
  library.Install(form);
  TForm2 window(form);
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
