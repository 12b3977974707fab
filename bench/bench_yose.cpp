// The endgame solver on edge regions of growing size: two rows along the
// first line between a black and a white wall, N empty points in all. The
// goal is a 14-point region in under a second.
#include <benchmark/benchmark.h>

#include <string>

#include "yose/diagram.h"
#include "yose/local_analysis.h"

namespace {

using namespace sorabeku::yose;

// First row: `width` empty points between the walls; second row: the
// same width less the two boundary stones, so 2·width − 2 points.
std::string EdgeRegion(int width) {
  std::string first = "X ", second = "X ", third = "X ";
  const int half = width / 2;
  for (int i = 0; i < width; ++i) {
    first += ". ";
    second += i == half - 1 ? "X " : i == half ? "O " : ". ";
    third += i < half ? "X " : "O ";
  }
  return first + "O\n" + second + "O\n" + third + "O\n";
}

void BM_SolveEdgeRegion(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const LocalArea area = ParseDiagram(EdgeRegion(width)).Area();
  state.counters["empty_points"] = area.emptyPoints;
  for (auto _ : state) {
    try {
      const LocalResult r = AnalysePosition(area);
      benchmark::DoNotOptimize(r.value.deiri);
      state.counters["positions"] = static_cast<double>(r.positions);
    } catch (const SearchTooLarge& e) {
      state.SkipWithError(e.what());
      break;
    }
  }
}
// 6, 8, 10, 12 and 14 empty points.
BENCHMARK(BM_SolveEdgeRegion)->DenseRange(4, 8, 1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
