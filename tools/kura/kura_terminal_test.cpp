// The kura program as a user meets it: on a pseudo-terminal (line editing,
// history kept between sessions) and behind pipes (scripts, streaming of
// results). Every wait is bounded; a child that does not answer in time is
// killed and the test fails.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/storage/testing/storage_fixture.h"
#include "tools/kura/kura_cli.h"

namespace kura::tool {
namespace {

using kura::testing::ScratchDir;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = std::chrono::seconds(20);

// Reads from `fd` into `seen` until it holds `text` after `from`; false
// when the time is up or the other side closed first.
bool ReadUntil(int fd, std::string& seen, const std::string& text, std::size_t from = 0) {
  const auto deadline = Clock::now() + kPatience;
  while (seen.find(text, from) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    seen.append(buf, static_cast<std::size_t>(n));
  }
  return true;
}

// Waits for the child; kills it when it does not end in time.
int Reap(pid_t pid) {
  const auto deadline = Clock::now() + kPatience;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    usleep(10000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A kura shell on a pseudo-terminal, with its own state directory.
class TerminalSession {
 public:
  TerminalSession(const std::string& db, const std::string& stateDir) {
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    if (pid_ == 0) {
      setenv("XDG_STATE_HOME", stateDir.c_str(), 1);
      setenv("TERM", "xterm", 1);
      unsetenv("LC_ALL");
      unsetenv("LC_CTYPE");
      setenv("LANG", "C", 1);  // texts are UTF-8 whatever the locale says
      unsetenv("EDITRC");
      setenv("HOME", stateDir.c_str(), 1);  // no ~/.editrc of the user
      execl(KURA_PROGRAM, KURA_PROGRAM, db.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~TerminalSession() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  bool Started() const { return pid_ > 0; }
  void Type(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }
  // Waits for `text` in what the terminal shows after the last Expect.
  bool Expect(const std::string& text) {
    if (!ReadUntil(master_, seen_, text, mark_)) return false;
    mark_ = seen_.find(text, mark_) + text.size();
    return true;
  }
  int Quit() {
    Type(".quit\r");
    std::string rest;
    ReadUntil(master_, rest, "\x01never");  // drain until the child closes
    reaped_ = true;
    return Reap(pid_);
  }
  const std::string& Seen() const { return seen_; }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  bool reaped_ = false;
  std::string seen_;
  std::size_t mark_ = 0;
};

constexpr char kUp[] = "\x1b[A";
constexpr char kLeft[] = "\x1b[D";

TEST(KuraTerminalTest, HistoryRecallEditingAndHistoryKeptBetweenSessions) {
  ScratchDir dir;
  const std::string db = dir.File("db");
  const std::string state = dir.File("state");
  std::filesystem::create_directory(state);
  {
    TerminalSession t(db, state);
    ASSERT_TRUE(t.Started());
    ASSERT_TRUE(t.Expect("kura> ")) << t.Seen();
    t.Type("CREATE TABLE t (a INTEGER, c VARCHAR(10)) LOCALE JAPANESE;\r");
    ASSERT_TRUE(t.Expect("kura> ")) << t.Seen();
    t.Type("INSERT INTO t VALUES (41, '手筋');\r");
    ASSERT_TRUE(t.Expect("1 row")) << t.Seen();
    // The up arrow brings the INSERT back; Enter runs it again.
    t.Type(std::string(kUp) + "\r");
    ASSERT_TRUE(t.Expect("1 row")) << t.Seen();
    // Editing: "selct" mended by moving left and typing the missing letter.
    t.Type("selct c from t;");
    for (int i = 0; i < 12; ++i) t.Type(kLeft);
    t.Type("e\r");
    ASSERT_TRUE(t.Expect("(2 rows)")) << t.Seen();
    EXPECT_NE(t.Seen().find("\n手筋\r\n手筋\r\n"), std::string::npos) << t.Seen();
    EXPECT_EQ(t.Seen().find("Error"), std::string::npos) << t.Seen();
    EXPECT_EQ(t.Quit(), 0);
  }
  const std::string history = state + "/kura/history";
  ASSERT_TRUE(std::filesystem::exists(history));
  std::ifstream in(history);
  const std::string kept{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_NE(kept.find("INSERT"), std::string::npos) << kept;
  {
    // A new session recalls the last session's lines: ".quit", then the
    // SELECT before it.
    TerminalSession t(db, state);
    ASSERT_TRUE(t.Expect("kura> ")) << t.Seen();
    t.Type(std::string(kUp) + kUp + "\r");
    ASSERT_TRUE(t.Expect("(2 rows)")) << t.Seen();
    EXPECT_EQ(t.Quit(), 0);
  }
}

// Runs the program with `args`, `input` on a pipe to its standard input,
// and returns its status, standard output and standard error.
struct Piped {
  int status;
  std::string out;
  std::string err;
};

Piped RunPiped(const std::vector<std::string>& args, const std::string& input) {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {-1, "", "pipe"};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    std::vector<char*> argv{const_cast<char*>(KURA_PROGRAM)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(KURA_PROGRAM, argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) input.size();
  close(in[1]);
  std::string o, e;
  ReadUntil(out[0], o, "\x01never");
  ReadUntil(err[0], e, "\x01never");
  close(out[0]);
  close(err[0]);
  return {Reap(pid), o, e};
}

TEST(KuraPipeTest, ScriptsOnStandardInputKeepStatusesAndPositions) {
  ScratchDir dir;
  const std::string db = dir.File("db");
  const Piped made = RunPiped({db}, "CREATE TABLE t (a INTEGER);\nINSERT INTO t VALUES (1);\n");
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.out, "");  // no prompt, no report on a pipe
  const Piped bad = RunPiped({db, "--tsv"}, "select a from t;\n\nselect a\n  frm t;\nselect 2 from t;\n");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out, "a\n1\n");
  EXPECT_NE(bad.err.find("  at line 4, column 7:\n    frm t;\n        ^\n"), std::string::npos) << bad.err;
  const Piped typo = RunPiped({dir.File("typo"), "-c", ".tables"}, "");
  EXPECT_EQ(typo.status, 1);
  EXPECT_EQ(typo.err, "kura: no database at " + dir.File("typo") + "\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("typo")));
}

// The first rows of a SELECT reach the reader before the last row is read:
// while the shell waits for the reader, a row appended to the table's end
// still comes out at the end of the result.
TEST(KuraPipeTest, RowsAreWrittenAsTheyAreRead) {
  ScratchDir dir;
  const std::string db = dir.File("db");
  std::ostringstream csv;
  csv << "n,filler\n";
  constexpr int kRows = 20000;
  for (int i = 1; i <= kRows; ++i) csv << i << ",row number " << i << " of the streaming table\n";
  {
    std::ofstream(dir.File("rows.csv")) << csv.str();
  }
  std::istringstream none;
  std::ostringstream o, e;
  ASSERT_EQ(RunKura({db, "-c", "CREATE TABLE g (n INTEGER, filler VARCHAR(60));\n.import " +
                                   dir.File("rows.csv") + " g"},
                    none, o, e, false), 0) << e.str();

  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    execl(KURA_PROGRAM, KURA_PROGRAM, db.c_str(), "--tsv", "-c", "select * from g;",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string seen;
  ASSERT_TRUE(ReadUntil(out[0], seen, "\n1\trow number 1 ")) << seen;
  // The shell now waits for this reader with at most a pipe's worth of rows
  // written (some 64 KB of the table's 900).
  std::istringstream none2;
  std::ostringstream o2, e2;
  ASSERT_EQ(RunKura({db, "-c", "INSERT INTO g VALUES (-7, 'appended');"}, none2, o2, e2, false), 0)
      << e2.str();
  ReadUntil(out[0], seen, "\x01never");
  close(out[0]);
  EXPECT_EQ(Reap(pid), 0);
  const std::string tail = "\n" + std::to_string(kRows) + "\trow number " + std::to_string(kRows) +
                           " of the streaming table\n-7\tappended\n";
  EXPECT_EQ(seen.size() >= tail.size() ? seen.substr(seen.size() - tail.size()) : seen, tail);
}

}  // namespace
}  // namespace kura::tool
