// Canned statements over 1 000 000 rows against SQLite in the same run
// (BENCH_CANNED_ROWS changes the count): ORDER BY with TOP 10 (SQLite:
// LIMIT 10), a whole ORDER BY, a GROUP BY, and TOP 5 without an order.
// Each of our benchmarks reports how far the process's peak resident
// memory rose above the memory resident before its first execution
// (`peak_growth_MiB`).
// Our table is a file in a temporary directory; SQLite's database is in
// memory. Each iteration executes the prepared statement once and, for
// SQLite, steps through every row of the result.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "engine/sql/query_execution.h"
#include "engine/storage/field_values.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura::sql {
namespace {

int Rows() {
  const char* text = std::getenv("BENCH_CANNED_ROWS");
  return text != nullptr ? std::max(1, std::atoi(text)) : 1000000;
}

// The peak resident memory of the process (VmHWM), which ResetPeak sets
// back to the memory resident now.
double PeakMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return 0;
}

double ResidentMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return 0;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Row i: K random in 0 .. 4 000 000, G = K % 1000, V a short text.
template <typename Fn>
void EachRow(Fn&& row) {
  std::mt19937 rng(5);
  for (int i = 0; i < Rows(); ++i) {
    const int k = static_cast<int>(rng() % 4000000);
    row(k, k % 1000, "v" + std::to_string(i));
  }
}

struct Database {
  Database() {
    session.settings.privateDirectory = dir.Path();
    DataFileDefinition def;
    def.fields = {MakeField(1, "K", kFieldInteger), MakeField(2, "G", kFieldInteger),
                  MakeField(3, "V", kFieldString, 12)};
    TIndexFileHeader h = NewIndexHeader();
    h.noPrimaryFields = 1;
    TDataTable* t = directory.CreateTable("big", {.exclusive = true}, def, h);
    std::vector<std::uint8_t> rec(t->Data().RecordLength());
    EachRow([&](int k, int g, const std::string& v) {
      std::fill(rec.begin(), rec.end(), 0);
      SetFieldInt(rec.data(), t->Data().Field(1), k);
      SetFieldInt(rec.data(), t->Data().Field(2), g);
      SetFieldString(rec.data(), t->Data().Field(3), v, nullptr);
      t->AppendRecord(rec.data());
    });
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
    sqlite3_exec(s, "create table big (K integer, G integer, V text); begin", nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(s, "insert into big values (?, ?, ?)", -1, &ins, nullptr);
    EachRow([&](int k, int g, const std::string& v) {
      sqlite3_bind_int(ins, 1, k);
      sqlite3_bind_int(ins, 2, g);
      sqlite3_bind_text(ins, 3, v.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    });
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
  ResetPeak();
  const double before = ResidentMiB();
  std::int64_t rows = 0;
  for (auto _ : state) {
    q.Execute();
    rows += q.RowsAffected();
  }
  state.SetItemsProcessed(rows);
  state.counters["peak_growth_MiB"] = PeakMiB() - before;
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

void BM_OrderTop10(benchmark::State& s) { RunOurs(s, "select K, V from big order by K top 10"); }
void BM_OrderTop10Sqlite(benchmark::State& s) { RunSqlite(s, "select K, V from big order by K limit 10"); }
void BM_OrderAll(benchmark::State& s) { RunOurs(s, "select K, V from big order by K"); }
void BM_OrderAllSqlite(benchmark::State& s) { RunSqlite(s, "select K, V from big order by K"); }
void BM_GroupBy(benchmark::State& s) { RunOurs(s, "select G, count(*), sum(K) from big group by G"); }
void BM_GroupBySqlite(benchmark::State& s) { RunSqlite(s, "select G, count(*), sum(K) from big group by G"); }
void BM_Top5(benchmark::State& s) { RunOurs(s, "select K, V from big top 5"); }
void BM_Top5Sqlite(benchmark::State& s) { RunSqlite(s, "select K, V from big limit 5"); }

BENCHMARK(BM_OrderTop10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrderTop10Sqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrderAll)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OrderAllSqlite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GroupBy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupBySqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Top5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Top5Sqlite)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kura::sql

BENCHMARK_MAIN();
