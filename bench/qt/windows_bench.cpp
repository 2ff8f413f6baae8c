// The desktop program's figures, in a real (virtual) display with Mesa's software OpenGL:
//   StartupToFirstPicture: from making the program to the start animation's first picture.
//   LoadWhileResponsive:   loading a 200 MB ILDA show in the window, and the longest time the
//                          window went without processing its events (goal: under 100 ms),
//                          from the page cache ("warm": the file is read through before each
//                          load) and from the disk ("cold": the file is synced and its cached
//                          pages dropped with posix_fadvise DONTNEED before each load);
//                          "cached_share" says how much of it was in the cache as the load began.
//                          One load per repetition; the goals are the medians of five.
//   PlayRate50:            the window playing 1000-point frames at rate 50 to the virtual DAC:
//                          the share of due frames handled and taken (goal: at least 99 %).
//   OptimiseFileSpeed:     "Optimiere File Speed" over a 10000-frame show with the window open,
//                          in frames per second (goal: at least 5000).
// Run: xvfb-run -a -s "-screen 0 1400x900x24" bench_windows  (LUMAREX_BENCH_SECONDS: play time)

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

#include "bench/support/goal_report.h"
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

// Drops the file's pages from the page cache, so that the next read comes from the disk.
void DropFromPageCache(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  // Dirty pages would stay: written first, then dropped.
  fsync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
}

// Reads the file through once, so that its pages are in the page cache.
void ReadIntoPageCache(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  std::vector<char> block(size_t{1} << 20);
  while (read(fd, block.data(), block.size()) > 0) {
  }
  close(fd);
}

// The share of the file's pages in the page cache.
double CachedShare(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const auto size = static_cast<size_t>(std::filesystem::file_size(path));
  void* map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (map == MAP_FAILED) return 0;
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> resident((size + page - 1) / page);
  double share = 0;
  if (mincore(map, size, resident.data()) == 0) {
    share = static_cast<double>(std::count_if(resident.begin(), resident.end(),
                                              [](unsigned char r) { return (r & 1) != 0; })) /
            static_cast<double>(resident.size());
  }
  munmap(map, size);
  return share;
}

// The longest time between events of one kind, the end of the watch included.
class GapWatch {
 public:
  void Start() {
    clock_.start();
    worstMs_ = 0;
    count_ = 0;
  }
  void Mark() {
    worstMs_ = std::max(worstMs_, static_cast<double>(clock_.nsecsElapsed()) / 1e6);
    clock_.restart();
    ++count_;
  }
  double WorstMs() const { return worstMs_; }
  int Count() const { return count_; }

 private:
  QElapsedTimer clock_;
  double worstMs_ = 0;
  int count_ = 0;
};

// Counts the paint events of one widget.
class PaintWatch final : public QObject {
 public:
  explicit PaintWatch(GapWatch& gaps) : gaps_(gaps) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) gaps_.Mark();
    return QObject::eventFilter(watched, event);
  }

 private:
  GapWatch& gaps_;
};

void LoadWhileResponsive(benchmark::State& state, bool cold) {
  const std::string show = ShowFile(8300, 3000);  // 8 bytes a point: 200 MB
  for (auto _ : state) {
    auto program = MakeProgram();
    program->Start(nullptr);
    QWidget& window = program->Main();
    // Settled first, so that the watch starts from a window that has painted itself.
    qt::WaitProcessingEvents(200);
    if (cold) {
      DropFromPageCache(show);
    } else {
      ReadIntoPageCache(show);
    }
    state.counters["cached_share"] = CachedShare(show);
    // A timer that would fire every 10 ms: the gaps between its firings are the times the
    // window could not have repainted. Each firing asks the window to repaint, and the gaps
    // between its paint events are the times it really did not.
    GapWatch timerGaps;
    GapWatch paintGaps;
    PaintWatch paints(paintGaps);
    window.installEventFilter(&paints);
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
      timerGaps.Mark();
      window.update();
    });
    probe.start(10);
    QElapsedTimer clock;
    clock.start();
    timerGaps.Start();
    paintGaps.Start();
    Load(*program, show);
    state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
    // The time from the last firing to the end of the load counts too, and so does the wait
    // for the first paint after it.
    timerGaps.Mark();
    const int paintsDuringLoad = paintGaps.Count();
    window.update();
    QElapsedTimer wait;
    wait.start();
    while (paintGaps.Count() == paintsDuringLoad && wait.elapsed() < 2000) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    probe.stop();
    window.removeEventFilter(&paints);
    state.counters["frames"] = program->Form().Store.FrameCount;
    state.counters["worst_gap_ms"] = timerGaps.WorstMs();
    state.counters["worst_paint_gap_ms"] = paintGaps.WorstMs();
    state.counters["paints"] = paintsDuringLoad;
    program.reset();
  }
  state.counters["MB"] = static_cast<double>(std::filesystem::file_size(show)) / 1e6;
}
double Largest(const std::vector<double>& values) {
  return *std::max_element(values.begin(), values.end());
}
BENCHMARK_CAPTURE(LoadWhileResponsive, warm, false)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ComputeStatistics("max", Largest)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadWhileResponsive, cold, true)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ComputeStatistics("max", Largest)
    ->Unit(benchmark::kMillisecond);

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
  using lumarex::bench::Goal;
  lumarex::bench::GoalReporter reporter({
      Goal{"LoadWhileResponsive/warm", "200 MB load from the page cache: longest timer gap",
           "worst_gap_ms", false, 100, "worst_paint_gap_ms"},
      Goal{"LoadWhileResponsive/cold", "200 MB load from the disk: longest timer gap",
           "worst_gap_ms", false, 100, "worst_paint_gap_ms"},
  });
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
