// Killed writers. A child process appends, edits and deletes rows with long
// index keys (so that index pages split and merge often) and memo values
// of up to a dozen BLOB blocks, and is killed with SIGKILL at a random
// moment, hundreds of times (KURA_KILLS, default 200; fewer under the
// sanitizers). Before each change the child announces it, and after it
// returned it confirms it. After each kill: verify passes or repair makes
// it pass, every confirmed change is there, and the one change in flight
// is either there or not (its memo may be empty when its blocks were not
// all written).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <string>

#include "engine/sql/query_execution.h"
#include "engine/sql/table_catalog.h"
#include "engine/storage/field_values.h"
#include "engine/storage/record_values.h"
#include "engine/storage/table_repair.h"
#include "engine/storage/table_verify.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura {
namespace {

int Kills() {
  if (const char* s = std::getenv("KURA_KILLS")) return std::max(1, std::atoi(s));
#ifdef SORABEKU_SANITIZE_BUILD
  return 40;
#else
  return 200;
#endif
}

// A row's contents follow from its id and version.
struct Row {
  std::string k;
  std::string m;
  bool operator==(const Row&) const = default;
};
Row RowOf(std::int32_t id, std::int32_t version) {
  Row r;
  r.k = std::to_string(version % 7) + "-" + std::to_string(id) + std::string(100, 'k');
  const int blocks = (id + version) % 13;  // 0 ... 12 blocks of 46 bytes
  for (int i = 0; i < blocks * 46; ++i) r.m += static_cast<char>('a' + (id * 7 + version + i) % 26);
  return r;
}

// What the child tells the parent: kind 'I' insert, 'U' update, 'D' delete,
// first announced (done false), then confirmed (done true).
struct Message {
  char kind;
  bool done;
  std::int32_t id;
  std::int32_t version;
};

using Model = std::map<std::int32_t, std::int32_t>;  // id -> version

// The child: changes rows at random, telling `fd` about each. Never returns.
[[noreturn]] void ChangeForever(const std::string& dir, Model rows, std::int32_t nextId,
                                unsigned seed, int fd) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory directory(session, dir);
  sql::TableCatalog catalog(directory);
  std::mt19937 random(seed);
  auto tell = [fd](Message m) {
    if (::write(fd, &m, sizeof m) != sizeof m) ::_exit(2);
  };
  auto run = [&](const std::string& text, std::vector<sql::Value> params) {
    sql::TQueryExecution q(session, catalog);
    q.Prepare(text);
    q.Execute(params);
  };
  for (;;) {
    const int r = std::uniform_int_distribution<int>(0, 99)(random);
    auto it = rows.begin();
    if (!rows.empty()) std::advance(it, std::uniform_int_distribution<int>(0, static_cast<int>(rows.size()) - 1)(random));
    if (rows.size() < 40 || (r < 45 && rows.size() < 400)) {
      const std::int32_t id = nextId++;
      const Row row = RowOf(id, 1);
      tell({'I', false, id, 1});
      run("INSERT INTO t VALUES (?, ?, ?)",
          {sql::Value::Integer(id), sql::Value::String(row.k),
           row.m.empty() ? sql::Value::Null() : sql::Value::String(row.m)});
      tell({'I', true, id, 1});
      rows[id] = 1;
    } else if (r < 80) {
      const std::int32_t id = it->first, version = it->second + 1;
      const Row row = RowOf(id, version);
      tell({'U', false, id, version});
      run("UPDATE t SET K = ?, M = ? WHERE ID = ?",
          {sql::Value::String(row.k), row.m.empty() ? sql::Value::Null() : sql::Value::String(row.m),
           sql::Value::Integer(id)});
      tell({'U', true, id, version});
      it->second = version;
    } else {
      const std::int32_t id = it->first;
      tell({'D', false, id, 0});
      run("DELETE FROM t WHERE ID = ?", {sql::Value::Integer(id)});
      tell({'D', true, id, 0});
      rows.erase(it);
    }
  }
}

std::map<std::int32_t, Row> StoredRows(const std::string& db) {
  TFileList files(Env::Default());
  TDataSession session(files);
  TDataDirectory dir(session, db);
  TDataTable* t = dir.OpenTable("t", {.readOnly = true});
  std::map<std::int32_t, Row> rows;
  for (std::int32_t n = 1; n <= t->Data().RecordCount(); ++n) {
    const TRecord* r = t->ReadRecord(n);
    if (r->Data()[0] != kRecordActive) continue;
    Row row{ReadFieldValue(r->Data(), t->Data().Field(2)).text, ""};
    const BlobRef ref = GetBlobRef(r->Data(), t->Data().Field(3));
    if (ref.firstBlock != 0) row.m = t->Blob()->ReadValue(ref);
    rows[static_cast<std::int32_t>(ReadFieldValue(r->Data(), t->Data().Field(1)).integer)] = row;
  }
  dir.CloseTable(t);
  return rows;
}

TEST(KilledWriters, EveryConfirmedChangeSurvivesHundredsOfKills) {
  kura::testing::ScratchDir scratch;
  const std::string db = scratch.Path();
  {
    TFileList files(Env::Default());
    TDataSession session(files);
    TDataDirectory dir(session, db);
    sql::TableCatalog catalog(dir);
    for (const char* text : {"CREATE TABLE t (ID INTEGER, K VARCHAR(120), M MEMO, PRIMARY KEY (ID)) "
                             "BLOB BLOCK SIZE 64",
                             "CREATE INDEX T_K ON t (K)"}) {
      sql::TQueryExecution q(session, catalog);
      q.Prepare(text);
      q.Execute();
    }
  }
  const int kills = Kills();
  std::mt19937 random(20261209);
  Model model;
  std::map<std::int32_t, Row> overrides;  // rows whose memo a kill emptied
  std::int32_t nextId = 1;
  int repaired = 0, inFlight = 0, inFlightWithBlob = 0, changes = 0;
  for (int round = 0; round < kills; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(fds[0]);
      ::alarm(60);
      ChangeForever(db, model, nextId, random(), fds[1]);
    }
    ::close(fds[1]);
    // The kill falls at a random moment after the first change returned,
    // however slowly the child starts (the sanitizers make it slow).
    Message pending{};
    bool hasPending = false;
    Message m{};
    auto take = [&](const Message& msg) {
      if (!msg.done) {
        pending = msg;
        hasPending = true;
        return;
      }
      hasPending = false;
      ++changes;
      overrides.erase(msg.id);
      if (msg.kind == 'D') model.erase(msg.id); else model[msg.id] = msg.version;
      if (msg.kind == 'I') nextId = std::max(nextId, msg.id + 1);
    };
    while (::read(fds[0], &m, sizeof m) == sizeof m) {
      take(m);
      if (m.done) break;
    }
    ::usleep(static_cast<useconds_t>(std::uniform_int_distribution<int>(0, 40000)(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;
    while (::read(fds[0], &m, sizeof m) == sizeof m) take(m);
    ::close(fds[0]);
    if (hasPending && pending.kind == 'I') nextId = std::max(nextId, pending.id + 1);

    TFileList files(Env::Default());
    TDataSession session(files);
    TDataDirectory dir(session, db);
    TableVerification v = VerifyTable(dir, "t");
    if (!v.Ok()) {
      ++repaired;
      RepairTable(session, db, "t");
      v = VerifyTable(dir, "t");
      ASSERT_TRUE(v.Ok()) << "round " << round << ", still damaged after repair: " << v.problems[0];
    }
    const std::map<std::int32_t, Row> stored = StoredRows(db);
    std::map<std::int32_t, Row> expected;
    for (const auto& [id, version] : model) expected[id] = overrides.count(id) ? overrides.at(id) : RowOf(id, version);
    if (hasPending) {
      ++inFlight;
      // The change in flight may have reached the files, whole or in part.
      const std::int32_t id = pending.id;
      const auto got = stored.count(id) ? std::optional<Row>(stored.at(id)) : std::nullopt;
      const auto was = expected.count(id) ? std::optional<Row>(expected.at(id)) : std::nullopt;
      const auto now = pending.kind == 'D' ? std::nullopt : std::optional<Row>(RowOf(id, pending.version));
      if (now && !now->m.empty()) ++inFlightWithBlob;
      const bool memoLost = got && got->m.empty() && ((was && got->k == was->k) || (now && got->k == now->k));
      auto show = [](const std::optional<Row>& r) {
        return r ? r->k.substr(0, r->k.find('k')) + " memo " + std::to_string(r->m.size()) + " bytes"
                 : std::string("none");
      };
      ASSERT_TRUE(got == was || got == now || memoLost)
          << "round " << round << ": row " << id << " in flight (" << pending.kind << "): stored "
          << show(got) << ", before " << show(was) << ", after " << show(now);
      // From here on the row is what is stored.
      overrides.erase(id);
      if (!got) {
        model.erase(id);
      } else {
        model[id] = got == now ? pending.version : (was ? model[id] : pending.version);
        if (got != RowOf(id, model[id])) overrides[id] = *got;
        expected[id] = *got;
      }
      if (!got) expected.erase(id);
    }
    for (const auto& [id, row] : expected) {
      ASSERT_TRUE(stored.count(id)) << "round " << round << ": row " << id << " lost";
      ASSERT_EQ(stored.at(id), row) << "round " << round << ": row " << id;
    }
    for (const auto& [id, row] : stored) ASSERT_TRUE(expected.count(id)) << "round " << round << ": deleted row " << id;
  }
  std::printf("%d kills survived, %d changes confirmed, %d kills during a change (%d writing a memo), "
              "%d repairs\n",
              kills, changes, inFlight, inFlightWithBlob, repaired);
  RecordProperty("kills", kills);
  RecordProperty("repairs", repaired);
}

}  // namespace
}  // namespace kura
