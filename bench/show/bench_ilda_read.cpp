// ILDA read throughput beside plain fread of the same file, both from the page cache, and the
// resident memory a large show costs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/read_bench.h"
#include "platform/byte_order.h"
#include "platform/desktop_services.h"
#include "show/ilda.h"

namespace {

using lumarex::bench::GeneratedFile;
using lumarex::bench::TempPath;

// Writes `frames` frames of `pointsPerFrame` records of the given format (4 or 5).
GeneratedFile Generate(const std::string& name, uint8_t format, uint32_t frames,
                       uint32_t pointsPerFrame, uint32_t seed = 12345) {
  GeneratedFile g;
  g.path = TempPath(name + ".ild");
  std::FILE* f = std::fopen(g.path.c_str(), "wb");
  const size_t recordSize = format == 4 ? 10 : 8;
  std::vector<uint8_t> frame(32 + pointsPerFrame * recordSize);
  lumarex::bench::RecordNoise noise(seed);
  for (uint32_t n = 0; n < frames; ++n) {
    std::fill(frame.begin(), frame.begin() + 32, 0);
    std::copy_n("ILDA", 4, frame.begin());
    frame[7] = format;
    lumarex::StoreU16BE(&frame[24], static_cast<uint16_t>(pointsPerFrame));
    lumarex::StoreU16BE(&frame[26], static_cast<uint16_t>(n));
    lumarex::StoreU16BE(&frame[28], static_cast<uint16_t>(frames));
    uint8_t* rec = frame.data() + 32;
    for (uint32_t i = 0; i < pointsPerFrame; ++i, rec += recordSize) {
      noise.Fill(rec, recordSize);
      rec[format == 4 ? 6 : 4] &= 0x40;
    }
    std::fwrite(frame.data(), 1, frame.size(), f);
  }
  std::fclose(f);
  g.bytes = uint64_t{frames} * frame.size();
  g.points = uint64_t{frames} * pointsPerFrame;
  return g;
}

const GeneratedFile& LargeFormat5() {
  static const GeneratedFile g = Generate("large5", 5, 8300, 3000);  // about 200 MB
  return g;
}
const GeneratedFile& OtherLargeFormat5() {  // same size, other points
  static const GeneratedFile g = Generate("large5b", 5, 8300, 3000, 777);
  return g;
}
const GeneratedFile& LargeFormat4() {
  static const GeneratedFile g = Generate("large4", 4, 6600, 3000);  // about 200 MB
  return g;
}
const GeneratedFile& TinyFrames() {
  static const GeneratedFile g = Generate("tiny5", 5, 65535, 12);  // the most frames a show holds
  return g;
}

void ReadIlda(benchmark::State& state, const GeneratedFile& (*file)()) {
  const GeneratedFile& g = file();
  lumarex::SilentDesktopServices desktop;
  lumarex::IldaReader reader;
  auto store = std::make_unique<lumarex::ShowStore>();
  lumarex::bench::ReadBesideFread(state, g, [&] {
    reader.ReadIlda(*store, g.path, false, desktop);
    benchmark::DoNotOptimize(store->FrameCount);
  });
  if (store->IoStatus != "I.O.") state.SkipWithError(store->IoStatus.c_str());
}

BENCHMARK_CAPTURE(ReadIlda, format5_3000_points, LargeFormat5)
    ->UseManualTime()
    ->Repetitions(5)
    ->DisplayAggregatesOnly()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadIlda, format4_3000_points, LargeFormat4)
    ->UseManualTime()
    ->Repetitions(5)
    ->DisplayAggregatesOnly()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadIlda, format5_65535_tiny_frames, TinyFrames)
    ->UseManualTime()
    ->Repetitions(5)
    ->DisplayAggregatesOnly()
    ->Unit(benchmark::kMillisecond);

// --- Resident memory of a large show ---

struct ProcessMemory {
  double rss = 0;   // VmRSS, bytes
  double peak = 0;  // VmHWM, bytes
};

ProcessMemory ReadProcessMemory() {
  ProcessMemory m;
  std::ifstream status("/proc/self/status");
  std::string key;
  double kb = 0;
  while (status >> key) {
    if (key == "VmRSS:" && status >> kb) m.rss = kb * 1024;
    if (key == "VmHWM:" && status >> kb) m.peak = kb * 1024;
  }
  return m;
}

constexpr const char kMemoryChild[] = "--show-memory-child";

// Runs in a process of its own, so that no earlier benchmark's heap is counted or reused:
// loads show A, then show B of the same size, and prints the bytes of the points (N), the
// growth of VmRSS over the process before the first load, the peak during it, and the growth
// the second load adds.
int MemoryChild(const char* first, const char* second) {
  lumarex::KeepFreedShowMemory();
  lumarex::SilentDesktopServices desktop;
  lumarex::IldaReader reader;
  auto store = std::make_unique<lumarex::ShowStore>();
  const ProcessMemory before = ReadProcessMemory();
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak restarts here
  reader.ReadIlda(*store, first, false, desktop);
  const ProcessMemory afterFirst = ReadProcessMemory();
  double points = 0;
  for (uint32_t n = 0; n < store->FrameCount; ++n) points += store->Frame(n).size();
  reader.ReadIlda(*store, second, false, desktop);
  const ProcessMemory afterSecond = ReadProcessMemory();
  std::printf("%.0f %.0f %.0f %.0f\n", points * sizeof(lumarex::ShowPoint),
              afterFirst.rss - before.rss, afterFirst.peak - before.rss,
              afterSecond.rss - afterFirst.rss);
  return store->IoStatus == "I.O." ? 0 : 1;
}

// The goal: loading a show whose points take N bytes costs at most 1.1 N + 16 MB resident,
// and a second show of the same size does not grow it.
void ShowMemory(benchmark::State& state) {
  const std::string a = LargeFormat5().path;
  const std::string b = OtherLargeFormat5().path;
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return state.SkipWithError("no /proc/self/exe");
  self[length] = '\0';
  const std::string command = std::string(self) + " " + kMemoryChild + " '" + a + "' '" + b + "'";
  double n = 0, cost = 0, peak = 0, growth = 0;
  for (auto _ : state) {
    std::FILE* child = popen(command.c_str(), "r");
    const int got = std::fscanf(child, "%lf %lf %lf %lf", &n, &cost, &peak, &growth);
    if (pclose(child) != 0 || got != 4) return state.SkipWithError("the measuring child failed");
  }
  constexpr double kMiB = 1024.0 * 1024.0;
  const double limit = 1.1 * n + 16 * kMiB;
  state.counters["N_MiB"] = n / kMiB;
  state.counters["cost_MiB"] = cost / kMiB;
  state.counters["limit_MiB"] = limit / kMiB;
  state.counters["of_limit"] = cost / limit;
  state.counters["peak_MiB"] = peak / kMiB;
  state.counters["second_growth_MiB"] = growth / kMiB;
}
BENCHMARK(ShowMemory)->Iterations(1)->Repetitions(5)->DisplayAggregatesOnly()->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], kMemoryChild) == 0) return MemoryChild(argv[2], argv[3]);
  using lumarex::bench::Goal;
  return lumarex::bench::RunReadBenchmarks(
      argc, argv, {"large5.ild", "large5b.ild", "large4.ild", "tiny5.ild"},
      {
          Goal{"ReadIlda/format5_3000_points", "ILDA format 5, 3000-point frames (200 MB)",
               "of_fread", true, 0.5, "fread_ms"},
          Goal{"ReadIlda/format4_3000_points", "ILDA format 4, 3000-point frames (200 MB)",
               "of_fread", true, 0.5, "fread_ms"},
          Goal{"ShowMemory", "resident cost of the show, share of 1.1 N + 16 MiB", "of_limit",
               false, 1.0, "N_MiB"},
          // "Does not grow": less than a few pages of bookkeeping.
          Goal{"ShowMemory", "growth by a second show of the same size (MiB)", "second_growth_MiB",
               false, 0.1, "cost_MiB"},
      });
}
