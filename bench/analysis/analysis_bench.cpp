// The show analysis and the scanner model: points measured or simulated a second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/scanner_model.h"
#include "analysis/show_analysis.h"
#include "bench/support/goal_report.h"

namespace lumarex {
namespace {

// A frame as the transform makes them: lit paths of small steps with blanked moves between
// them and dwell at their ends, every tenth point a corner.
std::vector<DacPoint> ShowLikeFrame(size_t count) {
  std::vector<DacPoint> points;
  points.reserve(count);
  for (size_t k = 0; k < count; ++k) {
    const double a = 2 * std::numbers::pi * static_cast<double>(k) / 97.0;
    const double r = 12000 + 6000 * std::sin(static_cast<double>(k) * 0.37);
    const bool lit = k % 50 > 6;
    points.push_back(DacPoint{static_cast<uint16_t>(32768 + r * std::cos(a)),
                              static_cast<uint16_t>(32768 + r * std::sin(a)),
                              static_cast<uint8_t>(lit ? 255 : 0),
                              static_cast<uint8_t>(lit ? 90 : 0),
                              0,
                              static_cast<uint8_t>(lit ? 115 : 0),
                              {}});
    if (k % 50 == 49 && k + 1 < count) points.push_back(points.back()), ++k;
  }
  return points;
}

void AnalyseFrameBench(benchmark::State& state) {
  const std::vector<DacPoint> frame = ShowLikeFrame(static_cast<size_t>(state.range(0)));
  const ScannerRating rating;
  for (auto _ : state) {
    FrameAnalysis a = AnalyseFrame(frame, 30000, rating);
    benchmark::DoNotOptimize(a);
  }
  state.counters["points_per_second"] = benchmark::Counter(
      static_cast<double>(state.iterations() * frame.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(AnalyseFrameBench)
    ->Name("AnalyseFrame")
    ->Arg(300)
    ->Arg(16000)
    ->Repetitions(5)
    ->DisplayAggregatesOnly();

// The beam path as the preview draws it: one sample a point, into a buffer that is reused.
void SimulateBench(benchmark::State& state) {
  const std::vector<DacPoint> frame = ShowLikeFrame(16000);
  const auto samples = static_cast<uint32_t>(state.range(0));
  ScannerModel model;
  model.Reset();
  std::vector<BeamSample> beam;
  beam.reserve(frame.size() * samples);
  for (auto _ : state) {
    beam.clear();
    model.Simulate(frame, 30000, beam, samples);
    benchmark::DoNotOptimize(beam.data());
    benchmark::ClobberMemory();
  }
  state.counters["points_per_second"] = benchmark::Counter(
      static_cast<double>(state.iterations() * frame.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(SimulateBench)->Name("Simulate")->Arg(1)->Arg(4)->Repetitions(5)->DisplayAggregatesOnly();

}  // namespace
}  // namespace lumarex

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  using lumarex::bench::Goal;
  lumarex::bench::GoalReporter reporter({
      Goal{"AnalyseFrame/300", "analysis, 300-point frames", "points_per_second", true, 20e6, ""},
      Goal{"AnalyseFrame/16000", "analysis, 16000-point frames", "points_per_second", true, 20e6,
           ""},
      Goal{"Simulate/1", "scanner model, one sample a point", "points_per_second", true, 5e6, ""},
  });
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
