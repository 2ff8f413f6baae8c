#pragma once

// What the show-file read benchmarks share: generated files in the temp folder, each reader
// timed beside plain fread of the same file in the same iterations, and the goals report.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "bench/support/goal_report.h"
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
  explicit RecordNoise(uint32_t seed = 12345) : seed_(seed) {}
  void Fill(uint8_t* bytes, size_t size) {
    for (size_t b = 0; b < size; ++b) {
      seed_ = seed_ * 1664525u + 1013904223u;
      bytes[b] = static_cast<uint8_t>(seed_ >> 24);
    }
  }

 private:
  uint32_t seed_;
};

// File bytes per second, and points per second as a counter.
inline void ReportThroughput(benchmark::State& state, const GeneratedFile& g) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g.bytes));
  state.counters["points/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * g.points), benchmark::Counter::kIsRate);
}

// Plain fread of the whole file in 1 MiB blocks: the yardstick.
inline size_t FreadWhole(const std::string& path, std::vector<uint8_t>& buffer) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return 0;
  size_t total = 0;
  for (size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), f)) > 0;) total += got;
  std::fclose(f);
  return total;
}

// Times `read` (one whole load of g) and fread of the same file alternately in every
// iteration, so that both see the same load of this shared machine. Wall-clock time: the
// readers may convert on more than one thread, and fread spends its time in the kernel.
// The benchmark's time is the reader's; "fread_ms" is the yardstick's and "of_fread" the
// reader's speed as a share of fread's (time of fread / time of the read).
template <typename Read>
void ReadBesideFread(benchmark::State& state, const GeneratedFile& g, Read read) {
  using Clock = std::chrono::steady_clock;
  std::vector<uint8_t> buffer(1 << 20);
  double freadSeconds = 0;
  double readSeconds = 0;
  for (auto _ : state) {
    const auto t0 = Clock::now();
    benchmark::DoNotOptimize(FreadWhole(g.path, buffer));
    const auto t1 = Clock::now();
    read();
    const auto t2 = Clock::now();
    const double readTime = std::chrono::duration<double>(t2 - t1).count();
    freadSeconds += std::chrono::duration<double>(t1 - t0).count();
    readSeconds += readTime;
    state.SetIterationTime(readTime);
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["fread_ms"] = 1000 * freadSeconds / n;
  state.counters["of_fread"] = readSeconds > 0 ? freadSeconds / readSeconds : 0;
  ReportThroughput(state, g);
}

// The body of a read benchmark's main: the programs' memory policy, the benchmarks with the
// goals after them, then the generated files removed.
inline int RunReadBenchmarks(int argc, char** argv, std::initializer_list<const char*> files,
                             std::vector<Goal> goals) {
  KeepFreedShowMemory();  // as the programs do
  benchmark::Initialize(&argc, argv);
  GoalReporter reporter(std::move(goals));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  for (const char* name : files) unlink(TempPath(name).c_str());
  return 0;
}

}  // namespace lumarex::bench
