// Canned joins against SQLite in the same run: two tables of 100 000 rows
// (BENCH_JOIN_ROWS changes the count), the second with an index on the
// joined column, joined on it; once for the whole result and once with
// TOP 1 (SQLite: LIMIT 1). Our tables are files in a temporary directory;
// SQLite's database is in memory. Each iteration executes the prepared
// statement once and, for SQLite, steps through every row of the result.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <random>
#include <string>

#include "engine/sql/query_execution.h"
#include "engine/storage/field_values.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura::sql {
namespace {

int Rows() {
  const char* text = std::getenv("BENCH_JOIN_ROWS");
  return text != nullptr ? std::max(1, std::atoi(text)) : 100000;
}

const char* const kJoin = "select x.ID, x.V, y.W from a x join b y on x.K = y.ID";
const char* const kJoinTop = "select x.ID, x.V, y.W from a x join b y on x.K = y.ID top 1";
const char* const kSqliteJoin = "select x.ID, x.V, y.W from a x join b y on x.K = y.ID";
const char* const kSqliteJoinTop =
    "select x.ID, x.V, y.W from a x join b y on x.K = y.ID limit 1";

// Row i of a: ID i, K a random ID of b, V a short text; row i of b: ID i
// (indexed), W = 7 * i.
struct Database {
  Database() {
    session.settings.privateDirectory = dir.Path();
    const int n = Rows();
    std::mt19937 rng(11);
    DataFileDefinition a;
    a.fields = {MakeField(1, "ID", kFieldInteger), MakeField(2, "K", kFieldInteger),
                MakeField(3, "V", kFieldString, 12)};
    TIndexFileHeader ha = NewIndexHeader();
    ha.noPrimaryFields = 1;
    Append("a", a, ha, n, [&](TDataFile& d, std::uint8_t* rec, int i) {
      SetFieldInt(rec, d.Field(1), i);
      SetFieldInt(rec, d.Field(2), static_cast<std::int32_t>(rng() % static_cast<unsigned>(n)));
      SetFieldString(rec, d.Field(3), "v" + std::to_string(i), nullptr);
    });
    DataFileDefinition b;
    b.fields = {MakeField(1, "ID", kFieldInteger), MakeField(2, "W", kFieldInteger)};
    TIndexFileHeader hb = NewIndexHeader();
    hb.slots[0].fieldCount = 1;
    hb.slots[0].fieldNumbers[0] = 1;
    hb.slots[0].keyLength = 5;
    hb.slots[0].unique = 1;
    Append("b", b, hb, n, [&](TDataFile& d, std::uint8_t* rec, int i) {
      SetFieldInt(rec, d.Field(1), i);
      SetFieldInt(rec, d.Field(2), 7 * i);
    });
  }

  template <typename Fn>
  void Append(const std::string& name, const DataFileDefinition& def, const TIndexFileHeader& h,
              int rows, Fn&& fill) {
    TDataTable* t = directory.CreateTable(name, {.exclusive = true}, def, h);
    std::vector<std::uint8_t> rec(t->Data().RecordLength());
    for (int i = 0; i < rows; ++i) {
      std::fill(rec.begin(), rec.end(), 0);
      fill(t->Data(), rec.data(), i);
      t->AppendRecord(rec.data());
    }
    directory.CloseTable(t);
  }

  TDataSession session;
  kura::testing::ScratchDir dir;
  TDataDirectory directory{session, dir.Path()};
  TableCatalog catalog{directory};
};

Database& Shared() {
  static Database db;
  return db;
}

sqlite3* SqliteDatabase() {
  static sqlite3* db = [] {
    sqlite3* s = nullptr;
    sqlite3_open(":memory:", &s);
    sqlite3_exec(s, "create table a (ID integer, K integer, V text);"
                    "create table b (ID integer primary key, W integer); begin",
                 nullptr, nullptr, nullptr);
    const int n = Rows();
    std::mt19937 rng(11);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(s, "insert into a values (?, ?, ?)", -1, &ins, nullptr);
    for (int i = 0; i < n; ++i) {
      const std::string v = "v" + std::to_string(i);
      sqlite3_bind_int(ins, 1, i);
      sqlite3_bind_int(ins, 2, static_cast<int>(rng() % static_cast<unsigned>(n)));
      sqlite3_bind_text(ins, 3, v.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_prepare_v2(s, "insert into b values (?, ?)", -1, &ins, nullptr);
    for (int i = 0; i < n; ++i) {
      sqlite3_bind_int(ins, 1, i);
      sqlite3_bind_int(ins, 2, 7 * i);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(s, "commit", nullptr, nullptr, nullptr);
    return s;
  }();
  return db;
}

void RunOurs(benchmark::State& state, const char* text) {
  Database& db = Shared();
  TQueryExecution q(db.session, db.catalog);
  q.Prepare(text);
  std::int64_t rows = 0;
  for (auto _ : state) {
    q.Execute();
    rows += q.RowsAffected();
  }
  state.SetItemsProcessed(rows);
}

void RunSqlite(benchmark::State& state, const char* text) {
  sqlite3* db = SqliteDatabase();
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, text, -1, &st, nullptr);
  std::int64_t rows = 0;
  for (auto _ : state) {
    while (sqlite3_step(st) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int(st, 0));
      ++rows;
    }
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  state.SetItemsProcessed(rows);
}

void BM_JoinIndexed(benchmark::State& state) { RunOurs(state, kJoin); }
void BM_JoinIndexedSqlite(benchmark::State& state) { RunSqlite(state, kSqliteJoin); }
void BM_JoinTop1(benchmark::State& state) { RunOurs(state, kJoinTop); }
void BM_JoinTop1Sqlite(benchmark::State& state) { RunSqlite(state, kSqliteJoinTop); }

BENCHMARK(BM_JoinIndexed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JoinIndexedSqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JoinTop1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JoinTop1Sqlite)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kura::sql

BENCHMARK_MAIN();
