// The chase on the player's tick, and how quickly a jump in the timecode moves the show.
//
// BM_ChaseTick: one tick's position from the latest reading (what every tick of the frame
// clock costs under timecode).
// BM_LtcRelocation: LTC that jumps from 01:00:00:24 to 01:00:30:00 one second into a sound
// file, played as a sound card delivers it (10 ms blocks) on a simulated clock while the
// player ticks every 5 ms. relocation_ms is the time from the first sample of the new time to
// the first tick whose position is in the new place: one LTC frame is read whole (40 ms at
// 25), and the tick after it relocates.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/clock.h"
#include "tests/timecode/ltc_writer.h"
#include "timecode/ltc_file_input.h"
#include "timecode/timecode_chase.h"

namespace lumarex {
namespace {

class SteadyReading final : public TimecodeInput {
 public:
  std::optional<TimecodeReading> Latest() const override { return reading; }
  std::string Name() const override { return "bench"; }
  TimecodeReading reading{{1, 0, 0, 0, TimecodeRate::k25}, 0, 0, 1};
};

void BM_ChaseTick(benchmark::State& state) {
  SteadyReading input;
  TimecodeChase chase(input, ChaseOptions{{1, 0, 0, 0, TimecodeRate::k30}, 500, false});
  uint32_t now = 0;
  for (auto _ : state) {
    input.reading.receivedMs = now;
    input.reading.atMs = now;
    benchmark::DoNotOptimize(chase.At(now += 5));
  }
}
BENCHMARK(BM_ChaseTick);

void BM_LtcRelocation(benchmark::State& state) {
  constexpr uint32_t kRate = 48000;
  test::LtcWriter writer(kRate, TimecodeRate::k25);
  writer.AppendFrames(*ParseTimecode("01:00:00:00", TimecodeRate::k25), 25);
  writer.AppendFrames(*ParseTimecode("01:00:30:00", TimecodeRate::k25), 50);
  const std::string path = "/tmp/bench_ltc_relocation.wav";
  if (!test::WriteMonoWav(path, kRate, writer.Samples())) {
    state.SkipWithError("cannot write the LTC file");
    return;
  }
  double worst = 0;
  double total = 0;
  for (auto _ : state) {
    ManualClock clock;
    std::string error;
    auto input = LtcFileInput::Open(path, clock, LtcFilePacing::kCaller, error);
    if (!input) {
      state.SkipWithError(error.c_str());
      return;
    }
    TimecodeChase chase(*input, ChaseOptions{{1, 0, 0, 0, TimecodeRate::k30}, 500, false});
    input->PlayPressed();
    uint32_t relocatedAt = 0;
    for (uint32_t ms = 5; ms < 3000 && relocatedAt == 0; ms += 5) {
      clock.Set(ms);
      if (ms % 10 == 0) input->Pump(ms);
      const ChasePosition p = chase.At(ms);
      if (p.showMs && *p.showMs >= 30000) relocatedAt = ms;
    }
    const double latency = static_cast<double>(relocatedAt) - 1000.0;
    worst = std::max(worst, latency);
    total += latency;
  }
  state.counters["relocation_ms"] = total / static_cast<double>(state.iterations());
  state.counters["worst_relocation_ms"] = worst;
}
BENCHMARK(BM_LtcRelocation)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace lumarex

BENCHMARK_MAIN();
