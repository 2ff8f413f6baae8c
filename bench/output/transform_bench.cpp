// Output transform cost per DacPoint written, for a 16000-point frame of lit runs and blanked
// jumps, at the start-up calibration, with and without extra points.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>

#include "bench/support/goal_report.h"

#include "output/jm_laser.h"
#include "output/laser_ausgabe.h"
#include "show/show_store.h"
#include "widgets/status_image.h"

namespace lumarex {
namespace {

struct Rig {
  ShowStore store;
  JMLaser dac;  // unbound: the write answers at once, so only the transform is measured
  StatusImage scanninfo{250, 430};
  StatusImage deviceFenster{250, 243};
  LaserAusgabe output{store, dac, scanninfo, deviceFenster};

  Rig() {
    output.ApplyStartupSettings();
    const auto staged = output.StagedPoints();
    for (uint32_t k = 0; k < 16000; ++k) {
      // Circles of 40 points, every tenth point a blanked jump to the next circle.
      const double angle = k * 0.157;
      const bool lit = k % 10 != 0;
      staged[k] = SequencePoint{static_cast<int32_t>(20000 * std::cos(angle)) + int32_t(k % 7),
                                static_cast<int32_t>(20000 * std::sin(angle)),
                                static_cast<uint8_t>(lit ? 200 : 0),
                                static_cast<uint8_t>(lit ? k % 256 : 0),
                                static_cast<uint8_t>(lit ? 50 : 0),
                                0};
    }
  }
};

void Transform(benchmark::State& state) {
  static Rig rig;
  rig.output.Extrapoints.SetPosition(static_cast<int32_t>(state.range(0)));
  size_t points = 0;
  for (auto _ : state) {
    rig.output.TransformAndSend(16000);
    points += rig.output.LastDacPoints().size();
    benchmark::DoNotOptimize(rig.output.LastDacPoints().data());
  }
  // Scaled so that the inverted rate reads in nanoseconds.
  state.counters["ns_per_point"] =
      benchmark::Counter(static_cast<double>(points) * 1e-9,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["points_per_frame"] = static_cast<double>(rig.output.LastDacPoints().size());
}
BENCHMARK(Transform)->Arg(0)->Arg(3)->Repetitions(5)->DisplayAggregatesOnly()->Unit(
    benchmark::kMicrosecond);

// The same with a projection after it: keystone corners and two masks of eight vertices each
// (a blank one and a 30 % zone) lying across the circles, as a venue's audience mask would
// (case 0); the keystone alone (1); the two masks in corners the circles never reach (2).
void TransformAndProject(benchmark::State& state) {
  static Rig rig;
  const int variant = static_cast<int>(state.range(0));
  rig.output.Extrapoints.SetPosition(0);
  Projection projection;
  projection.corners = {FieldPoint{3000, 1000}, FieldPoint{62000, 4000}, FieldPoint{60000, 64000},
                        FieldPoint{5000, 62000}};
  const auto octagon = [](double cx, double cy, double radius) {
    std::vector<FieldPoint> polygon;
    for (int k = 0; k < 8; ++k) {
      polygon.push_back(
          {cx + radius * std::cos(k * 0.785398), cy + radius * std::sin(k * 0.785398)});
    }
    return polygon;
  };
  if (variant == 0) {
    projection.masks.push_back({octagon(42000, 40000, 5000), std::nullopt});
    projection.masks.push_back({octagon(24000, 26000, 6000), 30.0});
  } else if (variant == 2) {
    projection.masks.push_back({octagon(4000, 4000, 3000), std::nullopt});
    projection.masks.push_back({octagon(60000, 60000, 3000), 30.0});
  }
  rig.output.OutputProjection.Set(projection);
  size_t points = 0;
  size_t cut = 0;
  for (auto _ : state) {
    rig.output.TransformAndSend(16000);
    points += rig.output.LastDacPoints().size();
    benchmark::DoNotOptimize(rig.output.LastDacPoints().data());
  }
  cut = rig.output.LastDacPoints().size();
  rig.output.OutputProjection.Set(std::nullopt);
  rig.output.TransformAndSend(16000);
  state.counters["ns_per_point"] =
      benchmark::Counter(static_cast<double>(points) * 1e-9,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["points_per_frame"] = static_cast<double>(cut);
  state.counters["inserted_per_frame"] =
      static_cast<double>(cut) - static_cast<double>(rig.output.LastDacPoints().size());
}
BENCHMARK(TransformAndProject)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Repetitions(5)
    ->DisplayAggregatesOnly()
    ->Unit(benchmark::kMicrosecond);

// The machine's floor for the same output: copying a DacPoint list of the frame's length from
// one buffer to another, per point.
void CopyDacList(benchmark::State& state) {
  static Rig rig;
  rig.output.Extrapoints.SetPosition(static_cast<int32_t>(state.range(0)));
  rig.output.TransformAndSend(16000);
  const std::span<const DacPoint> list = rig.output.LastDacPoints();
  std::vector<DacPoint> copy(list.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), list.data(), list.size_bytes());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_point"] =
      benchmark::Counter(static_cast<double>(state.iterations() * list.size()) * 1e-9,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(CopyDacList)
    ->Arg(0)
    ->Arg(3)
    ->Repetitions(5)
    ->DisplayAggregatesOnly()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lumarex

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  using lumarex::bench::Goal;
  lumarex::bench::GoalReporter reporter({
      Goal{"Transform/0", "transform, 16000-point frame", "ns_per_point", false, 5.0,
           "points_per_frame"},
      Goal{"Transform/3", "transform, 16000-point frame, 3 extra points", "ns_per_point", false,
           5.0, "points_per_frame"},
      Goal{"TransformAndProject/0", "transform, keystone and two 8-vertex masks", "ns_per_point",
           false, 6.0, "points_per_frame"},
  });
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
