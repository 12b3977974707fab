// Killed writers inside transactions. A child process commits transactions
// over two tables, as registering a sequence does: a "register" inserts a
// group of rows into `fig` (long index keys, some with memo values) and one
// row into `mok` naming the group and its size; a "remove" deletes a group
// from both. It is killed with SIGKILL at random moments, many of them
// inside COMMIT, where the held changes are written table after table.
//
// Most kills are aimed inside COMMIT (a random pause after the child said it
// calls COMMIT). After each kill a new process opens the tables, which
// rolls back the journal of a commit cut short; then both tables must pass
// verify without repair, every transaction whose COMMIT returned must be
// there whole, and the one in flight whole or not at all: none may be
// left half-applied.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/sql/query_execution.h"
#include "engine/sql/table_catalog.h"
#include "engine/storage/commit_journal.h"
#include "engine/storage/field_values.h"
#include "engine/storage/record_values.h"
#include "engine/storage/table_repair.h"
#include "engine/storage/table_verify.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

int TransactionKills() {
  if (const char* s = std::getenv("KURA_TRANSACTION_KILLS")) return std::max(1, std::atoi(s));
#ifdef SORABEKU_SANITIZE_BUILD
  return 25;
#else
  return 120;
#endif
}

// A group's rows follow from its number.
int GroupSize(std::int32_t group) { return 2 + group % 6; }
std::string KeyOf(std::int32_t group, int row) {
  return std::to_string(row % 5) + "-" + std::to_string(group) + std::string(90, 'k');
}
std::string MemoOf(std::int32_t group, int row) {
  if ((group + row) % 3 != 0) return "";
  return std::string(static_cast<std::size_t>(50 + 40 * row), static_cast<char>('a' + group % 26));
}

// What the child tells the parent about one transaction: 'R' register or
// 'X' remove of `group`, at stage 0 (started), 1 (COMMIT called) or 2
// (COMMIT returned).
struct Message {
  char kind;
  int stage;
  std::int32_t group;
};

void Run(TDataSession& session, sql::TableCatalog& catalog, const std::string& text,
         const std::vector<sql::Value>& params = {}) {
  sql::TQueryExecution q(session, catalog);
  q.Prepare(text);
  q.Execute(params);
}

void Register(TDataSession& session, sql::TableCatalog& catalog, std::int32_t group) {
  for (int row = 1; row <= GroupSize(group); ++row) {
    const std::string memo = MemoOf(group, row);
    Run(session, catalog, "INSERT INTO fig VALUES (?, ?, ?, ?)",
        {sql::Value::Integer(group), sql::Value::Integer(row), sql::Value::String(KeyOf(group, row)),
         memo.empty() ? sql::Value::Null() : sql::Value::String(memo)});
  }
  Run(session, catalog, "INSERT INTO mok VALUES (?, ?)",
      {sql::Value::Integer(group), sql::Value::Integer(GroupSize(group))});
}

void Remove(TDataSession& session, sql::TableCatalog& catalog, std::int32_t group) {
  Run(session, catalog, "DELETE FROM fig WHERE G = ?", {sql::Value::Integer(group)});
  Run(session, catalog, "DELETE FROM mok WHERE G = ?", {sql::Value::Integer(group)});
}

// The child: registers and removes groups in transactions for ever.
[[noreturn]] void CommitForever(const std::string& dir, std::vector<std::int32_t> groups,
                                std::int32_t nextGroup, unsigned seed, int fd) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory directory(session, dir);
  sql::TableCatalog catalog(directory);
  std::mt19937 random(seed);
  auto tell = [fd](Message m) {
    if (::write(fd, &m, sizeof m) != sizeof m) ::_exit(2);
  };
  for (;;) {
    const bool remove = groups.size() > 30 && std::uniform_int_distribution<int>(0, 99)(random) < 40;
    std::int32_t group = nextGroup;
    std::size_t at = 0;
    if (remove) {
      at = std::uniform_int_distribution<std::size_t>(0, groups.size() - 1)(random);
      group = groups[at];
    }
    const char kind = remove ? 'X' : 'R';
    tell({kind, 0, group});
    Run(session, catalog, "START TRANSACTION");
    if (remove) Remove(session, catalog, group); else Register(session, catalog, group);
    tell({kind, 1, group});
    Run(session, catalog, "COMMIT");
    tell({kind, 2, group});
    if (remove) {
      groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
      groups.push_back(group);
      ++nextGroup;
    }
  }
}

// A group as stored: its rows of `fig` (row number -> key and memo) and
// the size its `mok` row gives (0: no row).
struct StoredGroup {
  std::map<int, std::pair<std::string, std::string>> rows;
  std::int32_t size = 0;
};

std::map<std::int32_t, StoredGroup> StoredGroups(const std::string& db) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory dir(session, db);
  std::map<std::int32_t, StoredGroup> groups;
  TDataTable* fig = dir.OpenTable("fig", {.readOnly = true});
  const TDataFile& f = fig->Data();
  for (std::int32_t n = 1; n <= f.RecordCount(); ++n) {
    const TRecord* r = fig->ReadRecord(n);
    if (r->Data()[0] != kRecordActive) continue;
    const auto group = static_cast<std::int32_t>(ReadFieldValue(r->Data(), f.Field(1)).integer);
    const auto row = static_cast<int>(ReadFieldValue(r->Data(), f.Field(2)).integer);
    const BlobRef ref = GetBlobRef(r->Data(), f.Field(4));
    groups[group].rows[row] = {ReadFieldValue(r->Data(), f.Field(3)).text,
                               ref.firstBlock != 0 ? fig->Blob()->ReadValue(ref) : ""};
  }
  dir.CloseTable(fig);
  TDataTable* mok = dir.OpenTable("mok", {.readOnly = true});
  const TDataFile& m = mok->Data();
  for (std::int32_t n = 1; n <= m.RecordCount(); ++n) {
    const TRecord* r = mok->ReadRecord(n);
    if (r->Data()[0] != kRecordActive) continue;
    const auto group = static_cast<std::int32_t>(ReadFieldValue(r->Data(), m.Field(1)).integer);
    groups[group].size = static_cast<std::int32_t>(ReadFieldValue(r->Data(), m.Field(2)).integer);
  }
  dir.CloseTable(mok);
  return groups;
}

bool IsWhole(const StoredGroup& g, std::int32_t group) {
  if (g.size != GroupSize(group) || static_cast<int>(g.rows.size()) != GroupSize(group)) return false;
  for (int row = 1; row <= GroupSize(group); ++row) {
    const auto it = g.rows.find(row);
    if (it == g.rows.end() || it->second.first != KeyOf(group, row)) return false;
    // A memo whose blocks were not all written is emptied by repair.
    if (it->second.second != MemoOf(group, row) && !it->second.second.empty()) return false;
  }
  return true;
}

void MakeTables(const std::string& db) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory dir(session, db);
  sql::TableCatalog catalog(dir);
  for (const char* text : {"CREATE TABLE fig (G INTEGER, I INTEGER, K VARCHAR(100), M MEMO, "
                           "PRIMARY KEY (G, I)) BLOB BLOCK SIZE 64",
                           "CREATE INDEX FIG_K ON fig (K)",
                           "CREATE TABLE mok (G INTEGER, N INTEGER, PRIMARY KEY (G))"}) {
    Run(session, catalog, text);
  }
}

// Opens both tables in a new process (a journal left over is rolled back
// then), verifies them and repairs those verify still finds damaged.
// Returns the number repaired; `recovered` tells whether a journal had
// contents.
int RecoverAndVerify(const std::string& db, bool* recovered) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory dir(session, db);
  *recovered = JournalPending(*Env::Default(), JournalPath(*Env::Default(), db));
  dir.CloseTable(dir.OpenTable("fig", {}));
  EXPECT_FALSE(JournalPending(*Env::Default(), JournalPath(*Env::Default(), db)));
  int repaired = 0;
  for (const char* table : {"fig", "mok"}) {
    const TableVerification before = VerifyTable(dir, table);
    if (before.Ok()) continue;
    ADD_FAILURE() << table << " is damaged after recovery: " << before.problems[0];
    ++repaired;
    RepairTable(session, db, table);
    const TableVerification v = VerifyTable(dir, table);
    EXPECT_TRUE(v.Ok()) << table << " still damaged after repair: " << v.problems[0];
  }
  return repaired;
}

// Removes whatever a half-applied transaction left of `group`.
void RemoveRemains(const std::string& db, std::int32_t group) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory dir(session, db);
  sql::TableCatalog catalog(dir);
  Remove(session, catalog, group);
}

TEST(KilledTransactions, EveryCommittedTransactionIsWholeAfterEachKill) {
  kura::testing::ScratchDir scratch;
  const std::string db = scratch.Path();
  MakeTables(db);
  const int kills = TransactionKills();
  std::mt19937 random(20261210);
  std::set<std::int32_t> groups;  // registered and not removed
  std::int32_t nextGroup = 1;
  int committed = 0, inFlight = 0, inCommit = 0, half = 0, halfInCommit = 0, repairs = 0, recoveries = 0;
  for (int round = 0; round < kills; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(fds[0]);
      ::alarm(60);
      CommitForever(db, {groups.begin(), groups.end()}, nextGroup, random(), fds[1]);
    }
    ::close(fds[1]);
    Message pending{}, m{};
    bool hasPending = false;
    auto take = [&](const Message& msg) {
      pending = msg;
      hasPending = msg.stage < 2;
      if (msg.stage < 2) return;
      ++committed;
      if (msg.kind == 'R') groups.insert(msg.group); else groups.erase(msg.group);
      if (msg.kind == 'R') nextGroup = std::max(nextGroup, msg.group + 1);
    };
    // The kill falls after the first commit returned: in three rounds of
    // four within 2 ms of a later COMMIT's call, else at a random moment.
    while (::read(fds[0], &m, sizeof m) == sizeof m) {
      take(m);
      if (m.stage == 2) break;
    }
    if (round % 4 != 3) {
      while (::read(fds[0], &m, sizeof m) == sizeof m) {
        take(m);
        if (m.stage == 1) break;
      }
      ::usleep(static_cast<useconds_t>(std::uniform_int_distribution<int>(0, 2000)(random)));
    } else {
      ::usleep(static_cast<useconds_t>(std::uniform_int_distribution<int>(0, 60000)(random)));
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;
    while (::read(fds[0], &m, sizeof m) == sizeof m) take(m);
    ::close(fds[0]);

    bool recovered = false;
    repairs += RecoverAndVerify(db, &recovered);
    recoveries += recovered;
    ASSERT_FALSE(::testing::Test::HasFailure()) << "round " << round;
    const std::map<std::int32_t, StoredGroup> stored = StoredGroups(db);
    for (std::int32_t group : groups) {
      if (hasPending && pending.group == group) continue;
      ASSERT_TRUE(stored.count(group) && IsWhole(stored.at(group), group))
          << "round " << round << ": committed group " << group << " is not whole";
    }
    for (const auto& [group, g] : stored) {
      const bool known = groups.count(group) || (hasPending && pending.group == group);
      ASSERT_TRUE(known) << "round " << round << ": group " << group << " (" << g.rows.size()
                         << " rows, size " << g.size << ") was removed or never committed; in flight: "
                         << (hasPending ? std::string(1, pending.kind) + std::to_string(pending.group) : "none")
                         << ", next group " << nextGroup;
    }
    if (!hasPending) continue;
    ++inFlight;
    inCommit += pending.stage == 1;
    const std::int32_t group = pending.group;
    if (pending.kind == 'R') nextGroup = std::max(nextGroup, group + 1);
    const auto it = stored.find(group);
    if (it == stored.end()) {
      groups.erase(group);  // not applied (a register) or applied whole (a remove)
    } else if (IsWhole(it->second, group)) {
      groups.insert(group);  // applied whole (a register) or not applied (a remove)
    } else {
      ++half;
      halfInCommit += pending.stage == 1;
      EXPECT_EQ(pending.stage, 1) << "round " << round << ": a transaction half-applied before its COMMIT";
      RemoveRemains(db, group);
      ASSERT_EQ(StoredGroups(db).count(group), 0u) << "round " << round << ": remains of group " << group
                                                   << " are still there after deleting them";
      groups.erase(group);
    }
  }
  std::printf("%d kills survived, %d transactions committed, %d kills during a transaction "
              "(%d inside COMMIT), %d journals rolled back, %d left half-applied (%d inside COMMIT), "
              "%d table repairs\n",
              kills, committed, inFlight, inCommit, recoveries, half, halfInCommit, repairs);
  RecordProperty("kills", kills);
  RecordProperty("half_applied", half);
  EXPECT_EQ(half, 0) << "transactions left half-applied";
  EXPECT_EQ(repairs, 0) << "tables that needed repair after recovery";
}

}  // namespace
}  // namespace kura
