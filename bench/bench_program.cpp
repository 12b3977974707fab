// The training screen over the engine: P1 LoadProblem of a 300-row problem
// in a library of 3 000 problems, P2 one AdvanceOneMove inside a sequence.
//   bench_program --workload=P1|P2 [--size=tiny] [--ops=N]
// The library's tables are created in a scratch directory and filled
// through the data module's live results; one JSON line per run (see
// workload_support.h), times in milliseconds.
#include <cstdio>
#include <string>

#include "app/recording_services.h"
#include "bench/problem_library.h"
#include "bench/workload_support.h"
#include "library/testing/test_library.h"
#include "training/training_screen.h"

namespace sorabeku::bench {
namespace {

using kura::bench::Arg;
using kura::bench::Result;
using kura::bench::Stopwatch;

struct Screen {
  explicit Screen(int problems)
      : lib(testing::MakeTestLibrary()), form(platform.services(), "/p/"), training(form, *lib) {
    FillLibrary(*lib, problems);
    training.Install();
    form.Create();
    lib->KuraQuery1().Locate("MNB", {std::int64_t{kBigProblem}});
  }
  RecordingServices platform;
  std::unique_ptr<testing::TestLibrary> lib;
  MainForm form;
  TrainingScreen training;
};

Result P1(Screen& s, int ops) {
  Result r{"P1", "ms/load"};
  r.operations = ops;
  Stopwatch w;
  for (int i = 0; i < ops; ++i) {
    s.training.LoadProblem();
    s.platform.sounds.clear();
    s.platform.soundPaths.clear();
  }
  r.kura = w.WallSeconds() * 1e3 / ops;
  r.kuraCpu = w.CpuSeconds() * 1e3 / ops;
  if (s.form.state.CurrentProblem != kBigProblem ||
      s.lib->KuraQuery2().RecordCount() != kBigProblemRows) {
    r.note = "the large problem was not loaded";
  }
  return r;
}

// From the head of the second sequence; placing the cursor there is not
// timed.
Result P2(Screen& s, int ops) {
  Result r{"P2", "ms/step"};
  r.operations = ops;
  s.training.LoadProblem();
  const std::int64_t head = kBaseRows + kSequenceRows + 1;
  double wall = 0, cpu = 0;
  for (int i = 0; i < ops; ++i) {
    s.lib->KuraQuery2().Locate("TNB", {head});
    s.form.state.CandidatesShown = 0;
    s.platform.sounds.clear();
    s.platform.soundPaths.clear();
    Stopwatch w;
    s.training.AdvanceOneMove();
    wall += w.WallSeconds();
    cpu += w.CpuSeconds();
  }
  r.kura = wall * 1e3 / ops;
  r.kuraCpu = cpu * 1e3 / ops;
  if (s.form.state.MoveNumber != 2) r.note = "no move was played";
  return r;
}

int Main(int argc, char** argv) {
  const std::string workload = Arg(argc, argv, "workload");
  if (workload != "P1" && workload != "P2") {
    std::fprintf(stderr, "usage: bench_program --workload=P1|P2 [--size=tiny] [--ops=N]\n");
    return 2;
  }
  const bool tiny = Arg(argc, argv, "size") == "tiny";
  const std::string opsArg = Arg(argc, argv, "ops");
  const int ops = !opsArg.empty() ? std::stoi(opsArg) : tiny ? 2 : 200;
  Screen screen(tiny ? 20 : 3000);
  kura::bench::Print(workload == "P1" ? P1(screen, ops) : P2(screen, ops));
  return 0;
}

}  // namespace
}  // namespace sorabeku::bench

int main(int argc, char** argv) {
  try {
    return sorabeku::bench::Main(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_program: %s\n", e.what());
    return 1;
  }
}
