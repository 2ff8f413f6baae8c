// The preview's cost per output frame: building the draw list of a 16000-point frame in each
// mode (goal: under 10 ns a point), and replaying it on a headless llvmpipe context, which
// stands in for the window's OpenGL.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <memory>
#include <random>

#include "gl/gl_replay.h"
#include "gl/headless_context.h"
#include "preview/frame_picture.h"
#include "preview/output_picture.h"
#include "preview/simulated_output_picture.h"

namespace {

using lumarex::ShowPoint;

constexpr uint32_t kPoints = 16000;

// A busy show frame: lit paths of 5..60 points, each after a blanked move, some ending in a
// dwell of repeated points, spread over the whole field.
std::unique_ptr<lumarex::ShowStore> BusyFrame() {
  auto store = std::make_unique<lumarex::ShowStore>();
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coordinate(-30000, 30000);
  std::uniform_int_distribution<int> length(5, 60);
  std::uniform_int_distribution<int> step(-900, 900);
  std::uniform_int_distribution<int> colour(0, 255);
  const auto frame = store->NewFrame(kPoints);
  uint32_t k = 0;
  while (k < kPoints) {
    ShowPoint p;
    p.X = static_cast<int16_t>(coordinate(rng));
    p.Y = static_cast<int16_t>(coordinate(rng));
    frame[k++] = p;
    p.Visible = 1;
    p.R = static_cast<uint8_t>(colour(rng));
    p.G = static_cast<uint8_t>(colour(rng));
    p.B = static_cast<uint8_t>(colour(rng));
    for (int n = length(rng); n > 0 && k < kPoints; --n) {
      p.X = static_cast<int16_t>(std::clamp(p.X + step(rng), -32768, 32767));
      p.Y = static_cast<int16_t>(std::clamp(p.Y + step(rng), -32768, 32767));
      frame[k++] = p;
    }
    for (int n = 0; n < 3 && k < kPoints; ++n) frame[k++] = p;  // dwell
  }
  store->CommitFrame(kPoints - 1, lumarex::FrameTail::kAllReal);
  return store;
}

void PerPoint(benchmark::State& state) {
  state.counters["per_point"] = benchmark::Counter(
      kPoints, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BuildDrawList(benchmark::State& state) {
  const auto store = BusyFrame();
  const auto mode = static_cast<uint8_t>(state.range(0));
  lumarex::DrawList list;
  lumarex::BuildPreviewPicture(*store, 0, mode, list);  // grown once, as in the player
  for (auto _ : state) {
    lumarex::BuildPreviewPicture(*store, 0, mode, list);
    benchmark::DoNotOptimize(list.Vertices().data());
  }
  PerPoint(state);
  state.SetLabel(std::string(lumarex::PreviewModeLabel(mode)));
}
BENCHMARK(BuildDrawList)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

// The busy frame as the output view gets it: DacPoints over the whole field, lit points lit.
std::vector<lumarex::DacPoint> BusyDacFrame() {
  const auto store = BusyFrame();
  std::vector<lumarex::DacPoint> points;
  for (const ShowPoint& p : store->Frame(0)) {
    const uint8_t on = p.Visible != 0 ? 1 : 0;
    points.push_back({static_cast<uint16_t>(p.X + 32768),
                      static_cast<uint16_t>(p.Y + 32768),
                      static_cast<uint8_t>(p.R * on),
                      static_cast<uint8_t>(p.G * on),
                      static_cast<uint8_t>(p.B * on),
                      static_cast<uint8_t>(85 * on),
                      {}});
  }
  return points;
}

// The output view of a 16000-point write at 30 kpps: the commanded points (range 0) and the
// scanner model's beam path of it (range 1: two passes of four samples a point).
void BuildOutputView(benchmark::State& state) {
  const std::vector<lumarex::DacPoint> points = BusyDacFrame();
  const bool simulated = state.range(0) == 1;
  lumarex::DrawList list;
  lumarex::SimulatedOutputPicture simulation;
  const lumarex::ScannerRating rating;
  const auto build = [&] {
    if (simulated) {
      simulation.Build(points, 30000, rating, lumarex::OutputWindow{}, list);
    } else {
      lumarex::BuildOutputPicture(points, lumarex::OutputWindow{}, list);
    }
  };
  build();  // grown once, as in the window
  for (auto _ : state) {
    build();
    benchmark::DoNotOptimize(list.Vertices().data());
  }
  PerPoint(state);
  state.SetLabel(simulated ? "Scanner-Simulation" : "commanded");
}
BENCHMARK(BuildOutputView)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);

void ReplayHeadless(benchmark::State& state) {
  lumarex::HeadlessContext context(680, 680);
  if (!context.Ready()) {
    state.SkipWithError(context.Error().c_str());
    return;
  }
  const auto store = BusyFrame();
  const auto mode = static_cast<uint8_t>(state.range(0));
  lumarex::DrawList list;
  lumarex::BuildPreviewPicture(*store, 0, mode, list);
  lumarex::ApplyView(lumarex::kPreviewView, 680, 680);
  for (auto _ : state) {
    lumarex::ReplayDrawList(list);
    glFinish();  // the picture is drawn, not just queued
  }
  PerPoint(state);
}
BENCHMARK(ReplayHeadless)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
