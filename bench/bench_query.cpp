// Query execution against SQLite in the same run, as rows per second:
//  - the contents statement on a 3 000-row mokuji, live (primary index on
//    MNB) and canned (no index: a sorted temporary table);
//  - a canned ORDER BY over 1 000 000 rows (the result is sorted through
//    run files).
// Our tables are files in a temporary directory; the SQLite databases are
// in memory. Each iteration executes the prepared statement once and, for
// SQLite, steps through every row of the result.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <filesystem>
#include <random>
#include <string>

#include "engine/sql/query_execution.h"
#include "engine/storage/field_values.h"
#include "engine/storage/testing/storage_fixture.h"

namespace kura::sql {
namespace {

constexpr int kMokujiRows = 3000;
constexpr int kBigRows = 1000000;
const char* const kContents =
    "Select * from mokuji Where (MNB > 0 and MNB < 1000) Order By MNB";

struct Database {
  Database() { session.settings.privateDirectory = dir.Path(); }

  // mokuji with MNB in random order over 1 ... 2999 (about a third below
  // 1000), with or without its primary index on MNB.
  void CreateMokuji(const std::string& name, bool indexed) {
    DataFileDefinition def;
    def.fields = {MakeField(1, "MNB", kFieldInteger), MakeField(2, "SIZE", kFieldInteger),
                  MakeField(3, "CMT", kFieldString, 60)};
    TIndexFileHeader h = NewIndexHeader();
    h.noPrimaryFields = indexed ? 0 : 1;
    if (indexed) {
      h.slots[0].fieldCount = 1;
      h.slots[0].fieldNumbers[0] = 1;
      h.slots[0].keyLength = 5;
      h.slots[0].unique = 1;
    }
    std::mt19937 rng(3);
    std::vector<int> numbers(kMokujiRows);
    for (int i = 0; i < kMokujiRows; ++i) numbers[std::size_t(i)] = i + 1;
    std::shuffle(numbers.begin(), numbers.end(), rng);
    Append(name, def, h, kMokujiRows, [&](TDataFile& d, std::uint8_t* rec, int i) {
      SetFieldInt(rec, d.Field(1), numbers[std::size_t(i)]);
      SetFieldInt(rec, d.Field(2), 1 + i % 25);
      SetFieldString(rec, d.Field(3), "problem " + std::to_string(numbers[std::size_t(i)]), nullptr);
    });
  }

  void CreateBig() {
    DataFileDefinition def;
    def.fields = {MakeField(1, "K", kFieldInteger), MakeField(2, "V", kFieldString, 12)};
    TIndexFileHeader h = NewIndexHeader();
    h.noPrimaryFields = 1;
    std::mt19937 rng(5);
    Append("big", def, h, kBigRows, [&](TDataFile& d, std::uint8_t* rec, int i) {
      SetFieldInt(rec, d.Field(1), static_cast<std::int32_t>(rng() % 4000000));
      SetFieldString(rec, d.Field(2), "v" + std::to_string(i), nullptr);
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
  static const bool made = [] {
    db.CreateMokuji("mokuji", true);
    db.CreateMokuji("mokuji2", false);
    db.CreateBig();
    return true;
  }();
  (void)made;
  return db;
}

sqlite3* SqliteDatabase() {
  static sqlite3* db = [] {
    sqlite3* s = nullptr;
    sqlite3_open(":memory:", &s);
    sqlite3_exec(s, "create table mokuji (MNB integer primary key, SIZE integer, CMT text);"
                    "create table big (K integer, V text); begin", nullptr, nullptr, nullptr);
    std::mt19937 rng(3);
    std::vector<int> numbers(kMokujiRows);
    for (int i = 0; i < kMokujiRows; ++i) numbers[std::size_t(i)] = i + 1;
    std::shuffle(numbers.begin(), numbers.end(), rng);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(s, "insert into mokuji values (?, ?, ?)", -1, &ins, nullptr);
    for (int i = 0; i < kMokujiRows; ++i) {
      const std::string cmt = "problem " + std::to_string(numbers[std::size_t(i)]);
      sqlite3_bind_int(ins, 1, numbers[std::size_t(i)]);
      sqlite3_bind_int(ins, 2, 1 + i % 25);
      sqlite3_bind_text(ins, 3, cmt.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    std::mt19937 rng2(5);
    sqlite3_prepare_v2(s, "insert into big values (?, ?)", -1, &ins, nullptr);
    for (int i = 0; i < kBigRows; ++i) {
      const std::string v = "v" + std::to_string(i);
      sqlite3_bind_int(ins, 1, static_cast<int>(rng2() % 4000000));
      sqlite3_bind_text(ins, 2, v.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(ins);
      sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    sqlite3_exec(s, "commit", nullptr, nullptr, nullptr);
    return s;
  }();
  return db;
}

void RunOurs(benchmark::State& state, const std::string& text, bool live, bool expectLive) {
  Database& db = Shared();
  TQueryExecution q(db.session, db.catalog);
  q.SetRequestLive(live);
  q.Prepare(text);
  if (q.Live() != expectLive) state.SkipWithError("unexpected live/canned decision");
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

void BM_ContentsLive(benchmark::State& state) { RunOurs(state, kContents, true, true); }
void BM_ContentsCannedNoIndex(benchmark::State& state) {
  RunOurs(state, "Select * from mokuji2 Where (MNB > 0 and MNB < 1000) Order By MNB", true, false);
}
void BM_ContentsSqlite(benchmark::State& state) { RunSqlite(state, kContents); }
void BM_CannedSortMillion(benchmark::State& state) {
  RunOurs(state, "select * from big order by K", false, false);
}
void BM_SortMillionSqlite(benchmark::State& state) {
  RunSqlite(state, "select * from big order by K");
}

BENCHMARK(BM_ContentsLive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContentsCannedNoIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContentsSqlite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CannedSortMillion)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SortMillionSqlite)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace kura::sql

BENCHMARK_MAIN();
