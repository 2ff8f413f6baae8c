// Frames per second of the path optimiser, and the greedy ordering of the largest frame beside
// the plain search that tries every unplaced path for every position.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "optimiser/greedy_reference.h"
#include "optimiser/optiframe.h"
#include "tests/support/frame_builder.h"

namespace lumarex {
namespace {

// The table's limit of short paths (two or three lit points) scattered over the field.
std::vector<ShowPoint> LargestFrame() {
  std::mt19937 rng(4048);
  return test::RandomFrame(rng, kMaxPaths, 2, test::Spread::kField);
}

// What a show frame usually holds: a few hundred points in a few dozen paths.
std::vector<ShowPoint> TypicalFrame(std::mt19937& rng) {
  return test::RandomFrame(rng, 30, 18, test::Spread::kField);
}

void SetFramesPerSecond(benchmark::State& state, int64_t framesPerIteration) {
  state.counters["frames_per_second"] = benchmark::Counter(
      static_cast<double>(state.iterations() * framesPerIteration), benchmark::Counter::kIsRate);
}

void BM_OrderLargestFrameFast(benchmark::State& state) {
  Optiframe core;
  const uint16_t n = core.ExtractPaths(LargestFrame());
  const bool fromCenter = state.range(0) == 1;
  for (auto _ : state) {
    if (fromCenter) {
      core.OrderFromCenter(n);
    } else {
      core.OrderFromFrameStart(n);
    }
    benchmark::DoNotOptimize(core.Order().data());
  }
}
BENCHMARK(BM_OrderLargestFrameFast)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_OrderLargestFramePlain(benchmark::State& state) {
  Optiframe core;
  const uint16_t n = core.ExtractPaths(LargestFrame());
  std::vector<PathEntry> paths(core.Paths().begin(), core.Paths().end());
  std::vector<OrderEntry> order(n + 1u);
  const bool fromCenter = state.range(0) == 1;
  for (auto _ : state) {
    if (fromCenter) {
      ReferenceOrderFromCenter(paths, n, order);
    } else {
      ReferenceOrderFromFrameStart(paths, n, order);
    }
    benchmark::DoNotOptimize(order.data());
  }
}
BENCHMARK(BM_OrderLargestFramePlain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Extraction, ordering and rebuild of the largest frame, as the optimiser window runs them.
void BM_OptimiseLargestFrame(benchmark::State& state) {
  Optiframe core;
  const auto frame = LargestFrame();
  OptimiserParameters params;
  params.SearchMode = static_cast<uint8_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(core.OptimiseFrame(frame, params));
  }
  SetFramesPerSecond(state, 1);
}
BENCHMARK(BM_OptimiseLargestFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_OptimiseTypicalFrame(benchmark::State& state) {
  Optiframe core;
  std::mt19937 rng(25);
  const auto frame = TypicalFrame(rng);
  OptimiserParameters params;
  params.SearchMode = static_cast<uint8_t>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(core.OptimiseFrame(frame, params));
  }
  state.counters["points"] = static_cast<double>(frame.size());
  SetFramesPerSecond(state, 1);
}
BENCHMARK(BM_OptimiseTypicalFrame)->Arg(0)->Arg(1);

// Every frame of a 10000-frame show optimised and written back into the store.
void BM_OptimiseWholeShow(benchmark::State& state) {
  constexpr uint32_t kFrames = 10000;
  std::mt19937 rng(10000);
  std::vector<std::vector<ShowPoint>> frames;
  frames.reserve(kFrames);
  for (uint32_t f = 0; f < kFrames; ++f) frames.push_back(TypicalFrame(rng));
  ShowStore store;
  Optiframe core;
  OptimiserParameters params;
  for (auto _ : state) {
    state.PauseTiming();
    store.ClearShow();
    store.FrameCount = 0;
    for (const auto& frame : frames) {
      const auto points = store.NewFrame(static_cast<uint32_t>(frame.size()));
      std::copy(frame.begin(), frame.end(), points.begin());
      store.CommitFrame(static_cast<uint16_t>(frame.size() - 1), FrameTail::kAllReal);
    }
    state.ResumeTiming();
    for (uint32_t f = 0; f < kFrames; ++f) {
      core.OptimiseFrame(store, f, params);
      if (core.HasStorableResult()) store.ReplaceFrame(f, core.Optimised());
    }
    benchmark::DoNotOptimize(store.LastPointIndex.data());
  }
  SetFramesPerSecond(state, kFrames);
}
BENCHMARK(BM_OptimiseWholeShow)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumarex

BENCHMARK_MAIN();
