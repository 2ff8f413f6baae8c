// ILDA read throughput beside plain fread of the same file, both from the page cache.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/support/read_bench.h"
#include "platform/desktop_services.h"
#include "show/byte_order.h"
#include "show/ilda.h"

namespace {

using lumarex::bench::Fread;
using lumarex::bench::GeneratedFile;
using lumarex::bench::ReportThroughput;
using lumarex::bench::TempPath;

// Writes `frames` frames of `pointsPerFrame` records of the given format (4 or 5).
GeneratedFile Generate(const std::string& name, uint8_t format, uint32_t frames,
                       uint32_t pointsPerFrame) {
  GeneratedFile g;
  g.path = TempPath(name + ".ild");
  std::FILE* f = std::fopen(g.path.c_str(), "wb");
  const size_t recordSize = format == 4 ? 10 : 8;
  std::vector<uint8_t> frame(32 + pointsPerFrame * recordSize);
  lumarex::bench::RecordNoise noise;
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
  for (auto _ : state) {
    reader.ReadIlda(*store, g.path, false, desktop);
    benchmark::DoNotOptimize(store->FrameCount);
  }
  if (store->IoStatus != "I.O.") state.SkipWithError(store->IoStatus.c_str());
  ReportThroughput(state, g);
}

BENCHMARK_CAPTURE(ReadIlda, format5_3000_points, LargeFormat5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fread, format5_3000_points, LargeFormat5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadIlda, format4_3000_points, LargeFormat4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fread, format4_3000_points, LargeFormat4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadIlda, format5_65535_tiny_frames, TinyFrames)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Fread, format5_65535_tiny_frames, TinyFrames)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return lumarex::bench::RunReadBenchmarks(argc, argv, {"large5.ild", "large4.ild", "tiny5.ild"});
}
