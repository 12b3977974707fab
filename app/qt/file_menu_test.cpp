// The menu ファイル through the driver, over a real library as the program
// runs it: SGF files read into the library, sections written out and read
// back with `kura-sgf`, broken files refused without a change.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/qt/testing/library_window.h"
#include "app/qt/testing/qt_environment.h"
#include "app/sgf_file_commands.h"
#include "tools/kura-sgf/kura_sgf_cli.h"

namespace sorabeku {
namespace {

using nlohmann::json;

const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment("file_menu_test"));

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string SampleProblem(const std::string& name) {
  return ReadFile(std::string(SORABEKU_SOURCE_DIR) + "/data/problems/" + name + ".sgf");
}

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun KuraSgf(const std::vector<std::string>& args) {
  std::istringstream in;
  std::ostringstream out, err;
  const int status = tool::RunKuraSgf(args, in, out, err);
  return {status, out.str(), err.str()};
}

class FileMenuWindow : public testing::LibraryWindow {
 protected:
  // A library holding the sample problems `names`, and the window over it.
  void OpenWith(const std::vector<std::string>& names) {
    Open("");
    if (HasFatalFailure()) return;
    for (const std::string& name : names) {
      const std::string file = Write(name + ".sgf", SampleProblem(name));
      const ToolRun r = KuraSgf({"import", library().directory(), file});
      ASSERT_EQ(r.status, 0) << r.err;
    }
    Do("menu 出入の部");  // contents read again after the tool's changes
  }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = (files_.path() + "/").toStdString() + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::string Path(const std::string& name) { return (files_.path() + "/").toStdString() + name; }
  // Every problem of the library, as kura-sgf writes them.
  std::string Everything() {
    const ToolRun r = KuraSgf({"export", library().directory(), "-"});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }
  // Chooses `path` in the next file dialog, then runs `menu` (a caption).
  json ChooseAndRun(const std::string& path, const std::string& menu) {
    EXPECT_EQ(s->Do("choose-file " + path).status, kDriveOk);
    return Do("menu " + menu);
  }

  QTemporaryDir files_;
};

TEST_F(FileMenuWindow, ImportedProblemsAppearInTheContents) {
  OpenWith({});
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(s->Dump()["grid1"]["rows"], 0);
  const std::string three = Write(
      "three.sgf", SampleProblem("1001") + SampleProblem("1002") + SampleProblem("1003"));
  const json d = ChooseAndRun(three, "SGFを読み込む…");
  ASSERT_EQ(d["messages"].size(), 1u) << d["messages"];
  EXPECT_EQ(d["messages"][0], "SGFから3問を読み込みました（1001、1002、1003）。");
  // The contents switched to the section of the problems.
  EXPECT_EQ(d["state"]["CurrentSection"], 2);
  EXPECT_EQ(d["grid1"]["rows"], 3);
  // The first of them loads as any other problem.
  const json loaded = Do("grid1 1");
  EXPECT_EQ(loaded["state"]["CurrentProblem"], 1001);
  EXPECT_GT(loaded["grid2"]["rows"], 0);
}

TEST_F(FileMenuWindow, ExportedSectionReadsBackWithKuraSgf) {
  OpenWith({"0001", "0002", "1001"});
  ASSERT_FALSE(HasFatalFailure());
  const std::string out = Path("section.sgf");
  const json d = ChooseAndRun(out, "この部の問題…");  // 出入の部
  ASSERT_EQ(d["messages"].size(), 1u) << d["messages"];
  EXPECT_EQ(d["messages"][0], "2問をSGFに書き出しました: " + out);
  const std::string written = ReadFile(out);
  EXPECT_EQ(written, KuraSgf({"export", library().directory(), "-", "--section", "1"}).out);

  // Read back into an empty library by the tool, and written again by it:
  // the same bytes, so nothing was lost on the way.
  const std::string other = Path("other");
  testing::Kura(other, testing::LibraryScript());
  ASSERT_FALSE(HasFatalFailure());
  const ToolRun imported = KuraSgf({"import", other, out});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.out.find("imported problem 1 "), 0u) << imported.out;
  EXPECT_NE(imported.out.find("imported problem 2 "), std::string::npos) << imported.out;
  EXPECT_EQ(KuraSgf({"export", other, "-"}).out, written);
}

TEST_F(FileMenuWindow, BrokenFileIsRefusedWithItsPlaceAndNothingChanges) {
  OpenWith({"0001"});
  ASSERT_FALSE(HasFatalFailure());
  const std::string before = Everything();
  // A good problem first, then a tree that is cut off: the file is taken
  // whole or not at all.
  const std::string broken =
      Write("broken.sgf", SampleProblem("0002") + "(;GM[1]FF[4]SZ[19]SBN[3]\n;B[aa]C[cut");
  json d = ChooseAndRun(broken, "SGFを読み込む…");
  ASSERT_EQ(d["messages"].size(), 1u) << d["messages"];
  const std::string message = d["messages"][0];
  EXPECT_EQ(message.rfind(std::string(kSgfRefused) + "\n" + broken + ": line ", 0), 0u) << message;
  EXPECT_NE(message.find("column"), std::string::npos) << message;
  EXPECT_EQ(d["grid1"]["rows"], 1);
  EXPECT_EQ(Everything(), before);

  // A number already in use is refused the same way.
  d = ChooseAndRun(Write("again.sgf", SampleProblem("0001")), "SGFを読み込む…");
  ASSERT_EQ(d["messages"].size(), 1u);
  EXPECT_NE(std::string(d["messages"][0]).find("already in the library"), std::string::npos);
  EXPECT_EQ(Everything(), before);
}

TEST_F(FileMenuWindow, ThisProblemNeedsOneAndACancelledDialogDoesNothing) {
  OpenWith({"0001", "0002"});
  ASSERT_FALSE(HasFatalFailure());
  const std::string out = Path("one.sgf");
  json d = ChooseAndRun(out, "この問題…");
  ASSERT_EQ(d["messages"].size(), 1u);
  EXPECT_EQ(d["messages"][0], kSgfNoProblem);
  EXPECT_FALSE(std::filesystem::exists(out));

  // No path given: the dialog is cancelled and nothing happens.
  d = Do("menu すべての問題…");
  EXPECT_TRUE(d["messages"].empty());

  Do("grid1 2");
  d = ChooseAndRun(out, "この問題…");
  ASSERT_EQ(d["messages"].size(), 1u);
  EXPECT_EQ(d["messages"][0], "1問をSGFに書き出しました: " + out);
  EXPECT_EQ(ReadFile(out), KuraSgf({"export", library().directory(), "-", "--problem", "2"}).out);

  // A file that cannot be written is reported.
  d = ChooseAndRun(Path("no/such/dir/x.sgf"), "すべての問題…");
  ASSERT_EQ(d["messages"].size(), 1u);
  EXPECT_NE(std::string(d["messages"][0]).find("cannot write"), std::string::npos);
}

// The progress display: begun once, told of every problem, and ended also
// when the file is refused.
struct RecordingProgress final : ProgressService {
  void Begin(const std::string& text) override { calls.push_back("begin " + text); }
  void Step(int done, int total) override {
    calls.push_back(std::to_string(done) + "/" + std::to_string(total));
  }
  void End() override { calls.push_back("end"); }
  std::vector<std::string> calls;
};

TEST_F(FileMenuWindow, ProgressFollowsEveryProblemAndEndsOnRefusal) {
  OpenWith({});
  ASSERT_FALSE(HasFatalFailure());
  RecordingProgress progress;
  SgfFileCommands commands(s->form, library().directory(), progress);
  commands.Import(Write("two.sgf", SampleProblem("2001") + SampleProblem("2002")));
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"begin SGFを読み込んでいます…", "0/2",
                                                      "1/2", "2/2", "end"}));
  progress.calls.clear();
  commands.Export(ExportScope::kAll, Path("all.sgf"));
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"begin SGFに書き出しています…", "1/2",
                                                      "2/2", "end"}));
  progress.calls.clear();
  commands.Import(Write("cut.sgf", "(;GM[1]FF[4]SZ[19]SBN[3];B[aa]"));
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"begin SGFを読み込んでいます…", "end"}));
}

}  // namespace
}  // namespace sorabeku
