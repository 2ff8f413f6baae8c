// ILDA read throughput beside plain fread of the same file, both from the page cache.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/desktop_services.h"
#include "platform/memory_policy.h"
#include "show/byte_order.h"
#include "show/ilda.h"

namespace {

struct GeneratedFile {
  std::string path;
  uint64_t bytes = 0;
  uint64_t points = 0;
};

// Writes `frames` frames of `pointsPerFrame` records of the given format (4 or 5).
GeneratedFile Generate(const std::string& name, uint8_t format, uint32_t frames,
                       uint32_t pointsPerFrame) {
  const char* tmp = std::getenv("TMPDIR");
  GeneratedFile g;
  g.path = std::string(tmp != nullptr ? tmp : "/tmp") + "/lumarex-bench-" + name + ".ild";
  std::FILE* f = std::fopen(g.path.c_str(), "wb");
  const size_t recordSize = format == 4 ? 10 : 8;
  std::vector<uint8_t> frame(32 + pointsPerFrame * recordSize);
  uint32_t seed = 12345;
  for (uint32_t n = 0; n < frames; ++n) {
    std::fill(frame.begin(), frame.begin() + 32, 0);
    std::copy_n("ILDA", 4, frame.begin());
    frame[7] = format;
    lumarex::StoreU16BE(&frame[24], static_cast<uint16_t>(pointsPerFrame));
    lumarex::StoreU16BE(&frame[26], static_cast<uint16_t>(n));
    lumarex::StoreU16BE(&frame[28], static_cast<uint16_t>(frames));
    uint8_t* rec = frame.data() + 32;
    for (uint32_t i = 0; i < pointsPerFrame; ++i, rec += recordSize) {
      for (size_t b = 0; b < recordSize; ++b) {
        seed = seed * 1664525u + 1013904223u;
        rec[b] = static_cast<uint8_t>(seed >> 24);
      }
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
const GeneratedFile& LargeFormat4() {
  static const GeneratedFile g = Generate("large4", 4, 6600, 3000);  // about 200 MB
  return g;
}
const GeneratedFile& TinyFrames() {
  static const GeneratedFile g = Generate("tiny5", 5, 65535, 12);  // the most frames a show holds
  return g;
}

void Report(benchmark::State& state, const GeneratedFile& g) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g.bytes));
  state.counters["points/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * g.points), benchmark::Counter::kIsRate);
}

void ReadIlda(benchmark::State& state, const GeneratedFile& (*file)()) {
  const GeneratedFile& g = file();
  lumarex::SilentDesktopServices desktop;
  lumarex::IldaReader reader;
  auto store = std::make_unique<lumarex::ShowStore>();
  for (auto _ : state) {
    reader.ReadIlda(*store, g.path, false, desktop);
    benchmark::DoNotOptimize(store->FrameCount);
  }
  if (store->IoStatus != "I.O.") state.SkipWithError(store->IoStatus.c_str());
  Report(state, g);
}

void Fread(benchmark::State& state, const GeneratedFile& (*file)()) {
  const GeneratedFile& g = file();
  std::vector<uint8_t> buffer(1 << 20);
  for (auto _ : state) {
    std::FILE* f = std::fopen(g.path.c_str(), "rb");
    size_t total = 0;
    for (size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), f)) > 0;) total += got;
    std::fclose(f);
    benchmark::DoNotOptimize(total);
  }
  Report(state, g);
}

BENCHMARK_CAPTURE(ReadIlda, format5_3000_points, LargeFormat5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fread, format5_3000_points, LargeFormat5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadIlda, format4_3000_points, LargeFormat4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fread, format4_3000_points, LargeFormat4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadIlda, format5_65535_tiny_frames, TinyFrames)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fread, format5_65535_tiny_frames, TinyFrames)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  lumarex::KeepFreedShowMemory();  // as the programs do
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const char* name : {"large5", "large4", "tiny5"}) {
    const char* tmp = std::getenv("TMPDIR");
    unlink(
        (std::string(tmp != nullptr ? tmp : "/tmp") + "/lumarex-bench-" + name + ".ild").c_str());
  }
  return 0;
}
