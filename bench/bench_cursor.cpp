// A live-style filtered cursor on a figure-shaped table of 150 000 rows
// (3 000 problems of about 50 rows, appended problem by problem with some
// rows out of place) with an index on MNB: each iteration installs the
// filter MNB = k for a random k, reads its rows in record order (every
// field) and drops the filter again. Next to it, SQLite's
// SELECT * FROM figure WHERE MNB = ? ORDER BY rowid with an index on MNB,
// both tables on disk in the same temporary directory. Also a full scan
// with a condition no index serves, reported as rows per second.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/sql/query_statement.h"
#include "engine/storage/index_header.h"
#include "engine/storage/storage_cursor.h"

namespace kura {
namespace {

constexpr int kProblems = 3000;
constexpr int kRowsPerProblem = 50;
constexpr int kRows = kProblems * kRowsPerProblem;

struct Row {
  int mnb, tes, col, pst, bfr, bto, tnb, dix;
  std::string cmt;
};

std::vector<Row> MakeRows() {
  std::mt19937 rng(11);
  std::vector<Row> rows;
  rows.reserve(kRows);
  for (int i = 0; i < kRows; ++i) {
    int mnb = 1 + i / kRowsPerProblem;
    if (rng() % 10 == 0) mnb = 1 + int(rng() % kProblems);  // a row added later
    rows.push_back({mnb, int(rng() % 300), 1 + int(rng() % 2), 1 + int(rng() % 361),
                    int(rng() % 40), int(rng() % 40), i % kRowsPerProblem, int(rng() % 100),
                    "move " + std::to_string(i % 97)});
  }
  return rows;
}

std::string TempDir() {
  std::string t = (std::filesystem::temp_directory_path() / "kura-bench-XXXXXX").string();
  return ::mkdtemp(t.data());
}

DataFileDefinition Figure() {
  DataFileDefinition def;
  def.fields = {MakeField(1, "MNB", kFieldInteger), MakeField(2, "TES", kFieldInteger),
                MakeField(3, "COL", kFieldSmallInt), MakeField(4, "PST", kFieldSmallInt),
                MakeField(5, "BFR", kFieldInteger),  MakeField(6, "BTO", kFieldInteger),
                MakeField(7, "TNB", kFieldInteger),  MakeField(8, "CMT", kFieldString, 60),
                MakeField(9, "DIX", kFieldInteger)};
  return def;
}

TIndexFileHeader MnbIndex() {
  TIndexFileHeader h = NewIndexHeader();
  h.noPrimaryFields = 1;
  h.secondaryCount = 1;
  h.slots[1].name = "ByMNB";
  h.slots[1].keyLength = 9;
  h.slots[1].fieldCount = 1;
  h.slots[1].fieldNumbers[0] = 1;
  return h;
}

class Catalog final : public sql::SqlCatalog {
 public:
  std::shared_ptr<const sql::SqlTableSchema> FindTable(std::string_view, std::string_view,
                                                       bool) override {
    auto s = std::make_shared<sql::SqlTableSchema>();
    s->name = "figure";
    for (const TFieldDescriptor& f : Figure().fields)
      s->columns.push_back({f.name, f.type, f.subtype, f.declaredSize, 0, false});
    return s;
  }
};

struct KuraSide {
  KuraSide() : dir(TempDir()), directory(session, dir), cursor(session, directory) {
    const std::vector<Row> rows = MakeRows();
    {
      TDataCursor build(session, directory);
      build.Create("figure", {.exclusive = true}, Figure(), MnbIndex());
      std::vector<std::uint8_t> image = build.NewRecord();
      for (const Row& r : rows) {
        build.InitRecord(image.data());
        const int v[] = {r.mnb, r.tes, r.col, r.pst, r.bfr, r.bto, r.tnb};
        for (int f = 0; f < 7; ++f) build.SetField(image.data(), f + 1, sql::Value::Integer(v[f]));
        build.SetField(image.data(), 8, sql::Value::String(r.cmt));
        build.SetField(image.data(), 9, sql::Value::Integer(r.dix));
        build.AddRecord(image.data(), false);
      }
    }
    cursor.Open("figure");
    statement.Prepare("select * from figure where MNB = ?");
    scan.Prepare("select * from figure where BFR + TES = 17");
  }
  ~KuraSide() {
    cursor.Close();
    std::filesystem::remove_all(dir);
  }
  TDataSession session;
  std::string dir;
  TDataDirectory directory;
  TDataCursor cursor;
  Catalog catalog;
  sql::TQueryStatement statement{catalog};
  sql::TQueryStatement scan{catalog};
};

struct SqliteSide {
  SqliteSide() : dir(TempDir()) {
    sqlite3_open((dir + "/figure.db").c_str(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE figure(MNB INTEGER, TES INTEGER, COL INTEGER, PST INTEGER,"
                 " BFR INTEGER, BTO INTEGER, TNB INTEGER, CMT TEXT, DIX INTEGER);"
                 "BEGIN;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO figure VALUES(?,?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
    for (const Row& r : MakeRows()) {
      const int v[] = {r.mnb, r.tes, r.col, r.pst, r.bfr, r.bto, r.tnb};
      for (int f = 0; f < 7; ++f) sqlite3_bind_int(insert, f + 1, v[f]);
      sqlite3_bind_text(insert, 8, r.cmt.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(insert, 9, r.dix);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT; CREATE INDEX ByMNB ON figure(MNB);", nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db, "SELECT * FROM figure WHERE MNB = ? ORDER BY rowid", -1, &select,
                       nullptr);
    sqlite3_prepare_v2(db, "SELECT * FROM figure WHERE BFR + TES = 17", -1, &scan, nullptr);
  }
  ~SqliteSide() {
    sqlite3_finalize(select);
    sqlite3_finalize(scan);
    sqlite3_close(db);
    std::filesystem::remove_all(dir);
  }
  std::string dir;
  sqlite3* db = nullptr;
  sqlite3_stmt* select = nullptr;
  sqlite3_stmt* scan = nullptr;
};

KuraSide& Kura() {
  static KuraSide side;
  return side;
}

SqliteSide& Sqlite() {
  static SqliteSide side;
  return side;
}

// Reads every field of every row the cursor shows; returns the rows.
std::int64_t ReadAll(TDataCursor& c) {
  std::int64_t rows = 0, sum = 0;
  c.First();
  while (c.Next()) {
    c.ReadCurrent();
    for (int f = 1; f <= 9; ++f) {
      const sql::Value v = c.GetField(c.Image(), f);
      sum += v.integer + static_cast<std::int64_t>(v.text.size());
    }
    ++rows;
  }
  benchmark::DoNotOptimize(sum);
  return rows;
}

std::int64_t StepAll(sqlite3_stmt* s) {
  std::int64_t rows = 0, sum = 0;
  while (sqlite3_step(s) == SQLITE_ROW) {
    for (int f = 0; f < 9; ++f) {
      sum += f == 7 ? sqlite3_column_bytes(s, f) : sqlite3_column_int(s, f);
    }
    ++rows;
  }
  sqlite3_reset(s);
  benchmark::DoNotOptimize(sum);
  return rows;
}

void BM_KuraFilteredCursor(benchmark::State& state) {
  KuraSide& k = Kura();
  std::mt19937 rng(5);
  std::int64_t rows = 0;
  for (auto _ : state) {
    k.statement.BindParameters({sql::Value::Integer(1 + int(rng() % kProblems))});
    TFilter& f = k.cursor.AddFilter(*k.statement.Master().where);
    rows += ReadAll(k.cursor);
    k.cursor.RemoveFilter(f);
  }
  state.counters["rows/query"] = double(rows) / double(state.iterations());
}
BENCHMARK(BM_KuraFilteredCursor)->Iterations(1000)->Unit(benchmark::kMicrosecond);

void BM_SqliteIndexedSelect(benchmark::State& state) {
  SqliteSide& s = Sqlite();
  std::mt19937 rng(5);
  std::int64_t rows = 0;
  for (auto _ : state) {
    sqlite3_bind_int(s.select, 1, 1 + int(rng() % kProblems));
    rows += StepAll(s.select);
  }
  state.counters["rows/query"] = double(rows) / double(state.iterations());
}
BENCHMARK(BM_SqliteIndexedSelect)->Iterations(1000)->Unit(benchmark::kMicrosecond);

void BM_KuraFullScanFilter(benchmark::State& state) {
  KuraSide& k = Kura();
  for (auto _ : state) {
    TFilter& f = k.cursor.AddFilter(*k.scan.Master().where);
    benchmark::DoNotOptimize(k.cursor.RecordCount());
    k.cursor.RemoveFilter(f);
  }
  state.counters["rows/s"] =
      benchmark::Counter(double(kRows) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_KuraFullScanFilter)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_SqliteFullScan(benchmark::State& state) {
  SqliteSide& s = Sqlite();
  for (auto _ : state) benchmark::DoNotOptimize(StepAll(s.scan));
  state.counters["rows/s"] =
      benchmark::Counter(double(kRows) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SqliteFullScan)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kura

BENCHMARK_MAIN();
