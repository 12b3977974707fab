// Test support: the main window driven over a real problem library, as
// the program runs it. The library is a scratch directory with the tables
// of data/kyozai.sql made by the engine's tool, the screens are joined to
// it by ProgramLibrary, and every step goes through the window's widgets.
// SORABEKU_SOURCE_DIR must name the repository; a QApplication must exist.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "app/program_library.h"
#include "app/qt/driver.h"
#include "board/board_view.h"
#include "tools/kura/kura_cli.h"

namespace sorabeku::testing {

using nlohmann::json;

// Runs the engine's tool on `dir` with `script` as its input.
inline void Kura(const std::string& dir, const std::string& script) {
  std::istringstream in(script);
  std::ostringstream out, err;
  ASSERT_EQ(kura::tool::RunKura({dir}, in, out, err, false), 0) << err.str();
}

inline std::string LibraryScript() {
  std::ifstream in(std::string(SORABEKU_SOURCE_DIR) + "/data/kyozai.sql");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Each library gets its own engine session, so that "kyozai" can name a
// new directory in every test.
inline std::string NewSessionName() {
  static std::atomic<int> counter{0};
  return "LibraryWindow" + std::to_string(++counter);
}

class LibraryWindow : public ::testing::Test {
 protected:
  // A library with the tables of data/kyozai.sql and the rows of `rows`,
  // and the window over it.
  void Open(const std::string& rows) {
    const std::string dir = (temp_.path() + "/kyozai").toStdString();
    Kura(dir, LibraryScript());
    if (HasFatalFailure()) return;
    Kura(dir, rows);
    if (HasFatalFailure()) return;
    library_ = std::make_unique<ProgramLibrary>(dir, NewSessionName());
    s = std::make_unique<DriveSession>(*library_, std::string{}, nullptr, recordsDir);
  }
  // The window over a copy of the library directory `library` (as the
  // build makes the sample library), which the test may change freely.
  void OpenCopyOf(const std::string& library) {
    const std::string dir = (temp_.path() + "/kyozai").toStdString();
    std::filesystem::copy(library, dir, std::filesystem::copy_options::recursive);
    library_ = std::make_unique<ProgramLibrary>(dir, NewSessionName());
    s = std::make_unique<DriveSession>(*library_, std::string{}, nullptr, recordsDir);
  }
  // The directory of the library of the last Open or OpenCopyOf.
  std::string LibraryDir() const { return (temp_.path() + "/kyozai").toStdString(); }

  ~LibraryWindow() override {
    s.reset();  // the window and its screens before the library
    library_.reset();
  }

  // Runs `line` and returns the dump after it.
  json Do(const std::string& line) {
    const DriveOutcome outcome = s->Do(line);
    EXPECT_EQ(outcome.status, kDriveOk) << line << ": " << outcome.message;
    return s->Dump();
  }

  // Non-empty Board cells of a dump.
  static std::map<int, int> Stones(const json& d) {
    std::map<int, int> out;
    for (int p = 1; p <= 361; ++p) {
      if (d["board"][p - 1] != 0) out[p] = d["board"][p - 1];
    }
    return out;
  }
  // Labels showing a text other than a single space: point -> text.
  static std::map<int, std::string> Texts(const json& d) {
    std::map<int, std::string> out;
    for (const json& c : d["cells"]) {
      const std::string t = c["text"];
      if (t != " " && !t.empty()) out[c["point"]] = t;
    }
    return out;
  }
  // Points showing "●", with their colour.
  static std::map<int, int> Marks(const json& d) {
    std::map<int, int> out;
    for (const json& c : d["cells"]) {
      if (c["text"] == kCandidateMark) out[c["point"]] = c["color"];
    }
    return out;
  }

  // The library of the last Open.
  ProgramLibrary& library() { return *library_; }

  std::unique_ptr<DriveSession> s;
  // The learner's records directory the window records in; none when
  // empty (set it before Open).
  std::string recordsDir;

 private:
  QTemporaryDir temp_;
  std::unique_ptr<ProgramLibrary> library_;
};

}  // namespace sorabeku::testing
