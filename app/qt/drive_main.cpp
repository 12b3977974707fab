// sorabeku-drive SCRIPT: starts the main window on Qt's offscreen platform
// and runs the script's commands (see driver.h). Exit status 0 when every
// command worked, 1 for a script that cannot be read or a bad line, 2 for a
// command the program cannot take.
#include <QtGlobal>
#include <fstream>
#include <iostream>

#include "app/qt/application.h"
#include "app/qt/driver.h"

int main(int argc, char** argv) {
  using namespace sorabeku;
  if (argc != 2) {
    std::cerr << "usage: sorabeku-drive SCRIPT\n";
    return kDriveScriptError;
  }
  std::ifstream script(argv[1]);
  if (!script) {
    std::cerr << "sorabeku-drive: cannot read " << argv[1] << "\n";
    return kDriveScriptError;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  SorabekuApplication app(argc, argv);
  DriveSession session({}, &std::cout);
  app.onError = [&](const std::string& message) {
    session.platform.Error(message);
  };
  return session.RunScript(script, std::cerr);
}
