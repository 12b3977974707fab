// kura-sgf end to end: libraries made with the schema script, files
// imported, exported, imported again; refusals that leave the library as it
// was; and a third-party reader, GNU Go, loading what was exported.
#include "tools/kura-sgf/kura_sgf_cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/storage/testing/storage_fixture.h"
#include "tools/kura/kura_cli.h"

namespace sorabeku::tool {
namespace {

namespace fs = std::filesystem;

const std::string kSource = KURA_SGF_SOURCE_DIR;

std::string Read(const std::string& file) {
  std::ifstream f(file, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void Write(const std::string& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Sgf(const std::vector<std::string>& args) {
  std::istringstream in;
  std::ostringstream out, err;
  const int status = RunKuraSgf(args, in, out, err);
  return {status, out.str(), err.str()};
}

class KuraSgfTest : public ::testing::Test {
 protected:
  // A library made as the build makes it: the schema script through kura.
  std::string NewLibrary(const std::string& name) {
    const std::string dir = scratch_.File(name);
    std::ifstream script(kSource + "/data/kyozai.sql");
    std::ostringstream out, err;
    EXPECT_EQ(kura::tool::RunKura({dir}, script, out, err, false), 0) << err.str();
    return dir;
  }
  std::string File(const std::string& name) const { return scratch_.File(name); }

  void ExpectVerified(const std::string& dir) {
    std::istringstream in;
    std::ostringstream out, err;
    EXPECT_EQ(kura::tool::RunKura({"verify", dir}, in, out, err, false), 0) << out.str() << err.str();
  }

  std::string ExportAll(const std::string& dir, const std::string& name) {
    const Outcome r = Sgf({"export", dir, File(name)});
    EXPECT_EQ(r.status, kExitOk) << r.err;
    return Read(File(name));
  }

  kura::testing::ScratchDir scratch_;
  const std::string handWritten_ = kSource + "/library/testdata/hand_written.sgf";
};

TEST_F(KuraSgfTest, ImportExportImportExportIsByteIdentical) {
  const std::string a = NewLibrary("a");
  const Outcome imported = Sgf({"import", a, handWritten_});
  ASSERT_EQ(imported.status, kExitOk) << imported.err;
  EXPECT_NE(imported.out.find("imported problem 1012"), std::string::npos) << imported.out;
  const std::string first = ExportAll(a, "a.sgf");

  const std::string b = NewLibrary("b");
  ASSERT_EQ(Sgf({"import", b, File("a.sgf")}).status, kExitOk);
  EXPECT_EQ(ExportAll(b, "b.sgf"), first);
  ExpectVerified(a);
  ExpectVerified(b);

  // What the hand-written file said is all there.
  for (const char* kept : {"SBN[7]SBG[4]SBD[一線のハネツギ]", "LB[sp:A]C[黒番。どちらが大きいか]",
                           ";B[sr]BM[1]C[後手になる]", "C[ここで\\] 分岐]", ";LB[db:a]",
                           "SBD[地中の手筋]", "AB[aa][ab][ba][bb][ca][cb][da]"}) {
    EXPECT_NE(first.find(kept), std::string::npos) << kept << "\n" << first;
  }
}

TEST_F(KuraSgfTest, ExportChoosesAProblemOrASection) {
  const std::string dir = NewLibrary("lib");
  ASSERT_EQ(Sgf({"import", dir, handWritten_}).status, kExitOk);
  ASSERT_EQ(Sgf({"export", dir, File("s2.sgf"), "--section", "2"}).status, kExitOk);
  const std::string section = Read(File("s2.sgf"));
  EXPECT_NE(section.find("SBN[1012]"), std::string::npos);
  EXPECT_EQ(section.find("SBN[7]"), std::string::npos);
  const Outcome one = Sgf({"export", dir, "-", "--problem", "2003"});
  EXPECT_EQ(one.out.rfind("(;GM[1]FF[4]CA[UTF-8]SZ[19]SBN[2003]", 0), 0u) << one.out;
  EXPECT_EQ(Sgf({"export", dir, "-", "--problem", "5"}).status, kExitFailed);
}

// Every refusal: exit status 1, a message naming the place, and the
// library exactly as before, still passing verification.
TEST_F(KuraSgfTest, RefusedFilesLeaveTheLibraryUnchanged) {
  const std::string dir = NewLibrary("lib");
  ASSERT_EQ(Sgf({"import", dir, handWritten_}).status, kExitOk);
  const std::string before = ExportAll(dir, "before.sgf");
  std::string wide = "(;SBN[30]AB[aa]";
  for (int i = 0; i < 21; ++i) wide += "(;B[" + std::string(1, static_cast<char>('b' + i % 18)) + "s])";
  std::string deep = "(;SBN[31]AB[aa]";
  for (int i = 0; i < 10; ++i) deep += ";B[" + std::string(1, static_cast<char>('b' + i)) + "b]TE[1]";
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"(;SBN[30]AB[aa];B[bb]", "line 1, column 1"},
      {"(;SBN[30]SZ[9]AB[aa])", "SZ[9]"},
      {wide + ")", "21 continuations"},
      {deep + ")", "more than 10 sequences"},
      {"(;SBN[40]AB[aa])(;SBN[7]AB[bb])", "problem number 7 is already in the library"},
      {"(;SBN[2000]AB[aa])", "belongs to no section"},
  };
  for (const auto& c : cases) {
    Write(File("bad.sgf"), c.text);
    const Outcome r = Sgf({"import", dir, File("bad.sgf")});
    EXPECT_EQ(r.status, kExitFailed) << c.text;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.text << " -> " << r.err;
    EXPECT_NE(r.err.find("nothing was imported"), std::string::npos) << r.err;
    EXPECT_EQ(ExportAll(dir, "after.sgf"), before) << c.text;
  }
  ExpectVerified(dir);
}

TEST_F(KuraSgfTest, NumberAndGradeFromTheCommandLine) {
  const std::string dir = NewLibrary("lib");
  Write(File("plain.sgf"), "(;GM[1]SZ[19]AB[dd]AW[de];B[ee]C[黒])(;AB[pp])");
  EXPECT_EQ(Sgf({"import", dir, File("plain.sgf")}).status, kExitFailed);  // no number
  const Outcome r = Sgf({"import", dir, File("plain.sgf"), "--number", "101", "--grade", "9"});
  ASSERT_EQ(r.status, kExitOk) << r.err;
  const std::string text = Sgf({"export", dir, "-"}).out;
  EXPECT_NE(text.find("SBN[101]SBG[9]AB[dd]AW[de]"), std::string::npos) << text;
  EXPECT_NE(text.find("SBN[102]SBG[9]AB[pp]"), std::string::npos) << text;
}

TEST_F(KuraSgfTest, UsageAndMissingThings) {
  EXPECT_EQ(Sgf({"--help"}).status, kExitOk);
  EXPECT_NE(Sgf({"--help"}).out.find("kura-sgf import"), std::string::npos);
  EXPECT_EQ(Sgf({}).status, kExitUsage);
  EXPECT_EQ(Sgf({"copy", "a", "b"}).status, kExitUsage);
  EXPECT_EQ(Sgf({"import", "a", "b", "--grade", "26"}).status, kExitUsage);
  EXPECT_EQ(Sgf({"import", "a", "b", "--problem", "1"}).status, kExitUsage);
  EXPECT_EQ(Sgf({"export", "a", "b", "--problem", "1", "--section", "1"}).status, kExitUsage);
  EXPECT_EQ(Sgf({"export", "a", "b", "--section"}).status, kExitUsage);
  const Outcome missing = Sgf({"export", File("nothere"), File("x.sgf")});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_NE(missing.err.find("is not a directory"), std::string::npos) << missing.err;
  fs::create_directory(File("empty"));
  const Outcome noTables = Sgf({"import", File("empty"), handWritten_});
  EXPECT_EQ(noTables.status, kExitFailed);
  EXPECT_NE(noTables.err.find("Kura Engine Error"), std::string::npos) << noTables.err;
  const Outcome noFile = Sgf({"import", NewLibrary("lib"), File("none.sgf")});
  EXPECT_EQ(noFile.status, kExitFailed);
  EXPECT_NE(noFile.err.find("cannot read"), std::string::npos) << noFile.err;
}

std::string GnuGo() {
  for (const char* candidate : {"/usr/games/gnugo", "/usr/bin/gnugo"}) {
    if (fs::exists(candidate)) return candidate;
  }
  return {};
}

// GNU Go reads each exported problem of library `dir`: "loadsgf" answers
// "=" for a file it could read and play through, warns about a move on an
// occupied point and gives up on text it cannot parse.
void ExpectGnuGoLoadsEach(const std::string& dir, const std::vector<int>& numbers,
                          const kura::testing::ScratchDir& scratch) {
  const std::string gnugo = GnuGo();
  ASSERT_FALSE(gnugo.empty()) << "gnugo is not installed (scripts/install-deps installs it)";
  std::string commands;
  for (int n : numbers) {
    const std::string file = scratch.File("p" + std::to_string(n) + ".sgf");
    ASSERT_EQ(Sgf({"export", dir, file, "--problem", std::to_string(n)}).status, kExitOk);
    commands += "loadsgf " + file + "\nshowboard\n";
  }
  Write(scratch.File("gtp.txt"), commands + "quit\n");
  const std::string command = gnugo + " --mode gtp < " + scratch.File("gtp.txt") + " > " +
                              scratch.File("gtp.out") + " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << Read(scratch.File("gtp.out"));
  const std::string answers = Read(scratch.File("gtp.out"));
  EXPECT_EQ(answers.find('?'), std::string::npos) << answers;
  EXPECT_EQ(answers.find("WARNING"), std::string::npos) << answers;
  std::size_t loaded = 0;
  for (const char* colour : {"= black", "= white"}) {
    for (std::size_t at = answers.find(colour); at != std::string::npos; at = answers.find(colour, at + 1)) {
      ++loaded;
    }
  }
  EXPECT_EQ(loaded, numbers.size()) << answers;
}

// CI installs gnugo; its absence is a failure.
TEST_F(KuraSgfTest, GnuGoLoadsEveryExportedProblem) {
  const std::string dir = NewLibrary("lib");
  ASSERT_EQ(Sgf({"import", dir, handWritten_}).status, kExitOk);
  ExpectGnuGoLoadsEach(dir, {7, 1012, 2003}, scratch_);
}

// The problems that ship with the program: each imports without a note,
// the library exports the same bytes after another trip, and GNU Go reads
// every one of them.
TEST_F(KuraSgfTest, SampleProblemsRoundTripAndLoadInGnuGo) {
  const std::string dir = NewLibrary("lib");
  std::vector<std::string> files;
  if (fs::is_directory(kSource + "/data/problems")) {
    for (const auto& e : fs::directory_iterator(kSource + "/data/problems")) {
      if (e.path().extension() == ".sgf") files.push_back(e.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  for (const std::string& f : files) {
    const Outcome r = Sgf({"import", dir, f});
    EXPECT_EQ(r.status, kExitOk) << f << ": " << r.err;
    EXPECT_EQ(r.err, "") << f;
  }
  const std::string first = ExportAll(dir, "all.sgf");
  const std::string again = NewLibrary("again");
  ASSERT_EQ(Sgf({"import", again, File("all.sgf")}).status, kExitOk);
  EXPECT_EQ(ExportAll(again, "again.sgf"), first);
  ExpectVerified(dir);
  std::vector<int> numbers;
  for (std::size_t at = first.find("SBN["); at != std::string::npos; at = first.find("SBN[", at + 1)) {
    numbers.push_back(std::stoi(first.substr(at + 4)));
  }
  EXPECT_EQ(numbers.size(), files.size());
  if (!numbers.empty()) ExpectGnuGoLoadsEach(dir, numbers, scratch_);
}

}  // namespace
}  // namespace sorabeku::tool
