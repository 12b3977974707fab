// The learner's records: recording one answer (goal < 1 ms), the records
// window's figures over 10 000 records read from the table (goal
// < 100 ms), and picking the next due problem among 3 000 (goal < 5 ms),
// the last both on the schedule in memory and with the records read and
// replayed first.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "training/progress/progress_figures.h"
#include "training/progress/progress_records.h"
#include "training/progress/review_schedule.h"

namespace {

using namespace sorabeku::progress;

constexpr const char* kLibrary = "/home/learner/kyozai";
constexpr std::int64_t kStart = 1'760'000'000;

std::string ScratchDirectory() {
  char pattern[] = "/tmp/bench_progress_XXXXXX";
  return std::string(mkdtemp(pattern)) + "/gakushu";
}

// Record n of a made-up history over `problems` problems in three sections:
// each problem answered three times then finished, a day apart per round.
AnswerRecord HistoryRecord(int n, int problems) {
  const int round = n / (4 * problems);
  const int problem = (n / 4) % problems;
  const int mnb = 1 + problem % 3 * 1000 + problem / 3;
  const bool finished = n % 4 == 3;
  return {kLibrary, mnb, "fp" + std::to_string(mnb), kStart + round * 86400 + n,
          finished ? RecordKind::kFinished : RecordKind::kAnswer, (n * 7 + round) % 5 != 0,
          (n * 3) % 4 != 0, 4000 + n % 20000, true};
}

void WriteHistory(ProgressRecords& records, int count, int problems) {
  for (int n = 0; n < count; ++n) records.Record(HistoryRecord(n, problems));
}

void BM_RecordOneAnswer(benchmark::State& state) {
  const std::string dir = ScratchDirectory();
  {
    ProgressRecords records(dir);
    int n = 0;
    for (auto _ : state) {
      if (!records.Record(HistoryRecord(n++, 3000))) state.SkipWithError("not recorded");
    }
  }
  std::filesystem::remove_all(std::filesystem::path(dir).parent_path());
}
BENCHMARK(BM_RecordOneAnswer)->Unit(benchmark::kMicrosecond);

void BM_FiguresOver10000Records(benchmark::State& state) {
  const std::string dir = ScratchDirectory();
  {
    ProgressRecords records(dir);
    WriteHistory(records, 10000, 500);
    for (auto _ : state) {
      const std::vector<AnswerRecord> all = records.ReadAll();
      const ReviewSchedule schedule(all);
      const ProgressFigures f = ComputeFigures(all, schedule, kLibrary, LocalDay(kStart) + 30);
      benchmark::DoNotOptimize(f);
    }
  }
  std::filesystem::remove_all(std::filesystem::path(dir).parent_path());
}
BENCHMARK(BM_FiguresOver10000Records)->Unit(benchmark::kMillisecond);

void BM_NextDueAmong3000InMemory(benchmark::State& state) {
  ReviewSchedule schedule;
  for (int n = 0; n < 4 * 3000 * 2; ++n) schedule.Add(HistoryRecord(n, 3000));
  const int today = LocalDay(kStart) + 10;
  for (auto _ : state) benchmark::DoNotOptimize(schedule.NextDue(kLibrary, today));
  state.counters["due"] = schedule.DueCount(kLibrary, today);
}
BENCHMARK(BM_NextDueAmong3000InMemory)->Unit(benchmark::kMicrosecond);

void BM_NextDueAmong3000FromTheTable(benchmark::State& state) {
  const std::string dir = ScratchDirectory();
  {
    ProgressRecords records(dir);
    WriteHistory(records, 4 * 3000, 3000);
    const int today = LocalDay(kStart) + 10;
    for (auto _ : state) {
      const ReviewSchedule schedule(records.ReadAll());
      benchmark::DoNotOptimize(schedule.NextDue(kLibrary, today));
    }
  }
  std::filesystem::remove_all(std::filesystem::path(dir).parent_path());
}
BENCHMARK(BM_NextDueAmong3000FromTheTable)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
