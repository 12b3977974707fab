// Power cuts during the commits of registrations, with durability on. On an
// in-memory disk a "process" registers groups of rows in two tables (long
// index keys, memo values) and removes one, each in a transaction, with
// the session's force buffer flush on; the power is cut at its n-th write,
// truncate or flush, for every n of the run and several seeds of what the
// disk keeps of the writes not yet flushed. Then a new process opens the
// tables (rolling back a journal left over), and without any repair:
// both tables verify, every transaction whose COMMIT returned is there
// whole, the one in flight is there whole or not at all, nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/errors/kura_error.h"
#include "engine/sql/query_execution.h"
#include "engine/sql/table_catalog.h"
#include "engine/storage/env_fault.h"
#include "engine/storage/field_values.h"
#include "engine/storage/record_values.h"
#include "engine/storage/table_verify.h"

namespace kura {
namespace {

constexpr char kDb[] = "/mem/db";

int Seeds() {
  if (const char* s = std::getenv("KURA_POWER_SEEDS")) return std::max(1, std::atoi(s));
  return 3;
}

int GroupSize(std::int32_t group) { return 2 + group % 4; }
std::string KeyOf(std::int32_t group, int row) {
  return std::to_string(row % 3) + "-" + std::to_string(group) + std::string(90, 'k');
}
std::string MemoOf(std::int32_t group, int row) {
  if ((group + row) % 2 != 0) return "";
  return std::string(static_cast<std::size_t>(100 + 300 * row), static_cast<char>('a' + group % 26));
}

void Run(TDataSession& session, sql::TableCatalog& catalog, const std::string& text,
         const std::vector<sql::Value>& params = {}) {
  sql::TQueryExecution q(session, catalog);
  q.Prepare(text);
  q.Execute(params);
}

// A transaction: register `group` (positive) or remove -group.
void Transaction(TDataSession& session, sql::TableCatalog& catalog, std::int32_t group) {
  Run(session, catalog, "START TRANSACTION");
  if (group < 0) {
    Run(session, catalog, "DELETE FROM fig WHERE G = ?", {sql::Value::Integer(-group)});
    Run(session, catalog, "DELETE FROM mok WHERE G = ?", {sql::Value::Integer(-group)});
  } else {
    for (int row = 1; row <= GroupSize(group); ++row) {
      const std::string memo = MemoOf(group, row);
      Run(session, catalog, "INSERT INTO fig VALUES (?, ?, ?, ?)",
          {sql::Value::Integer(group), sql::Value::Integer(row), sql::Value::String(KeyOf(group, row)),
           memo.empty() ? sql::Value::Null() : sql::Value::String(memo)});
    }
    Run(session, catalog, "INSERT INTO mok VALUES (?, ?)",
        {sql::Value::Integer(group), sql::Value::Integer(GroupSize(group))});
  }
  Run(session, catalog, "COMMIT");
}

// The transactions of one run: three registrations, a removal, one more.
const std::vector<std::int32_t> kRun = {1, 2, 3, -2, 4};

struct StoredGroup {
  std::map<int, std::pair<std::string, std::string>> rows;
  std::int32_t size = 0;
};

std::map<std::int32_t, StoredGroup> StoredGroups(TDataDirectory& dir) {
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
    if (it == g.rows.end() || it->second != std::make_pair(KeyOf(group, row), MemoOf(group, row))) return false;
  }
  return true;
}

std::unique_ptr<Env> NewDisk() {
  std::unique_ptr<Env> disk = NewMemEnv();
  disk->MakeDirectory(kDb);
  TFileList files(disk.get());
  TDataSession session(files);
  TDataDirectory dir(session, kDb);
  sql::TableCatalog catalog(dir);
  for (const char* text : {"CREATE TABLE fig (G INTEGER, I INTEGER, K VARCHAR(100), M MEMO, "
                           "PRIMARY KEY (G, I)) BLOB BLOCK SIZE 128",
                           "CREATE INDEX FIG_K ON fig (K)",
                           "CREATE TABLE mok (G INTEGER, N INTEGER, PRIMARY KEY (G))"}) {
    Run(session, catalog, text);
  }
  return disk;
}

struct Outcome {
  bool cut = false;
  std::vector<std::int32_t> returned;   // transactions whose COMMIT returned
  std::optional<std::int32_t> inFlight;  // the one the cut fell in
};

// One process running kRun with the power cut armed at call n.
Outcome RunUntilCut(Env* disk, std::uint64_t n, std::uint32_t seed) {
  FaultEnv faulty(disk);
  faulty.ArmPowerCut(n, seed);
  Outcome out;
  {
    TFileList files(&faulty);
    TDataSession session(files);
    session.settings.forceBufferFlush = true;
    session.settings.privateDirectory = kDb;
    session.settings.tableLockAttempts = 3;
    session.settings.tableLockPauseMs = 1;
    TDataDirectory dir(session, kDb);
    sql::TableCatalog catalog(dir);
    for (std::int32_t t : kRun) {
      try {
        Transaction(session, catalog, t);
      } catch (const EKuraEngineError& e) {
        EXPECT_TRUE(faulty.PowerCutHappened()) << "a failure without a cut: " << e.what();
        out.inFlight = t;
        break;
      }
      out.returned.push_back(t);
    }
  }
  out.cut = faulty.PowerCutHappened();
  return out;
}

// After the cut: a new process finds the tables sound and every returned
// transaction whole.
void CheckAfterCut(Env* disk, const Outcome& out, const std::string& where) {
  TFileList files(disk);
  TDataSession session(files);
  TDataDirectory dir(session, kDb);
  std::map<std::int32_t, StoredGroup> stored;
  try {
    stored = StoredGroups(dir);
  } catch (const EKuraEngineError& e) {
    ADD_FAILURE() << where << ": the tables cannot be read: " << e.what();
    return;
  }
  for (const char* table : {"fig", "mok"}) {
    const TableVerification v = VerifyTable(dir, table);
    EXPECT_TRUE(v.Ok()) << where << ": " << table << " is damaged: " << v.problems[0];
  }
  std::set<std::int32_t> present;
  for (std::int32_t t : out.returned) {
    if (t > 0) present.insert(t); else present.erase(-t);
  }
  const std::int32_t flight = out.inFlight.value_or(0);
  for (const auto& [group, g] : stored) {
    const bool maybe = group == std::abs(flight);
    EXPECT_TRUE(present.count(group) || maybe) << where << ": group " << group << " should not be there";
    EXPECT_TRUE(IsWhole(g, group)) << where << ": group " << group << " is half there ("
                                   << g.rows.size() << " rows, size " << g.size << ")";
  }
  for (std::int32_t group : present) {
    const bool maybe = group == std::abs(flight);
    EXPECT_TRUE(stored.count(group) || maybe) << where << ": committed group " << group << " is lost";
  }
}

TEST(PowerLoss, EveryReturnedCommitSurvivesAndNoneIsHalfApplied) {
  int cuts = 0, inCommit = 0;
  for (int seed = 1; seed <= Seeds(); ++seed) {
    for (std::uint64_t n = 1;; ++n) {
      std::unique_ptr<Env> disk = NewDisk();
      const Outcome out = RunUntilCut(disk.get(), n, static_cast<std::uint32_t>(seed * 7919 + n));
      if (!out.cut) {
        EXPECT_EQ(out.returned.size(), kRun.size());
        break;
      }
      ++cuts;
      inCommit += out.inFlight.has_value();
      CheckAfterCut(disk.get(), out, "seed " + std::to_string(seed) + ", cut at call " + std::to_string(n));
      if (::testing::Test::HasFailure()) return;
    }
  }
  std::printf("%d power cuts, %d of them inside a transaction's statements or commit\n", cuts, inCommit);
  EXPECT_GT(cuts, 50);
}

}  // namespace
}  // namespace kura
