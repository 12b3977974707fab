// Loading a large problem and one step forward on the training screen,
// over the in-memory library (the walks and the drawing; the engine's own
// cost is measured by its benchmarks). Times are milliseconds; one frame is
// 16 ms.
#include <benchmark/benchmark.h>

#include "bench/problem_library.h"
#include "form/recording_services.h"
#include "library/move_row.h"
#include "library/sequence_walks.h"
#include "library/testing/memory_library.h"
#include "training/training_screen.h"

namespace sorabeku {
namespace {

constexpr int kProblems = 3000;
using namespace bench;

struct Screen {
  Screen() : form(platform.services(), "/p/"), training(form, lib) {
    FillLibrary(lib, kProblems);
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
