// A disk that fails. A scenario of statements (create a table, append,
// edit, delete, sort a canned result in memory and through run files,
// several changes in a transaction) runs on an in-memory disk while the
// n-th read, write, truncate, flush, lock or unlock call fails with EIO,
// ENOSPC or ENOLCK, for every n the scenario makes, once or from then on.
// After each failure:
//  - the statement raised the engine's error, nothing else; a failure that
//    happened once fails no other statement (an unlock failing at the end
//    of a read that worked fails none);
//  - no lock of the table is left: another user can lock every lock byte;
//  - no table is left open and no temporary file is left behind;
//  - after reopening, verify passes, or repair makes it pass, and every row
//    is as the statements that returned left it (a row the failed statement
//    touched may be either way).
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
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
#include "engine/storage/file_format.h"
#include "engine/storage/record_values.h"
#include "engine/storage/table_repair.h"
#include "engine/storage/table_verify.h"

namespace kura {
namespace {

constexpr char kDb[] = "/disk/db";
constexpr char kPrivate[] = "/disk/private";
constexpr std::uint32_t kDefaultCacheRecords = StorageSettings{}.dataCacheRecords;

struct Row {
  std::int64_t v = 0;
  std::string s;
  std::string m;  // memo
  bool operator==(const Row&) const = default;
};
using Rows = std::map<std::int64_t, Row>;

std::string Memo(std::int64_t id, int length) {
  std::string m;
  while (static_cast<int>(m.size()) < length) m += "memo of row " + std::to_string(id) + "; ";
  return m.substr(0, static_cast<std::size_t>(length));
}
// Long texts make index keys long, so that the index on S splits early.
std::string Text(std::int64_t id, char tag) {
  return std::string(1, tag) + std::to_string(1000 + id) + std::string(150, tag);
}

// One step of the scenario: statements run one after another, and the rows
// as they are when every statement returned.
struct Step {
  std::string name;
  std::vector<std::string> statements;
  std::function<void(Rows&)> effect;
  std::function<void(sql::TQueryExecution&, const Rows&)> checkResult = nullptr;
  // Records a table keeps in memory while the step runs (0: the default);
  // a sort of more rows than that goes through run files.
  std::uint32_t cacheRecords = 0;
};

std::string InsertSql(std::int64_t id) {
  const std::string memo = id % 3 == 0 ? "'" + Memo(id, 40 + static_cast<int>(id) * 23) + "'" : "NULL";
  return "INSERT INTO t VALUES (" + std::to_string(id) + ", " + std::to_string(id * 10) + ", '" +
         Text(id, 's') + "', " + memo + ")";
}
Row InsertedRow(std::int64_t id) {
  return {id * 10, Text(id, 's'), id % 3 == 0 ? Memo(id, 40 + static_cast<int>(id) * 23) : ""};
}

std::vector<Step> Scenario() {
  std::vector<Step> steps;
  steps.push_back({"create",
                   {"CREATE TABLE t (ID INTEGER, V INTEGER, S VARCHAR(200), M MEMO, "
                    "PRIMARY KEY (ID)) BLOB BLOCK SIZE 64",
                    "CREATE INDEX T_S ON t (S)"},
                   [](Rows&) {}});
  for (std::int64_t id = 1; id <= 24; ++id) {
    steps.push_back({"append " + std::to_string(id), {InsertSql(id)},
                     [id](Rows& r) { r[id] = InsertedRow(id); }});
  }
  steps.push_back({"edit several",
                   {"UPDATE t SET V = V + 1, S = 'e' || S WHERE ID BETWEEN 4 AND 9"},
                   [](Rows& r) {
                     for (std::int64_t id = 4; id <= 9; ++id) r[id].v += 1, r[id].s = "e" + r[id].s;
                   }});
  steps.push_back({"rewrite a memo",
                   {"UPDATE t SET M = '" + Memo(77, 300) + "' WHERE ID = 6"},
                   [](Rows& r) { r[6].m = Memo(77, 300); }});
  steps.push_back({"delete several", {"DELETE FROM t WHERE ID > 18 OR ID = 3"},
                   [](Rows& r) {
                     for (std::int64_t id = 19; id <= 24; ++id) r.erase(id);
                     r.erase(3);
                   }});
  const auto sortedByVDescending = [](sql::TQueryExecution& q, const Rows& rows) {
    TDataCursor& c = *q.ResultCursor();
    std::vector<std::int64_t> got, want;
    for (c.First(); c.Next();) {
      c.ReadCurrent();
      got.push_back(c.GetField(c.Image(), 1).integer);
    }
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) want.push_back(it->first);
    EXPECT_EQ(got, want);
  };
  steps.push_back({"sort a canned result", {"SELECT ID, V FROM t ORDER BY V DESC"},
                   [](Rows&) {}, sortedByVDescending});
  // Three records a run: the 17 rows go through six run files.
  steps.push_back({"sort a canned result through run files", {"SELECT ID, V FROM t ORDER BY V DESC"},
                   [](Rows&) {}, sortedByVDescending, 3});
  steps.push_back({"transaction",
                   {"START TRANSACTION", InsertSql(30), InsertSql(31),
                    "UPDATE t SET V = 0 WHERE ID = 1", "DELETE FROM t WHERE ID = 2", "COMMIT"},
                   [](Rows& r) {
                     r[30] = InsertedRow(30);
                     r[31] = InsertedRow(31);
                     r[1].v = 0;
                     r.erase(2);
                   }});
  return steps;
}

// Every active row of table t as stored; raises what reading raises.
Rows StoredRows(TDataDirectory& dir) {
  Rows rows;
  TDataTable* t = dir.OpenTable("t", {.readOnly = true});
  const TDataFile& d = t->Data();
  for (std::int32_t n = 1; n <= d.RecordCount(); ++n) {
    const TRecord* r = t->ReadRecord(n);
    if (r->Data()[0] != kRecordActive) continue;
    Row row{ReadFieldValue(r->Data(), d.Field(2)).integer, ReadFieldValue(r->Data(), d.Field(3)).text, ""};
    const BlobRef ref = GetBlobRef(r->Data(), d.Field(4));
    if (ref.firstBlock != 0) row.m = t->Blob()->ReadValue(ref);
    rows[ReadFieldValue(r->Data(), d.Field(1)).integer] = row;
  }
  dir.CloseTable(t);
  return rows;
}

struct Fault {
  FaultCall kind;
  int err;
  bool sticky;
};

std::string Describe(const Fault& f, std::uint64_t n) {
  static const char* kinds[] = {"read", "write", "truncate", "flush", "lock", "unlock"};
  return std::string(kinds[static_cast<int>(f.kind)]) + " call " + std::to_string(n) +
         " fails with " + std::to_string(f.err) + (f.sticky ? " from then on" : " once");
}

class DiskFaultTest : public ::testing::Test {
 protected:
  // Runs the scenario on a fresh disk with `fault` armed at call n (0: no
  // fault). Returns the calls of the fault's kind made.
  std::uint64_t RunScenario(const Fault& fault, std::uint64_t n) {
    disk_ = NewMemEnv();
    disk_->MakeDirectory("/disk");
    disk_->MakeDirectory(kDb);
    disk_->MakeDirectory(kPrivate);
    FaultEnv faulty(disk_.get());
    if (n > 0) faulty.FailCall(fault.kind, n, fault.err, fault.sticky);
    std::set<std::int64_t> uncertain;
    Rows before, after;
    std::string failedStep;
    {
      TFileList files(&faulty);
      TDataSession session(files);
      session.settings.forceBufferFlush = true;
      session.settings.privateDirectory = kPrivate;
      session.settings.tableLockAttempts = 2;
      session.settings.tableLockPauseMs = 1;
      TDataDirectory dir(session, kDb);
      sql::TableCatalog catalog(dir);
      for (const Step& step : Scenario()) {
        after = before;
        step.effect(after);
        const std::uint64_t callsBefore = faulty.Calls(fault.kind);
        session.settings.dataCacheRecords = step.cacheRecords != 0 ? step.cacheRecords : kDefaultCacheRecords;
        try {
          for (const std::string& text : step.statements) {
            sql::TQueryExecution q(session, catalog);
            q.Prepare(text);
            q.Execute();
            if (step.checkResult) step.checkResult(q, before);
          }
        } catch (const EKuraEngineError& e) {
          EXPECT_TRUE(n > 0 && IsDiskError(e.ErrorCode())) << step.name << ": " << e.what();
          // A failure that happened once is met by the statement that made
          // the call; the statements before it and after it must work.
          if (!fault.sticky) {
            EXPECT_TRUE(callsBefore < n && n <= faulty.Calls(fault.kind))
                << step.name << " failed, but the fault is call " << n << " and the step made calls "
                << callsBefore + 1 << " to " << faulty.Calls(fault.kind) << ": " << e.what();
          }
          failedStep = step.name + " (" + e.what() + ")";
          if (dir.InTransaction()) RollBackQuietly(dir);
          for (const auto& [id, row] : before) if (!after.count(id) || after.at(id) != row) uncertain.insert(id);
          for (const auto& [id, row] : after) if (!before.count(id)) uncertain.insert(id);
          break;
        } catch (const std::exception& e) {
          ADD_FAILURE() << step.name << ": not an engine error: " << e.what();
          return 0;
        }
        before = after;
      }
      // A failed unlock at the end of a read that otherwise worked is not
      // the statement's error: the lock is let go at the next lock call of
      // the file, or when the file closes.
      if (failedStep.empty() && fault.kind != FaultCall::kUnlock) {
        EXPECT_EQ(n, 0u) << "the fault never fired";
      }
      EXPECT_EQ(dir.FindTable("t", false), nullptr) << "table left open after " << failedStep;
      ExpectNoLockHeld(failedStep);
    }
    std::vector<std::string> left;
    disk_->ListDirectory(kPrivate, &left);
    for (const std::string& name : left) ADD_FAILURE() << "temporary file " << name << " left after " << failedStep;
    ExpectRecoverable(failedStep, before, after, uncertain);
    runFilesMade_ = 0;
    for (const std::string& path : faulty.OpenedPaths()) runFilesMade_ += path.ends_with(".TMP");
    return faulty.Calls(fault.kind);
  }

  static bool IsDiskError(ErrorCode code) {
    return code == KURA_READERR || code == KURA_WRITEERR || code == KURA_OSUNKNOWN || code == KURA_LOCKTIMEOUT ||
           code == KURA_UNLOCKFAILED;
  }

  static void RollBackQuietly(TDataDirectory& dir) {
    try {
      dir.Rollback();
    } catch (const EKuraEngineError&) {
    }
  }

  // Another user locks every lock byte of each file of the table.
  void ExpectNoLockHeld(const std::string& failedStep) {
    for (const char* ext : {".DAT", ".IDX", ".BLB"}) {
      std::unique_ptr<EnvFile> f;
      if (disk_->Open(std::string(kDb) + "/t" + ext, {}, &f) != 0) continue;
      const std::uint64_t first = kWriteRangeOffset;
      EXPECT_EQ(f->Lock(first, 0x100000000ull - first, true), 0)
          << "a lock of t" << ext << " stayed held after " << failedStep;
    }
  }

  // Opens the table anew, repairs it when verify finds damage, and compares
  // every row with what the statements left.
  void ExpectRecoverable(const std::string& failedStep, const Rows& before, const Rows& after,
                         const std::set<std::int64_t>& uncertain) {
    TFileList files(disk_.get());
    TDataSession session(files);
    TDataDirectory dir(session, kDb);
    if (!dir.TableExists("t", false)) {
      EXPECT_EQ(failedStep.rfind("create", 0), 0u) << "the table vanished";
      return;
    }
    TableVerification v = VerifyTable(dir, "t");
    if (!v.Ok()) {
      try {
        RepairTable(session, kDb, "t");
      } catch (const EKuraEngineError& e) {
        ADD_FAILURE() << "repair after " << failedStep << " failed: " << e.what() << "; verify said "
                      << v.problems[0];
        return;
      }
      v = VerifyTable(dir, "t");
      ASSERT_TRUE(v.Ok()) << "still damaged after repair (" << failedStep << "): " << v.problems[0];
    }
    const Rows stored = StoredRows(dir);
    std::set<std::int64_t> ids;
    for (const auto& r : before) ids.insert(r.first);
    for (const auto& r : after) ids.insert(r.first);
    for (const auto& r : stored) ids.insert(r.first);
    for (std::int64_t id : ids) {
      const auto got = stored.count(id) ? std::optional<Row>(stored.at(id)) : std::nullopt;
      const auto was = before.count(id) ? std::optional<Row>(before.at(id)) : std::nullopt;
      const auto now = after.count(id) ? std::optional<Row>(after.at(id)) : std::nullopt;
      // A row the failed statement touched is as before or as after; its
      // memo may be gone when its blocks were not all written.
      const auto memoLost = [&](const std::optional<Row>& r) {
        return got && r && got->m.empty() && got->v == r->v && got->s == r->s;
      };
      const bool ok = got == was || (uncertain.count(id) && (got == now || memoLost(was) || memoLost(now)));
      EXPECT_TRUE(ok) << "row " << id << " after a failure in " << failedStep
                      << (got ? " holds V=" + std::to_string(got->v) : " is missing");
    }
  }

  std::unique_ptr<Env> disk_;
  int runFilesMade_ = 0;  // by the last scenario run
};

TEST_F(DiskFaultTest, TheScenarioRunsCleanWithoutFaults) {
  RunScenario({FaultCall::kRead, 0, false}, 0);
  EXPECT_GE(runFilesMade_, 5) << "the sort did not go through run files";
}

// Each kind of call, each error, once and from then on.
TEST_F(DiskFaultTest, EveryFailedCallIsReportedAndLosesNothingThatReturned) {
  const std::vector<Fault> faults = {
      {FaultCall::kRead, EIO, false},       {FaultCall::kRead, EIO, true},
      {FaultCall::kWrite, EIO, false},      {FaultCall::kWrite, ENOSPC, true},
      {FaultCall::kTruncate, ENOSPC, false}, {FaultCall::kTruncate, EIO, true},
      {FaultCall::kSync, EIO, false},       {FaultCall::kSync, ENOSPC, true},
      {FaultCall::kLock, ENOLCK, false},    {FaultCall::kLock, EIO, true},
      {FaultCall::kUnlock, ENOLCK, false},  {FaultCall::kUnlock, EIO, true},
      {FaultCall::kUnlock, ENOLCK, false},  {FaultCall::kUnlock, EIO, true},
  };
  std::uint64_t injected = 0;
  for (const Fault& fault : faults) {
    const std::uint64_t calls = RunScenario(fault, 0);
    for (std::uint64_t n = 1; n <= calls; ++n) {
      SCOPED_TRACE(Describe(fault, n));
      RunScenario(fault, n);
      ++injected;
      if (HasFailure()) return;  // the first finding says enough
    }
  }
  RecordProperty("faults_injected", static_cast<int>(injected));
  std::printf("faults injected: %llu\n", static_cast<unsigned long long>(injected));
}

}  // namespace
}  // namespace kura
