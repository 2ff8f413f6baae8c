// The player's cost and punctuality. TickFrameWork: what a tick does with a new frame of
// 16000 points (its preview draw list with the statistics, and the output transform), per
// mode. PlayTickLateness: the main window playing a show of 1000-point frames at rate 50 and
// scan speed 80K to the virtual DAC (which then takes every frame in time), its frame clock
// on the precision timer: how late each tick runs after its deadline (milliseconds), and the
// shares of due frames handled and taken by the device. FourProjectorsPlay: the same at rate
// 50 with 16000-point frames to a rig of four virtual DACs, each projector with its own
// calibration and a keystone with two 8-vertex masks: the work of each tick that sends a
// frame (milliseconds) and every projector's share of due frames handled and taken.
// LUMAREX_BENCH_SECONDS sets the length of the runs (default 10).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
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

// The rig benchmark's four projectors; the others open only the first.
const bool kFourVirtualDacs = ::setenv("LUMAREX_VIRTUAL_DACS", "4", 0) == 0;

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

Projection KeystoneWithTwoMasks(double shift) {
  Projection p;
  p.corners = {FieldPoint{2000 + shift, 1000}, FieldPoint{63000, 3000}, FieldPoint{61000, 64000},
               FieldPoint{4000, 62000}};
  for (const double cx : {16000.0, 48000.0}) {
    ProjectionMask mask;
    for (int k = 0; k < 8; ++k) {
      const double angle = k * 3.14159265358979 / 4;
      mask.polygon.push_back({cx + 6000 * std::cos(angle), 20000 + 6000 * std::sin(angle)});
    }
    p.masks.push_back(mask);
  }
  return p;
}

void FourProjectorsPlay(benchmark::State& state) {
  const char* env = std::getenv("LUMAREX_BENCH_SECONDS");
  const int seconds = env != nullptr ? std::max(1, std::atoi(env)) : 10;
  std::vector<double> work;
  uint32_t due = 0;
  std::vector<double> handledShare, takenShare;
  for (auto _ : state) {
    QueueDispatcher ui;
    ManualTimer startTimer;
    SvaUiTimer showplay(ui);
    Window w(true, startTimer, showplay);
    Tform1& f = *w.form;
    if (!kFourVirtualDacs || f.Devices.DeviceCount < 4) {
      state.SkipWithError("four virtual DACs wanted (build the driver library)");
      return;
    }
    // Longer than the run, so that every tick of it has a frame due.
    const auto frames = static_cast<uint32_t>(seconds * 50 + 50);
    FillShow(f.Store, frames, 16000);
    f.Player.Framescroll.SetRange(0, static_cast<int32_t>(frames - 1));
    f.Player.Irq_Speed.SetPosition(50);
    for (int k = 1; k <= 4; ++k) {
      if (k > 1) f.Projectors.AddOutput();
      if (!f.Projectors.OpenDevice(k, std::to_string(k - 1)).empty()) {
        state.SkipWithError("a virtual DAC would not open");
        return;
      }
      LaserAusgabe& o = f.Projectors.Output(k);
      o.Scanspeed.SetPosition(80);
      o.Achse_X.SetLeft(20 + k);
      f.Projectors.SetProjection(k, KeystoneWithTwoMasks(k * 500.0));
    }
    work.clear();
    work.reserve(static_cast<size_t>(seconds) * 60 + 64);
    const auto tick = showplay.OnTimer;
    bool framed = false;
    f.Player.OnFrameHandled = [&framed](uint16_t, uint64_t, bool) { framed = true; };
    showplay.OnTimer = [&] {
      framed = false;
      const auto start = steady_clock::now();
      tick();
      if (framed) {
        work.push_back(
            std::chrono::duration<double, std::milli>(steady_clock::now() - start).count());
      }
    };
    f.Projectors.ResetCounters();
    f.Player.Play.Click();
    ui.RunFor(std::chrono::seconds(seconds));
    const ShowPlayer& p = f.Player;
    due = static_cast<uint32_t>(p.PlayTimeMs / p.FramePeriodMs);
    handledShare.assign(1, due > 0 ? double(p.FramesAccepted() + p.RefusedFrames) / due : 0.0);
    takenShare.assign(1, due > 0 ? double(p.FramesAccepted()) / due : 0.0);
    for (int k = 2; k <= 4; ++k) {
      const uint32_t a = f.Projectors.Accepted(k), r = f.Projectors.Refused(k);
      handledShare.push_back(due > 0 ? double(a + r) / due : 0.0);
      takenShare.push_back(due > 0 ? double(a) / due : 0.0);
    }
    f.Player.Stop.Click();
  }
  std::sort(work.begin(), work.end());
  auto at = [&](double q) {
    return work.empty() ? 0.0
                        : work[std::min(work.size() - 1, static_cast<size_t>(q * work.size()))];
  };
  state.counters["frame_ticks"] = static_cast<double>(work.size());
  state.counters["work_p50_ms"] = at(0.50);
  state.counters["work_p99_ms"] = at(0.99);
  state.counters["work_max_ms"] = work.empty() ? 0.0 : work.back();
  state.counters["frames_due"] = due;
  for (size_t k = 0; k < handledShare.size(); ++k) {
    const std::string n = std::to_string(k + 1);
    state.counters["handled_share_" + n] = handledShare[k];
    state.counters["taken_share_" + n] = takenShare[k];
  }
}
BENCHMARK(FourProjectorsPlay)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace lumarex

BENCHMARK_MAIN();
