// The player's cost and punctuality. TickFrameWork: what a tick does with a new frame of
// 16000 points (its preview draw list with the statistics, and the output transform), per
// mode. PlayTickLateness: the main window playing a show of 1000-point frames at rate 50 and
// scan speed 80K to the virtual DAC (which then takes every frame in time), its frame clock
// on the precision timer: how late each tick runs after its deadline (milliseconds), and the
// shares of due frames handled and taken by the device. LUMAREX_BENCH_SECONDS sets
// the length of the run (default 10).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "mainwindow/tform1.h"
#include "player/sva_ui_timer.h"

namespace lumarex {
namespace {

using std::chrono::steady_clock;

// Frames of `points` points: lit runs of random vectors after blanked moves.
void FillShow(ShowStore& store, uint32_t frames, uint32_t points) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> coordinate(-30000, 30000);
  store.FrameCount = 0;
  for (uint32_t f = 0; f < frames; ++f) {
    const auto slot = store.NewFrame(points);
    for (uint32_t k = 0; k < points; ++k) {
      ShowPoint& p = slot[k];
      p.X = static_cast<int16_t>(coordinate(rng));
      p.Y = static_cast<int16_t>(coordinate(rng));
      p.Visible = k % 20 != 0 ? 1 : 0;
      p.R = static_cast<uint8_t>(k);
      p.G = static_cast<uint8_t>(255 - k);
      p.B = 128;
    }
    store.CommitFrame(static_cast<uint16_t>(points - 1), FrameTail::kAllReal);
  }
}

struct Window {
  explicit Window(bool devices, UiTimer& startTimer, UiTimer& showplayTimer) {
    form = std::make_unique<Tform1>(
        Tform1Services{desktop, clock, startTimer, showplayTimer, preview});
    StartupOptions options;
    options.bindDevices = devices;
    options.audioOutput = false;
    options.driverFolder = std::string(LUMAREX_BIN_DIR) + "/";
    form->ProgramStart(nullptr, options);
    form->StopStartAnimation();
  }
  SilentDesktopServices desktop;
  SteadyClock clock;
  CountingPreview preview;
  std::unique_ptr<Tform1> form;
};

void TickFrameWork(benchmark::State& state) {
  ManualTimer start, showplay;
  Window w(false, start, showplay);
  FillShow(w.form->Store, 2, 16000);
  w.form->OGL_Effekt.SetPosition(static_cast<int32_t>(state.range(0)));
  uint16_t frame = 0;
  for (auto _ : state) {
    // The two things a tick does with a new frame besides its counters.
    w.form->DrawPreviewFrame(frame);
    w.form->Output.OutputFrame(frame);
    frame ^= 1;
  }
  state.counters["per_point"] = benchmark::Counter(
      16000, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(TickFrameWork)->ArgName("mode")->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

void PlayTickLateness(benchmark::State& state) {
  const char* env = std::getenv("LUMAREX_BENCH_SECONDS");
  const int seconds = env != nullptr ? std::max(1, std::atoi(env)) : 10;
  constexpr double kIntervalMs = 5.0;
  std::vector<double> lateness;
  uint64_t missed = 0;
  uint32_t handled = 0, due = 0, refused = 0;
  for (auto _ : state) {
    QueueDispatcher ui;
    ManualTimer startTimer;
    SvaUiTimer showplay(ui);
    Window w(true, startTimer, showplay);
    if (w.form->Devices.DeviceCount <= 0) {
      state.SkipWithError("no virtual DAC (build the driver library)");
      return;
    }
    FillShow(w.form->Store, 3000, 1000);
    w.form->Output.Scanspeed.SetPosition(80);
    w.form->Player.Framescroll.SetRange(0, 2999);
    w.form->Player.Irq_Speed.SetPosition(50);
    lateness.clear();
    lateness.reserve(static_cast<size_t>(seconds) * 200 + 64);
    int64_t lastSlot = 0;
    steady_clock::time_point enabled;
    const auto tick = showplay.OnTimer;
    showplay.OnTimer = [&] {
      const double since =
          std::chrono::duration<double, std::milli>(steady_clock::now() - enabled).count();
      const auto slot = static_cast<int64_t>(since / kIntervalMs);
      lateness.push_back(since - static_cast<double>(slot) * kIntervalMs);
      if (slot > lastSlot + 1) missed += static_cast<uint64_t>(slot - lastSlot - 1);
      lastSlot = slot;
      tick();
    };
    enabled = steady_clock::now();
    w.form->Player.Play.Click();
    ui.RunFor(std::chrono::seconds(seconds));
    const ShowPlayer& p = w.form->Player;
    due = static_cast<uint32_t>(p.PlayTimeMs / p.FramePeriodMs);
    handled = p.FramesAccepted() + p.RefusedFrames;
    refused = p.RefusedFrames;
    w.form->Player.Stop.Click();
  }
  std::sort(lateness.begin(), lateness.end());
  auto at = [&](double q) {
    return lateness.empty()
               ? 0.0
               : lateness[std::min(lateness.size() - 1, static_cast<size_t>(q * lateness.size()))];
  };
  state.counters["ticks"] = static_cast<double>(lateness.size());
  state.counters["missed"] = static_cast<double>(missed);
  state.counters["p50_ms"] = at(0.50);
  state.counters["p99_ms"] = at(0.99);
  state.counters["max_ms"] = lateness.empty() ? 0.0 : lateness.back();
  state.counters["frames_due"] = due;
  state.counters["handled_share"] = due > 0 ? static_cast<double>(handled) / due : 0.0;
  state.counters["refused"] = refused;
  state.counters["taken_share"] = due > 0 ? static_cast<double>(handled - refused) / due : 0.0;
}
BENCHMARK(PlayTickLateness)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace lumarex

BENCHMARK_MAIN();
