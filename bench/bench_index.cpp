// Point lookup, range count and insert in an index of 1 000 000 integer
// keys, against the same operations on an SQLite index in the same run.
// The index pages live in memory (no disk), and so does the SQLite
// database; each of our inserts also writes its dirty pages back to the
// page file and trims the cache, as every update does.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/index_key.h"
#include "engine/storage/index_page_cache.h"
#include "engine/storage/index_tree.h"

namespace kura {
namespace {

constexpr int kKeys = 1000000;
constexpr int kValueRange = 4000000;
constexpr int kRangeWidth = 1000;

std::vector<std::int32_t> RandomValues(std::uint32_t seed, int n) {
  std::mt19937 rng(seed);
  std::vector<std::int32_t> v(std::size_t(n), 0);
  for (auto& x : v) x = std::int32_t(rng() % kValueRange);
  return v;
}

// A non-unique integer index: 5-byte segment + row id.
struct KuraIndex {
  KuraIndex() {
    KeyDef d;
    KeySegment s;
    s.type = 6;
    s.storedSize = 4;
    s.slotOffset = 9;
    d.segments.push_back(s);
    d.unique = false;
    cmp = std::make_unique<KeyComparator>(d);
    shape.keyLength = 9;
    shape.unique = false;
    cache = std::make_unique<TPageCache>(shape, file, "bench");
    tree = std::make_unique<TIndexTree>(shape, *cmp, *cache, roots, "bench", "k");
    const auto values = RandomValues(1, kKeys);
    for (int i = 0; i < kKeys; ++i) Insert(values[std::size_t(i)], i + 1);
  }
  void Key(std::int32_t v, std::int32_t row, std::uint8_t* k) const {
    k[0] = 1;
    EncodeKeyInt32(v, k + 1);
    EncodeKeyRowId(row, k + 5);
  }
  void Insert(std::int32_t v, std::int32_t row) {
    std::uint8_t k[9];
    Key(v, row, k);
    tree->Insert(k, row);
    cache->EndUpdate();
  }
  PageShape shape;
  std::unique_ptr<KeyComparator> cmp;
  MemoryPageFile file;
  std::unique_ptr<TPageCache> cache;
  IndexRoots roots;
  std::unique_ptr<TIndexTree> tree;
  std::int32_t nextRow = kKeys + 1;
};

struct SqliteIndex {
  SqliteIndex() {
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, "CREATE TABLE t(k INTEGER, r INTEGER); CREATE INDEX ix ON t(k);"
                     "BEGIN;", nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?, ?)", -1, &insert, nullptr);
    const auto values = RandomValues(1, kKeys);
    for (int i = 0; i < kKeys; ++i) Insert(values[std::size_t(i)], i + 1);
    sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(db, "SELECT r FROM t WHERE k = ? LIMIT 1", -1, &lookup, nullptr);
    sqlite3_prepare_v2(db, "SELECT count(*) FROM t WHERE k BETWEEN ? AND ?", -1, &range,
                       nullptr);
  }
  ~SqliteIndex() {
    sqlite3_finalize(insert);
    sqlite3_finalize(lookup);
    sqlite3_finalize(range);
    sqlite3_close(db);
  }
  void Insert(std::int32_t v, std::int32_t row) {
    sqlite3_bind_int(insert, 1, v);
    sqlite3_bind_int(insert, 2, row);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3* db = nullptr;
  sqlite3_stmt* insert = nullptr;
  sqlite3_stmt* lookup = nullptr;
  sqlite3_stmt* range = nullptr;
  std::int32_t nextRow = kKeys + 1;
};

KuraIndex& Kura() {
  static KuraIndex index;
  return index;
}

SqliteIndex& Sqlite() {
  static SqliteIndex index;
  return index;
}

void BM_KuraPointLookup(benchmark::State& state) {
  KuraIndex& ix = Kura();
  std::mt19937 rng(7);
  std::uint8_t lo[9];
  IndexEntry e;
  for (auto _ : state) {
    // The first entry with this value: (value, smallest row id) or after.
    ix.Key(std::int32_t(rng() % kValueRange), INT32_MIN, lo);
    benchmark::DoNotOptimize(ix.tree->LowerBound(lo, &e));
    ix.cache->EndUpdate();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_SqlitePointLookup(benchmark::State& state) {
  SqliteIndex& ix = Sqlite();
  std::mt19937 rng(7);
  for (auto _ : state) {
    sqlite3_bind_int(ix.lookup, 1, std::int32_t(rng() % kValueRange));
    benchmark::DoNotOptimize(sqlite3_step(ix.lookup));
    sqlite3_reset(ix.lookup);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_KuraRangeCount(benchmark::State& state) {
  KuraIndex& ix = Kura();
  std::mt19937 rng(8);
  std::uint8_t lo[9], hi[9];
  for (auto _ : state) {
    const auto v = std::int32_t(rng() % (kValueRange - kRangeWidth));
    ix.Key(v, INT32_MIN, lo);
    ix.Key(v + kRangeWidth, INT32_MAX, hi);
    benchmark::DoNotOptimize(ix.tree->CountRange(lo, true, hi, true));
    ix.cache->EndUpdate();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_SqliteRangeCount(benchmark::State& state) {
  SqliteIndex& ix = Sqlite();
  std::mt19937 rng(8);
  for (auto _ : state) {
    const auto v = std::int32_t(rng() % (kValueRange - kRangeWidth));
    sqlite3_bind_int(ix.range, 1, v);
    sqlite3_bind_int(ix.range, 2, v + kRangeWidth);
    sqlite3_step(ix.range);
    benchmark::DoNotOptimize(sqlite3_column_int64(ix.range, 0));
    sqlite3_reset(ix.range);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_KuraInsert(benchmark::State& state) {
  KuraIndex& ix = Kura();
  std::mt19937 rng(9);
  for (auto _ : state) ix.Insert(std::int32_t(rng() % kValueRange), ix.nextRow++);
  state.SetItemsProcessed(state.iterations());
}

void BM_SqliteInsert(benchmark::State& state) {
  SqliteIndex& ix = Sqlite();
  std::mt19937 rng(9);
  for (auto _ : state) ix.Insert(std::int32_t(rng() % kValueRange), ix.nextRow++);
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_KuraPointLookup);
BENCHMARK(BM_SqlitePointLookup);
BENCHMARK(BM_KuraRangeCount);
BENCHMARK(BM_SqliteRangeCount);
BENCHMARK(BM_KuraInsert);
BENCHMARK(BM_SqliteInsert);

// Prints the usual table, then ours / SQLite in operations per second.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      const auto it = r.counters.find("items_per_second");
      if (it != r.counters.end()) perSecond_[r.benchmark_name()] = it->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const char* op : {"PointLookup", "RangeCount", "Insert"}) {
      const double ours = perSecond_[std::string("BM_Kura") + op];
      const double theirs = perSecond_[std::string("BM_Sqlite") + op];
      if (ours > 0 && theirs > 0)
        std::printf("%-12s ours %12.0f/s  sqlite %12.0f/s  ratio %.2f\n", op, ours, theirs,
                    ours / theirs);
    }
  }

 private:
  std::map<std::string, double> perSecond_;
};

}  // namespace
}  // namespace kura

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  kura::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
