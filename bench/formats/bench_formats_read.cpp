// Cat RGB and ULF read throughput beside plain fread of the same file, both from the page
// cache.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop_services.h"
#include "platform/memory_policy.h"
#include "show/byte_order.h"
#include "show/cat.h"
#include "show/ulf.h"

namespace {

enum class Layout { kCatRgb, kUlf };

struct GeneratedFile {
  std::string path;
  uint64_t bytes = 0;
  uint64_t points = 0;
};

std::string TempPath(const std::string& name) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp != nullptr ? tmp : "/tmp") + "/lumarex-bench-" + name;
}

// Writes `frames` frames of `pointsPerFrame` random records.
GeneratedFile Generate(const std::string& name, Layout layout, uint32_t frames,
                       uint32_t pointsPerFrame) {
  GeneratedFile g;
  g.path = TempPath(name);
  std::FILE* f = std::fopen(g.path.c_str(), "wb");
  const size_t headerSize = layout == Layout::kCatRgb ? 3 : 24;
  const size_t recordSize = layout == Layout::kCatRgb ? 11 : 8;
  std::vector<uint8_t> frame(headerSize + pointsPerFrame * recordSize);
  if (layout == Layout::kCatRgb) {
    frame[0] = 1;
    lumarex::StoreU16LE(&frame[1], static_cast<uint16_t>(pointsPerFrame));
  } else {
    std::copy_n("ULF", 3, frame.begin());
    frame[4] = 2;
    lumarex::StoreU32LE(&frame[16], 28000);
    lumarex::StoreU32LE(&frame[20], static_cast<uint32_t>(pointsPerFrame * recordSize));
  }
  uint32_t seed = 12345;
  for (uint32_t n = 0; n < frames; ++n) {
    uint8_t* rec = frame.data() + headerSize;
    for (uint32_t i = 0; i < pointsPerFrame; ++i, rec += recordSize) {
      for (size_t b = 0; b < recordSize; ++b) {
        seed = seed * 1664525u + 1013904223u;
        rec[b] = static_cast<uint8_t>(seed >> 24);
      }
    }
    std::fwrite(frame.data(), 1, frame.size(), f);
  }
  std::fclose(f);
  g.bytes = uint64_t{frames} * frame.size();
  g.points = uint64_t{frames} * pointsPerFrame;
  return g;
}

const GeneratedFile& LargeCat() {
  static const GeneratedFile g = Generate("large.cat", Layout::kCatRgb, 6000, 3000);  // 198 MB
  return g;
}
const GeneratedFile& LargeUlf() {
  static const GeneratedFile g = Generate("large.ulf", Layout::kUlf, 8300, 3000);  // 199 MB
  return g;
}
const GeneratedFile& TinyCat() {
  static const GeneratedFile g = Generate("tiny.cat", Layout::kCatRgb, 65535, 12);
  return g;
}
const GeneratedFile& TinyUlf() {
  static const GeneratedFile g = Generate("tiny.ulf", Layout::kUlf, 65535, 12);
  return g;
}

void Report(benchmark::State& state, const GeneratedFile& g) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g.bytes));
  state.counters["points/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * g.points), benchmark::Counter::kIsRate);
}

void Read(benchmark::State& state, const GeneratedFile& (*file)()) {
  const GeneratedFile& g = file();
  const bool cat = g.path.ends_with(".cat");
  lumarex::SilentDesktopServices desktop;
  auto store = std::make_unique<lumarex::ShowStore>();
  for (auto _ : state) {
    if (cat) {
      lumarex::ReadCat(*store, g.path, false, desktop);
    } else {
      lumarex::ReadUlf(*store, g.path, false, desktop);
    }
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

BENCHMARK_CAPTURE(Read, cat_rgb_3000_points, LargeCat)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fread, cat_rgb_3000_points, LargeCat)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Read, ulf_3000_points, LargeUlf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fread, ulf_3000_points, LargeUlf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Read, cat_rgb_65535_tiny_frames, TinyCat)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fread, cat_rgb_65535_tiny_frames, TinyCat)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Read, ulf_65535_tiny_frames, TinyUlf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fread, ulf_65535_tiny_frames, TinyUlf)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  lumarex::KeepFreedShowMemory();  // as the programs do
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const char* name : {"large.cat", "large.ulf", "tiny.cat", "tiny.ulf"}) {
    unlink(TempPath(name).c_str());
  }
  return 0;
}
