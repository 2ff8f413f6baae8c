// Cat RGB and ULF read throughput beside plain fread of the same file, both from the page
// cache.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/support/read_bench.h"
#include "platform/byte_order.h"
#include "platform/desktop_services.h"
#include "show/cat.h"
#include "show/ulf.h"

namespace {

enum class Layout { kCatRgb, kUlf };

using lumarex::bench::GeneratedFile;
using lumarex::bench::TempPath;

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
  lumarex::bench::RecordNoise noise;
  for (uint32_t n = 0; n < frames; ++n) {
    uint8_t* rec = frame.data() + headerSize;
    for (uint32_t i = 0; i < pointsPerFrame; ++i, rec += recordSize) {
      noise.Fill(rec, recordSize);
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

void Read(benchmark::State& state, const GeneratedFile& (*file)()) {
  const GeneratedFile& g = file();
  const bool cat = g.path.ends_with(".cat");
  lumarex::SilentDesktopServices desktop;
  auto store = std::make_unique<lumarex::ShowStore>();
  lumarex::bench::ReadBesideFread(state, g, [&] {
    if (cat) {
      lumarex::ReadCat(*store, g.path, false, desktop);
    } else {
      lumarex::ReadUlf(*store, g.path, false, desktop);
    }
    benchmark::DoNotOptimize(store->FrameCount);
  });
  if (store->IoStatus != "I.O.") state.SkipWithError(store->IoStatus.c_str());
}

#define LUMAREX_READ_BENCHMARK(name, file) \
  BENCHMARK_CAPTURE(Read, name, file)      \
      ->UseManualTime()                    \
      ->Repetitions(5)                     \
      ->DisplayAggregatesOnly()            \
      ->Unit(benchmark::kMillisecond)

LUMAREX_READ_BENCHMARK(cat_rgb_3000_points, LargeCat);
LUMAREX_READ_BENCHMARK(ulf_3000_points, LargeUlf);
LUMAREX_READ_BENCHMARK(cat_rgb_65535_tiny_frames, TinyCat);
LUMAREX_READ_BENCHMARK(ulf_65535_tiny_frames, TinyUlf);

}  // namespace

int main(int argc, char** argv) {
  using lumarex::bench::Goal;
  return lumarex::bench::RunReadBenchmarks(
      argc, argv, {"large.cat", "large.ulf", "tiny.cat", "tiny.ulf"},
      {
          Goal{"Read/cat_rgb_3000_points", "Cat RGB, 3000-point frames (198 MB)", "of_fread", true,
               0.5, "fread_ms"},
          Goal{"Read/ulf_3000_points", "ULF, 3000-point frames (199 MB)", "of_fread", true, 0.5,
               "fread_ms"},
      });
}
