// The music clock: how far the play position that the waveform display sees (the end of the
// window BASS_ChannelGetData returns) drifts from the wall clock over a minute of playback,
// and how long a start takes to reach the output. Run on SDL's dummy driver unless
// SDL_AUDIODRIVER says otherwise.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "music/audio_engine.h"

namespace lumarex {
namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr uint32_t kRate = 44100;

void Put(std::ofstream& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Every frame carries its own number: low 16 bits on the left, high 16 bits on the right.
std::string WriteCountingWav(double seconds) {
  const auto path = std::filesystem::temp_directory_path() / "lumarex_bench_counting.wav";
  const auto frames = static_cast<uint32_t>(seconds * kRate);
  std::ofstream out(path, std::ios::binary);
  out.write("RIFF", 4);
  Put(out, 36 + frames * 4, 4);
  out.write("WAVEfmt ", 8);
  Put(out, 16, 4);
  Put(out, 1, 2);
  Put(out, 2, 2);
  Put(out, kRate, 4);
  Put(out, kRate * 4, 4);
  Put(out, 4, 2);
  Put(out, 16, 2);
  out.write("data", 4);
  Put(out, frames * 4, 4);
  for (uint32_t f = 0; f < frames; ++f) {
    Put(out, f & 0xFFFF, 2);
    Put(out, f >> 16, 2);
  }
  return path.string();
}

struct Engine {
  Engine() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    engine.Init(1, kRate);
  }
  AudioEngine engine;
};

void BM_PlayPositionDriftOver60s(benchmark::State& state) {
  Engine e;
  const std::string file = WriteCountingWav(62);
  const HSTREAM s = e.engine.StreamCreateFile(0, file.c_str(), 0, 0, 0);
  if (s == 0) {
    state.SkipWithError("cannot create the stream");
    return;
  }
  double startOffset = 0, maxDrift = 0, endDrift = 0;
  for (auto _ : state) {
    e.engine.ChannelSetPosition(s, 0);
    const auto t0 = SteadyClock::now();
    e.engine.ChannelPlay(s, kBassTrue);
    bool haveStart = false;
    maxDrift = 0;
    uint16_t window[1024];
    for (int tick = 1; tick <= 600; ++tick) {  // every 100 ms
      std::this_thread::sleep_until(t0 + std::chrono::milliseconds(100 * tick));
      e.engine.ChannelGetData(s, window, sizeof window);
      const double wall =
          std::chrono::duration<double, std::milli>(SteadyClock::now() - t0).count();
      const uint32_t last = window[1022] | (static_cast<uint32_t>(window[1023]) << 16);
      const double heard = (last + 1) * 1000.0 / kRate;
      const double offset = heard - wall;
      if (!haveStart) {
        startOffset = offset;  // the start latency, which drift does not count
        haveStart = true;
      }
      endDrift = offset - startOffset;
      maxDrift = std::max(maxDrift, std::abs(endDrift));
    }
    e.engine.ChannelStop(s);
  }
  state.counters["start_offset_ms"] = startOffset;
  state.counters["max_drift_ms"] = maxDrift;
  state.counters["end_drift_ms"] = endDrift;
  std::filesystem::remove(file);
}
BENCHMARK(BM_PlayPositionDriftOver60s)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

struct FirstBuffer {
  std::atomic<int64_t> ns{0};
  static void Mark(HDSP, DWORD, void*, DWORD, void* user) {
    auto& self = *static_cast<FirstBuffer*>(user);
    if (self.ns.load() == 0) self.ns.store(SteadyClock::now().time_since_epoch().count());
  }
};

// From ChannelPlay until the mixer renders the channel's first buffer for the device.
void BM_StartToFirstBuffer(benchmark::State& state) {
  Engine e;
  const std::string file = WriteCountingWav(3);
  const HSTREAM s = e.engine.StreamCreateFile(0, file.c_str(), 0, 0, 0);
  FirstBuffer probe;
  e.engine.ChannelSetDSP(s, &FirstBuffer::Mark, &probe, 0);
  std::vector<double> latencies;
  int round = 0;
  for (auto _ : state) {
    e.engine.ChannelStop(s);
    e.engine.ChannelSetPosition(s, 0);
    probe.ns.store(0);
    // Starts fall anywhere within the device's buffer period, as a user's click does; right
    // after the last first buffer every start would wait a whole period.
    std::this_thread::sleep_for(std::chrono::microseconds(1000 + (round++ * 7919) % 23000));
    const int64_t t0 = SteadyClock::now().time_since_epoch().count();
    e.engine.ChannelPlay(s, kBassTrue);
    while (probe.ns.load() == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
    const double seconds = static_cast<double>(probe.ns.load() - t0) * 1e-9;
    state.SetIterationTime(seconds);
    latencies.push_back(seconds * 1000.0);
  }
  std::sort(latencies.begin(), latencies.end());
  if (!latencies.empty()) {
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["max_ms"] = latencies.back();
  }
  std::filesystem::remove(file);
}
BENCHMARK(BM_StartToFirstBuffer)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lumarex

BENCHMARK_MAIN();
