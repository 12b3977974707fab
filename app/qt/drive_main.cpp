// sorabeku-drive [--library DIR [--records DIR]] SCRIPT: starts the main
// window on Qt's offscreen platform and runs the script's commands (see
// driver.h). Without --library the window has no problem library; with it,
// DIR is the library (the directory the program knows as "kyozai") and the
// window runs as the program does; with --records the answers are recorded
// in that records directory. Exit status 0 when every command worked, 1 for
// a usage error, a script that cannot be read or a bad line, 2 for a command
// the program cannot take.
#include <QtGlobal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/program_library.h"
#include "app/qt/application.h"
#include "app/qt/driver.h"

namespace {

constexpr const char* kUsage =
    "usage: sorabeku-drive [--library DIR [--records DIR]] SCRIPT\n"
    "       sorabeku-drive --help\n"
    "\n"
    "Runs the ソラベク window headless (Qt's offscreen platform) and the\n"
    "commands of SCRIPT, one a line; \"dump\" prints the state as JSON.\n"
    "\n"
    "  --library DIR  join the screens to the problem library in DIR (the\n"
    "                 directory with the tables figure and mokuji); without\n"
    "                 it the window has no library\n"
    "  --records DIR  record the answers in the learner's records in DIR\n"
    "                 (created on first use) at the time of the command\n"
    "                 \"clock\"; 復習 and 成績 work on them. Without it\n"
    "                 nothing is recorded\n"
    "  --help         print this text\n"
    "\n"
    "Exit status: 0 every command worked; 1 a usage error, an unreadable\n"
    "script or a malformed line; 2 a command the program cannot take.\n";

struct Options {
  bool help = false;
  std::string library;
  std::string records;
  std::string script;
};

// Reads the arguments; an empty optional for a usage error.
std::optional<Options> ParseArguments(int argc, char** argv) {
  Options o;
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--library") {
      if (i + 1 >= argc) return std::nullopt;
      o.library = argv[++i];
    } else if (a.rfind("--library=", 0) == 0) {
      o.library = a.substr(10);
    } else if (a == "--records") {
      if (i + 1 >= argc) return std::nullopt;
      o.records = argv[++i];
    } else if (a.size() > 1 && a[0] == '-') {
      return std::nullopt;
    } else {
      positional.push_back(a);
    }
  }
  if (o.help) return o;
  if (positional.size() != 1) return std::nullopt;
  if (!o.records.empty() && o.library.empty()) return std::nullopt;
  o.script = positional[0];
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sorabeku;
  const std::optional<Options> options = ParseArguments(argc, argv);
  if (!options) {
    std::cerr << kUsage;
    return kDriveScriptError;
  }
  if (options->help) {
    std::cout << kUsage;
    return kDriveOk;
  }
  std::ifstream script(options->script);
  if (!script) {
    std::cerr << "sorabeku-drive: cannot read " << options->script << "\n";
    return kDriveScriptError;
  }
  std::error_code ec;
  if (!options->library.empty() &&
      !std::filesystem::is_directory(options->library, ec)) {
    std::cerr << "sorabeku-drive: " << options->library
              << " is not a directory\n";
    return kDriveScriptError;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  SorabekuApplication app(argc, argv);
  std::optional<ProgramLibrary> library;
  std::optional<DriveSession> session;
  if (options->library.empty()) {
    session.emplace(std::string{}, &std::cout);
  } else {
    library.emplace(options->library);
    session.emplace(*library, std::string{}, &std::cout, options->records);
  }
  app.onError = [&](const std::string& message) {
    session->platform.Error(message);
  };
  const int status = session->RunScript(script, std::cerr);
  session.reset();  // the window and screens before the library
  return status;
}
