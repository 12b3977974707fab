// A child process appends rows through the engine and is killed with
// SIGKILL at a random moment, many times. After each kill `kura verify`
// either passes or names the damage, `kura repair` makes it pass, and every
// row whose insert had returned before the kill is there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <set>
#include <sstream>

#include "engine/sql/query_execution.h"
#include "engine/sql/table_catalog.h"
#include "engine/storage/record_values.h"
#include "engine/storage/testing/storage_fixture.h"
#include "tools/kura/kura_cli.h"

namespace kura::tool {
namespace {

using kura::testing::ScratchDir;

int Kura(const std::vector<std::string>& args, std::string* out = nullptr) {
  std::istringstream in;
  std::ostringstream o, e;
  const int status = RunKura(args, in, o, e, false);
  if (out) *out = o.str() + e.str();
  return status;
}

// The child: appends rows (MNB = 1, TNB = n) for n = first, first + 1, ...
// and reports each n on `fd` once its INSERT has returned. Never returns.
[[noreturn]] void AppendForever(const std::string& dir, int first, int fd) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory directory(session, dir);
  sql::TableCatalog catalog(directory);
  for (int n = first;; ++n) {
    sql::TQueryExecution q(session, catalog);
    q.Prepare("INSERT INTO figure (MNB, TNB, CMT) VALUES (1, ?, 'a comment')");
    q.Execute({sql::Value::Integer(n)});
    if (::write(fd, &n, sizeof n) != sizeof n) _exit(2);
  }
}

std::set<std::int64_t> StoredTnbs(const std::string& dir) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory directory(session, dir);
  TDataTable* t = directory.OpenTable("figure", {.readOnly = true});
  std::set<std::int64_t> tnbs;
  for (std::int32_t n = 1; n <= t->Data().RecordCount(); ++n) {
    const TRecord* r = t->ReadRecord(n);
    if (r->Data()[0] == kRecordActive) tnbs.insert(ReadFieldValue(r->Data(), t->Data().Field(7)).integer);
  }
  directory.CloseTable(t);
  return tnbs;
}

TEST(KuraCrashTest, KilledAppendsAreFoundAndRepaired) {
  ScratchDir scratch;
  const std::string db = scratch.Path();
  ASSERT_EQ(Kura({db, "-c",
                  "CREATE TABLE figure (MNB INTEGER, TES INTEGER, COL INTEGER, PST INTEGER, "
                  "BFR INTEGER, BTO INTEGER, TNB INTEGER, CMT VARCHAR(100), DIX INTEGER);\n"
                  "CREATE INDEX FIGURE_MNB ON figure (MNB);\n"
                  "CREATE UNIQUE INDEX FIGURE_TNB ON figure (TNB);"}),
            0);
  std::mt19937 random(20261209);
  std::set<std::int64_t> returned;
  int next = 1, damaged = 0;
  constexpr int kRounds = 25;
  for (int round = 0; round < kRounds; ++round) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipeFds[0]);
      AppendForever(db, next, pipeFds[1]);
    }
    ::close(pipeFds[1]);
    // The kill falls at a random moment after the first append has returned,
    // however slow the build (sanitizers) makes the child's start.
    int n = 0;
    if (::read(pipeFds[0], &n, sizeof n) == sizeof n) returned.insert(n);
    ::usleep(static_cast<useconds_t>(std::uniform_int_distribution<int>(0, 30000)(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    while (::read(pipeFds[0], &n, sizeof n) == sizeof n) returned.insert(n);
    ::close(pipeFds[0]);

    std::string report;
    const int verified = Kura({"verify", db, "figure"}, &report);
    if (verified != 0) {
      ++damaged;
      // The damage is named, not just "failed".
      EXPECT_GT(report.size(), std::string("figure: \n").size()) << report;
      ASSERT_EQ(Kura({"repair", db, "figure"}, &report), 0) << report;
      ASSERT_EQ(Kura({"verify", db, "figure"}, &report), 0) << report;
    }
    const std::set<std::int64_t> stored = StoredTnbs(db);
    for (std::int64_t r : returned) ASSERT_TRUE(stored.count(r)) << "row " << r << " lost in round " << round;
    next = stored.empty() ? next : static_cast<int>(*stored.rbegin()) + 1;
  }
  RecordProperty("damaged_rounds", damaged);
  EXPECT_GT(returned.size(), 0u);
}

}  // namespace
}  // namespace kura::tool
