// DMX input. DecodeMerge*: what the receiving thread does with one datagram of a full universe
// (decode, merge, look for a change of the personality), per packet, with one source and with
// two merged. ArtnetFourUniverses44Hz: a desk thread sends ArtDmx for four universes (ours
// among them) 44 times a second through loopback to a running DmxInput, its dimmer channel
// changing four times a second; the benchmark's thread is the user-interface thread and drains
// what the input posts. It reports the packets sent against those received and accepted, and
// the delay from sending a changed value to its command running on the user-interface thread
// (p50, p99, worst). LUMAREX_BENCH_SECONDS sets the length of that run (default 3).
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "control/control_registry.h"
#include "dmx/artnet_merger.h"
#include "dmx/dmx_input.h"
#include "dmx/personality_values.h"
#include "dmx/sacn_merger.h"
#include "mainwindow/tform1.h"
#include "tests/dmx/dmx_packets.h"

namespace lumarex {
namespace {

using std::chrono::steady_clock;

void DecodeMergeArtDmx(benchmark::State& state) {
  const auto sources = static_cast<uint8_t>(state.range(0));
  std::vector<uint8_t> packet = test::ArtDmxPacket({.slots = std::vector<uint8_t>(512, 100)});
  ArtnetMerger merger;
  PersonalityWatch watch(1);
  uint8_t sequence = 1;
  uint32_t now = 0;
  for (auto _ : state) {
    packet[12] = sequence;
    packet[18] = sequence;  // the show channel moves, as a fader would
    const auto dmx = DecodeArtDmx(packet);
    const ArtnetSourceId from{0x7F000001u + sequence % sources, 0};
    benchmark::DoNotOptimize(merger.Take(from, *dmx, now));
    benchmark::DoNotOptimize(watch.Changed(merger.Levels(), merger.HasSignal()));
    sequence = sequence == 255 ? 1 : sequence + 1;
    ++now;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DecodeMergeArtDmx)->ArgName("sources")->Arg(1)->Arg(2);

void DecodeMergeSacn(benchmark::State& state) {
  const auto sources = static_cast<uint8_t>(state.range(0));
  std::vector<uint8_t> packet = test::SacnPacket({.slots = std::vector<uint8_t>(512, 100)});
  SacnMerger merger;
  PersonalityWatch watch(1);
  uint8_t sequence = 0;
  uint32_t now = 0;
  for (auto _ : state) {
    packet[111] = sequence;
    packet[126] = sequence;
    std::fill(packet.begin() + 22, packet.begin() + 38, static_cast<uint8_t>(sequence % sources));
    const auto data = DecodeSacnData(packet);
    benchmark::DoNotOptimize(merger.Take(*data, now));
    benchmark::DoNotOptimize(watch.Changed(merger.Levels(), merger.HasSignal()));
    ++sequence;
    ++now;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DecodeMergeSacn)->ArgName("sources")->Arg(1)->Arg(2);

// The main window as the program starts it, without devices or a display.
struct Window {
  Window() {
    form = std::make_unique<Tform1>(Tform1Services{desktop, clock, start, showplay, preview});
    StartupOptions options;
    options.bindDevices = false;
    options.audioOutput = false;
    options.driverFolder = std::string(LUMAREX_BIN_DIR) + "/";
    form->ProgramStart(nullptr, options);
    form->StopStartAnimation();
  }
  SilentDesktopServices desktop;
  SteadyClock clock;
  ManualTimer start;
  ManualTimer showplay;
  CountingPreview preview;
  std::unique_ptr<Tform1> form;
};

// A free UDP port on loopback, asked of the kernel.
uint16_t FreePort() {
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
  close(s);
  return ntohs(a.sin_port);
}

void ArtnetFourUniverses44Hz(benchmark::State& state) {
  const char* env = std::getenv("LUMAREX_BENCH_SECONDS");
  const int seconds = env != nullptr ? std::max(1, std::atoi(env)) : 3;
  constexpr int kRate = 44;
  constexpr uint16_t kOurs = 2;
  constexpr int kFramesPerChange = kRate / 4;
  std::vector<double> delaysMs;
  uint64_t sent = 0;
  DmxCounters counters;
  size_t changes = 0;
  for (auto _ : state) {
    QueueDispatcher ui;
    Window window;
    ControlRegistry registry(*window.form, ui);
    DmxInputOptions options;
    options.artnet = true;
    options.universe = kOurs;
    options.artnetPort = FreePort();
    std::string error;
    auto input = DmxInput::Start(registry, ui, options, error);
    if (!input) {
      state.SkipWithError(error.c_str());
      return;
    }
    std::mutex mutex;
    std::vector<steady_clock::time_point> changeSent;
    delaysMs.clear();
    registry.AddCommandListener([&](const CommandRecord& r) {
      if (r.command != "Dimmen_RGB") return;
      const auto ran = steady_clock::now();
      std::lock_guard lock(mutex);
      if (delaysMs.size() < changeSent.size()) {
        delaysMs.push_back(
            std::chrono::duration<double, std::milli>(ran - changeSent[delaysMs.size()]).count());
      }
    });

    std::atomic<bool> done{false};
    std::thread desk([&] {
      const int s = socket(AF_INET, SOCK_DGRAM, 0);
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      to.sin_port = htons(options.artnetPort);
      const auto period = std::chrono::microseconds(1000000 / kRate);
      auto next = steady_clock::now();
      uint8_t sequence = 1;
      for (int frame = 0; frame < seconds * kRate; ++frame) {
        for (uint16_t universe = 0; universe < 4; ++universe) {
          test::ArtDmxFields fields{
              .portAddress = universe, .slots = std::vector<uint8_t>(512, 0), .sequence = sequence};
          if (universe == kOurs) {
            fields.slots[3] = static_cast<uint8_t>(10 + 20 * (frame / kFramesPerChange % 12));
            if (frame % kFramesPerChange == 0) {
              std::lock_guard lock(mutex);
              changeSent.push_back(steady_clock::now());
            }
          }
          const auto bytes = test::ArtDmxPacket(fields);
          sendto(s, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
          ++sent;
        }
        sequence = sequence == 255 ? 1 : sequence + 1;
        next += period;
        std::this_thread::sleep_until(next);
      }
      close(s);
      done = true;
    });
    ui.RunUntil([&] { return done.load(); }, std::chrono::seconds(seconds + 5));
    ui.RunFor(std::chrono::milliseconds(200));
    desk.join();
    counters = input->Counters();
    std::lock_guard lock(mutex);
    changes = changeSent.size();
  }
  std::sort(delaysMs.begin(), delaysMs.end());
  const auto at = [&](double q) {
    return delaysMs.empty()
               ? 0.0
               : delaysMs[std::min(delaysMs.size() - 1, static_cast<size_t>(q * delaysMs.size()))];
  };
  state.counters["sent"] = static_cast<double>(sent);
  state.counters["received"] = static_cast<double>(counters.artnet.received);
  state.counters["accepted"] = static_cast<double>(counters.artnet.accepted);
  state.counters["ours_sent"] = static_cast<double>(sent / 4);
  state.counters["changes"] = static_cast<double>(changes);
  state.counters["commands"] = static_cast<double>(delaysMs.size());
  state.counters["delay_p50_ms"] = at(0.5);
  state.counters["delay_p99_ms"] = at(0.99);
  state.counters["delay_max_ms"] = delaysMs.empty() ? 0.0 : delaysMs.back();
}
BENCHMARK(ArtnetFourUniverses44Hz)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace lumarex

BENCHMARK_MAIN();
