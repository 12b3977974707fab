// Loading one problem of 250, 1 000 and 2 000 rows on the training screen
// over the engine (the program's data module on files in a scratch
// directory). Two shapes: a base diagram that fills every row (all of them
// are drawn), and a short base diagram followed by sequences (the rows are
// read and renumbered, few are drawn). The rows carry their positions, as
// imported problems do, so a load writes nothing. Milliseconds per load;
// the time per row should stay the same from size to size.
#include <benchmark/benchmark.h>

#include "form/recording_services.h"
#include "library/move_row.h"
#include "library/sequence_walks.h"
#include "library/testing/engine_library.h"
#include "training/training_screen.h"

namespace sorabeku {
namespace {

constexpr int kProblem = 7;
constexpr int kBaseOfSequences = 40;
constexpr int kSequenceLength = 10;

int PointFor(int i) { return 1 + (i * 7) % kPointCount; }

// Black stones only, so that no stone captures (a stone that captures
// costs one search for its row besides); past 361 rows points repeat, as
// in a setup point given many times.
void AddBaseOnly(testing::TestLibrary& lib, int rows) {
  for (int r = 0; r < rows; ++r) {
    lib.AddRow({.mnb = kProblem, .col = kBlack, .pst = PointFor(r),
                .bfr = r + 1 == rows ? 1 : 0, .bto = r == 0 ? kRootMarker : 0,
                .tnb = r + 1});
  }
}

// As AddBaseOnly, without positions: the first load numbers every row.
void AddUnnumbered(testing::TestLibrary& lib, int rows) {
  for (int r = 0; r < rows; ++r) {
    lib.AddRow({.mnb = kProblem, .col = kBlack, .pst = PointFor(r),
                .bfr = r + 1 == rows ? 1 : 0, .bto = r == 0 ? kRootMarker : 0});
  }
}

// Each sequence continues the one before it or, every third one, the base.
void AddWithSequences(testing::TestLibrary& lib, int rows) {
  int r = 0;
  for (; r < kBaseOfSequences; ++r) {
    lib.AddRow({.mnb = kProblem, .col = 1 + r % 2, .pst = PointFor(r),
                .bfr = r + 1 == kBaseOfSequences ? 1 : 0,
                .bto = r == 0 ? kRootMarker : 0, .tnb = r + 1});
  }
  for (int branch = 1; r < rows; ++branch) {
    const int parent = branch % 3 == 0 ? 1 : branch;
    for (int k = 0; k < kSequenceLength && r < rows; ++k, ++r) {
      const bool last = k + 1 == kSequenceLength || r + 1 == rows;
      lib.AddRow({.mnb = kProblem, .tes = k + 1, .col = 1 + k % 2,
                  .pst = PointFor(r), .bfr = last ? branch + 1 : 0,
                  .bto = k == 0 ? parent : 0, .tnb = r + 1});
    }
  }
}

struct Screen {
  Screen() : form(platform.services(), "/p/"), training(form, lib.Queries()) {}
  void Open() {
    training.Install();
    form.Create();
    lib.OpenContents(1, 0);
    lib.KuraQuery1().Locate("MNB", {std::int64_t{kProblem}});
  }
  RecordingServices platform;
  testing::EngineLibrary lib;
  MainForm form;
  TrainingScreen training;
};

template <void (*Fill)(testing::TestLibrary&, int)>
void BM_LoadProblem(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  Screen s;
  s.lib.AddProblem(kProblem, 10);
  Fill(s.lib, rows);
  s.Open();
  for (auto _ : state) {
    s.training.LoadProblem();
    s.platform.sounds.clear();
    s.platform.soundPaths.clear();
  }
  if (s.form.state.CurrentProblem != kProblem ||
      s.lib.KuraQuery2().RecordCount() != rows) {
    state.SkipWithError("the problem was not loaded");
  }
  state.counters["us_per_row"] = benchmark::Counter(
      static_cast<double>(rows) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LoadProblem<AddBaseOnly>)
    ->Name("BM_LoadProblem/base_only")
    ->Arg(250)->Arg(1000)->Arg(2000)
    ->Unit(benchmark::kMillisecond);
// The first load only (one iteration: it writes TNB into every row).
BENCHMARK(BM_LoadProblem<AddUnnumbered>)
    ->Name("BM_LoadProblem/first_load")
    ->Arg(250)->Arg(1000)->Arg(2000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadProblem<AddWithSequences>)
    ->Name("BM_LoadProblem/sequences")
    ->Arg(250)->Arg(1000)->Arg(2000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sorabeku

BENCHMARK_MAIN();
