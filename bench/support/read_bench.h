#pragma once

// What the show-file read benchmarks share: generated files in the temp folder, and plain
// fread of the same file as the yardstick.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/memory_policy.h"

namespace lumarex::bench {

struct GeneratedFile {
  std::string path;
  uint64_t bytes = 0;
  uint64_t points = 0;
};

inline std::string TempPath(const std::string& name) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp != nullptr ? tmp : "/tmp") + "/lumarex-bench-" + name;
}

// The same pseudo-random bytes on every run, so that runs compare.
class RecordNoise {
 public:
  void Fill(uint8_t* bytes, size_t size) {
    for (size_t b = 0; b < size; ++b) {
      seed_ = seed_ * 1664525u + 1013904223u;
      bytes[b] = static_cast<uint8_t>(seed_ >> 24);
    }
  }

 private:
  uint32_t seed_ = 12345;
};

// File bytes per second, and points per second as a counter.
inline void ReportThroughput(benchmark::State& state, const GeneratedFile& g) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g.bytes));
  state.counters["points/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * g.points), benchmark::Counter::kIsRate);
}

// Plain fread of the whole file in 1 MiB blocks.
inline void Fread(benchmark::State& state, const GeneratedFile& (*file)()) {
  const GeneratedFile& g = file();
  std::vector<uint8_t> buffer(1 << 20);
  for (auto _ : state) {
    std::FILE* f = std::fopen(g.path.c_str(), "rb");
    size_t total = 0;
    for (size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), f)) > 0;) total += got;
    std::fclose(f);
    benchmark::DoNotOptimize(total);
  }
  ReportThroughput(state, g);
}

// The body of a read benchmark's main: the programs' memory policy, the benchmarks, then
// the generated files removed.
inline int RunReadBenchmarks(int argc, char** argv, std::initializer_list<const char*> files) {
  KeepFreedShowMemory();  // as the programs do
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const char* name : files) unlink(TempPath(name).c_str());
  return 0;
}

}  // namespace lumarex::bench
