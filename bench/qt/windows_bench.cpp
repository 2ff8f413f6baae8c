// The desktop program's figures, in a real (virtual) display with Mesa's software OpenGL:
//   StartupToFirstPicture: from making the program to the start animation's first picture.
//   LoadWhileResponsive:   loading a 200 MB ILDA show in the window, and the longest time the
//                          window went without processing its events (goal: under 100 ms).
//   PlayRate50:            the window playing 1000-point frames at rate 50 to the virtual DAC:
//                          the share of due frames handled and taken (goal: at least 99 %).
//   OptimiseFileSpeed:     "Optimiere File Speed" over a 10000-frame show with the window open,
//                          in frames per second (goal: at least 5000).
// Run: xvfb-run -a -s "-screen 0 1400x900x24" bench_windows  (LUMAREX_BENCH_SECONDS: play time)

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>

#include "qt/program.h"
#include "show/show_files.h"

namespace lumarex {
namespace {

std::unique_ptr<qt::Program> MakeProgram() {
  qt::Program::Options options;
  options.startup.audioOutput = false;
  options.startup.driverFolder = std::string(LUMAREX_BIN_DIR) + "/";
  auto program = std::make_unique<qt::Program>(options);
  program->Desktop().scripted = true;
  return program;
}

// An ILDA show of `frames` frames of `points` points, written once per run of the benchmark.
std::string ShowFile(uint32_t frames, uint32_t points) {
  const auto path =
      std::filesystem::temp_directory_path() /
      ("lumarex_windows_bench_" + std::to_string(frames) + "x" + std::to_string(points) + ".ild");
  if (std::filesystem::exists(path)) return path.string();
  ShowStore store;
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> coordinate(-30000, 30000);
  for (uint32_t f = 0; f < frames; ++f) {
    const auto slot = store.NewFrame(points);
    for (uint32_t k = 0; k < points; ++k) {
      slot[k].X = static_cast<int16_t>(coordinate(rng));
      slot[k].Y = static_cast<int16_t>(coordinate(rng));
      slot[k].Visible = k % 25 != 0 ? 1 : 0;
      slot[k].R = static_cast<uint8_t>(f);
      slot[k].G = static_cast<uint8_t>(k);
      slot[k].B = 200;
    }
    store.CommitFrame(static_cast<uint16_t>(points - 1), FrameTail::kAllReal);
  }
  SilentDesktopServices quiet;
  SaveShowFile(store, path.string(), 0, frames - 1, quiet);
  return path.string();
}

void Load(qt::Program& program, const std::string& show) {
  program.Desktop().scriptedPaths.push_back(show);
  program.Main().Action("Lade_File")->trigger();
}

void StartupToFirstPicture(benchmark::State& state) {
  for (auto _ : state) {
    QElapsedTimer clock;
    clock.start();
    auto program = MakeProgram();
    program->Start(nullptr);
    while (program->Form().AnimationAngle == 0) QApplication::processEvents();
    state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
  }
}
BENCHMARK(StartupToFirstPicture)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void LoadWhileResponsive(benchmark::State& state) {
  const std::string show = ShowFile(8300, 3000);  // 8 bytes a point: 200 MB
  double worstGapMs = 0;
  for (auto _ : state) {
    auto program = MakeProgram();
    program->Start(nullptr);
    // A timer that would fire every 10 ms: the gaps between its firings are the times the
    // window could not have repainted.
    QElapsedTimer gap;
    gap.start();
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
      worstGapMs = std::max(worstGapMs, static_cast<double>(gap.nsecsElapsed()) / 1e6);
      gap.restart();
    });
    probe.start(10);
    QElapsedTimer clock;
    clock.start();
    gap.restart();
    Load(*program, show);
    state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    state.counters["frames"] = program->Form().Store.FrameCount;
  }
  state.counters["worst_gap_ms"] = worstGapMs;
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(show)) / 1e6;
}
BENCHMARK(LoadWhileResponsive)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void PlayRate50(benchmark::State& state) {
  const char* env = std::getenv("LUMAREX_BENCH_SECONDS");
  const int seconds = env != nullptr ? std::max(1, std::atoi(env)) : 10;
  const std::string show = ShowFile(3000, 1000);
  for (auto _ : state) {
    auto program = MakeProgram();
    program->Start(nullptr);
    Load(*program, show);
    Tform1& f = program->Form();
    f.Output.Scanspeed.SetPosition(80);
    f.Player.Irq_Speed.SetPosition(50);
    f.Player.Play.Click();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) QApplication::processEvents(QEventLoop::AllEvents, 5);
    const ShowPlayer& p = f.Player;
    const double due = static_cast<double>(p.PlayTimeMs / p.FramePeriodMs);
    const double handled = p.FramesAccepted() + p.RefusedFrames;
    state.counters["frames_due"] = due;
    state.counters["handled_share"] = handled / due;
    state.counters["taken_share"] = p.FramesAccepted() / due;
    state.counters["ticks_per_s"] = p.TimerRequests / (p.PlayTimeMs / 1000.0);
    f.Player.Stop.Click();
  }
}
BENCHMARK(PlayRate50)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void OptimiseFileSpeed(benchmark::State& state) {
  const std::string show = ShowFile(10000, 300);
  for (auto _ : state) {
    state.PauseTiming();
    auto program = MakeProgram();
    program->Start(nullptr);
    Load(*program, show);
    program->Main().Action("Optimiereaufscannerwege1")->trigger();
    auto* speed =
        static_cast<QPushButton*>(program->Optimiser().ControlWidget("Optimieren_File_Speed"));
    state.ResumeTiming();
    speed->click();
    state.PauseTiming();
    program->Optimiser().Action("Zurueck")->trigger();
    program.reset();
    state.ResumeTiming();
  }
  state.counters["frames_per_s"] =
      benchmark::Counter(10000, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(OptimiseFileSpeed)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumarex

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
