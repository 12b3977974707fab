// Opening the window 成績 over 10 000 records (goal < 100 ms): the
// records read again and replayed, the figures counted, the window built
// and drawn once (Qt's offscreen platform).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QPixmap>
#include <filesystem>
#include <string>

#include "app/qt/progress_window.h"
#include "training/progress/learner_progress.h"

namespace {

using namespace sorabeku::progress;

constexpr const char* kLibrary = "/home/learner/kyozai";
constexpr std::int64_t kStart = 1'760'000'000;

// Record n of 10 000 over 500 problems in three sections and 40 days:
// three answers, then the problem finished.
AnswerRecord HistoryRecord(int n) {
  const int problem = (n / 4) % 500;
  const int mnb = 1 + problem % 3 * 1000 + problem / 3;
  const int day = n / 250;
  return {kLibrary, mnb, "fp" + std::to_string(mnb), kStart + day * 86400 + n,
          n % 4 == 3 ? RecordKind::kFinished : RecordKind::kAnswer, (n * 7 + day) % 5 != 0,
          (n * 3) % 4 != 0, 4000 + n % 20000, true};
}

void BM_OpenFiguresWindowOver10000Records(benchmark::State& state) {
  char pattern[] = "/tmp/bench_progress_window_XXXXXX";
  const std::string root = mkdtemp(pattern);
  {
    LearnerProgress progress(root + "/gakushu");
    for (int n = 0; n < 10000; ++n) progress.Record(HistoryRecord(n));
    const int today = LocalDay(kStart) + 41;
    for (auto _ : state) {
      progress.Reload();
      sorabeku::ProgressWindow window(progress.Figures(kLibrary, today), {});
      window.show();
      benchmark::DoNotOptimize(window.grab());
    }
  }
  std::filesystem::remove_all(root);
}
BENCHMARK(BM_OpenFiguresWindowOver10000Records)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
