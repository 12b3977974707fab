// Loading a large problem and one step forward on the training screen,
// over the in-memory library (the walks and the drawing; the engine's own
// cost is measured by its benchmarks). Times are milliseconds; one frame is
// 16 ms.
#include <benchmark/benchmark.h>

#include "app/recording_services.h"
#include "library/move_row.h"
#include "library/sequence_walks.h"
#include "library/testing/memory_library.h"
#include "training/training_screen.h"

namespace sorabeku {
namespace {

constexpr int kProblems = 3000;
constexpr int kRowsPerOtherProblem = 20;
constexpr int kBigProblem = 12;
constexpr int kBigProblemRows = 300;
constexpr int kBaseRows = 40;
constexpr int kSequenceRows = 10;

// Points spread over the board so that stones rarely touch.
int PointFor(int i) { return 1 + (i * 7) % kPointCount; }

// A problem of kBigProblemRows rows: a base diagram of kBaseRows rows and
// sequences of kSequenceRows rows, each continuing the one before it or,
// every third one, branching from the base diagram.
void AddBigProblem(testing::MemoryLibrary& lib) {
  lib.AddProblem(kBigProblem, 10);
  int row = 0;
  for (; row < kBaseRows; ++row) {
    lib.AddRow({.mnb = kBigProblem, .col = 1 + row % 2, .pst = PointFor(row),
                .bfr = row + 1 == kBaseRows ? 1 : 0,
                .bto = row == 0 ? kRootMarker : 0});
  }
  int branch = 1;
  while (row < kBigProblemRows) {
    const int parent = branch % 3 == 0 ? 1 : branch;
    ++branch;
    for (int k = 0; k < kSequenceRows && row < kBigProblemRows; ++k, ++row) {
      const bool last = k + 1 == kSequenceRows || row + 1 == kBigProblemRows;
      lib.AddRow({.mnb = kBigProblem, .tes = k + 1, .col = 1 + k % 2,
                  .pst = PointFor(row), .bfr = last ? branch : 0,
                  .bto = k == 0 ? parent : 0});
    }
  }
}

void FillLibrary(testing::MemoryLibrary& lib) {
  for (int mnb = 1; mnb <= kProblems; ++mnb) {
    if (mnb == kBigProblem) {
      AddBigProblem(lib);
      continue;
    }
    const int number = mnb < 1000 ? mnb : mnb + 1;  // skip 1000, 2000
    lib.AddProblem(number, 1 + mnb % 25);
    for (int r = 0; r < kRowsPerOtherProblem; ++r) {
      lib.AddRow({.mnb = number, .col = 1 + r % 2, .pst = PointFor(r),
                  .bfr = r + 1 == kRowsPerOtherProblem ? 1 : 0,
                  .bto = r == 0 ? kRootMarker : 0});
    }
  }
}

struct Screen {
  Screen() : form(platform.services(), "/p/"), training(form, lib) {
    FillLibrary(lib);
    training.Install();
    form.Create();
    lib.KuraQuery1().Locate("MNB", {std::int64_t{kBigProblem}});
  }
  RecordingServices platform;
  testing::MemoryLibrary lib;
  MainForm form;
  TrainingScreen training;
};

void BM_LoadProblem(benchmark::State& state) {
  Screen s;
  for (auto _ : state) {
    s.training.LoadProblem();
    s.platform.sounds.clear();
    s.platform.soundPaths.clear();
  }
  if (s.form.state.CurrentProblem != kBigProblem ||
      s.lib.KuraQuery2().RecordCount() != kBigProblemRows) {
    state.SkipWithError("the large problem was not loaded");
  }
}
BENCHMARK(BM_LoadProblem)->Unit(benchmark::kMillisecond);

// One move inside a sequence, from the head of the second sequence.
void BM_AdvanceOneMove(benchmark::State& state) {
  Screen s;
  s.training.LoadProblem();
  const std::int64_t head = kBaseRows + kSequenceRows + 1;
  for (auto _ : state) {
    state.PauseTiming();
    s.lib.KuraQuery2().Locate("TNB", {head});
    s.form.state.CandidatesShown = 0;
    s.platform.sounds.clear();
    s.platform.soundPaths.clear();
    state.ResumeTiming();
    s.training.AdvanceOneMove();
  }
  if (s.form.state.MoveNumber != 2) state.SkipWithError("no move was played");
}
BENCHMARK(BM_AdvanceOneMove)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sorabeku

BENCHMARK_MAIN();
