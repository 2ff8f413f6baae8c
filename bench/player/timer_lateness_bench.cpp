// How late the precision timer's ticks reach the user-interface thread: the time from each
// deadline of the timer's grid to the moment OnTimer runs, over a long run at the player's
// 5 ms. The counters are milliseconds.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "player/sva_timer.h"

namespace lumarex {
namespace {

using std::chrono::steady_clock;

void BM_TimerTickLateness(benchmark::State& state) {
  const auto seconds = static_cast<int>(state.range(0));
  const auto priority = static_cast<TimerThreadPriority>(state.range(1));
  constexpr uint32_t kIntervalMs = 5;
  std::vector<double> lateness;
  uint64_t missed = 0;
  for (auto _ : state) {
    QueueDispatcher ui;
    TSVATimer timer(ui);
    timer.SetThreadPriority(priority);
    timer.SetInterval(kIntervalMs);
    lateness.clear();
    lateness.reserve(static_cast<size_t>(seconds) * 1000 / kIntervalMs + 16);
    int64_t lastSlot = 0;
    steady_clock::time_point start;
    timer.OnTimer = [&](TSVATimer&) {
      const double sinceStart =
          std::chrono::duration<double, std::milli>(steady_clock::now() - start).count();
      // The grid slot this tick belongs to, and how far past its deadline it runs.
      const auto slot = static_cast<int64_t>(sinceStart / kIntervalMs);
      lateness.push_back(sinceStart - static_cast<double>(slot) * kIntervalMs);
      if (slot > lastSlot + 1) missed += static_cast<uint64_t>(slot - lastSlot - 1);
      lastSlot = slot;
    };
    start = steady_clock::now();
    timer.SetEnabled(true);
    ui.RunFor(std::chrono::seconds(seconds));
    timer.SetEnabled(false);
  }
  std::sort(lateness.begin(), lateness.end());
  auto at = [&](double q) {
    if (lateness.empty()) return 0.0;
    return lateness[std::min(lateness.size() - 1, static_cast<size_t>(q * lateness.size()))];
  };
  state.counters["ticks"] = static_cast<double>(lateness.size());
  state.counters["missed"] = static_cast<double>(missed);
  state.counters["p50_ms"] = at(0.50);
  state.counters["p99_ms"] = at(0.99);
  state.counters["max_ms"] = lateness.empty() ? 0.0 : lateness.back();
}

BENCHMARK(BM_TimerTickLateness)
    ->ArgNames({"seconds", "priority"})
    ->Args({10, static_cast<int64_t>(TimerThreadPriority::kNormal)})
    ->Args({10, static_cast<int64_t>(TimerThreadPriority::kTimeCritical)})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace lumarex

BENCHMARK_MAIN();
