// How long an OSC command takes from its datagram to its effect: the benchmark sends
// /lumarex/control/Scanspeed (30 and 31 by turns) through a UDP socket of its own to the
// server's port, and drains the user-interface queue itself until the registry has moved the
// main window's scan speed track bar (the registry's command listener notes the time).
// Counters p50_us and p99_us over 1000 messages; the window has no DAC library bound, so the
// handler is the track bar's own (its panel text and the output's scan speed).

#include <benchmark/benchmark.h>
#include <lo/lo.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "control/control_registry.h"
#include "mainwindow/preview_surface.h"
#include "osc/osc_server.h"
#include "platform/clock.h"
#include "platform/desktop_services.h"
#include "platform/ui_timer.h"

namespace lumarex {
namespace {

using std::chrono::steady_clock;

std::vector<char> Encode(const char* path, int32_t value) {
  lo_message m = lo_message_new();
  lo_message_add_int32(m, value);
  size_t size = 0;
  void* bytes = lo_message_serialise(m, path, nullptr, &size);
  std::vector<char> datagram(static_cast<char*>(bytes), static_cast<char*>(bytes) + size);
  free(bytes);
  lo_message_free(m);
  return datagram;
}

double Percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  const auto at = static_cast<size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
  return values[at];
}

void OscCommandLatency(benchmark::State& state) {
  SilentDesktopServices desktop;
  SteadyClock clock;
  ManualTimer startTimer, showplayTimer;
  CountingPreview preview;
  Tform1 form(Tform1Services{desktop, clock, startTimer, showplayTimer, preview});
  StartupOptions options;
  options.bindDevices = false;
  options.audioOutput = false;
  form.ProgramStart(nullptr, options);
  form.StopStartAnimation();

  QueueDispatcher dispatcher;
  ControlRegistry registry(form, dispatcher);
  uint64_t applied = 0;
  steady_clock::time_point appliedAt;
  registry.AddCommandListener([&](const CommandRecord& r) {
    if (r.command != "Scanspeed" || !r.done) return;
    appliedAt = steady_clock::now();
    ++applied;
  });
  std::string error;
  const auto server = OscServer::Start(registry, dispatcher, 0, error);
  if (!server) {
    state.SkipWithError(error.c_str());
    return;
  }

  const std::array<std::vector<char>, 2> datagrams{Encode("/lumarex/control/Scanspeed", 30),
                                                   Encode("/lumarex/control/Scanspeed", 31)};
  const int out = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(server->Port());
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

  std::vector<double> latencies;
  latencies.reserve(static_cast<size_t>(state.max_iterations));
  size_t turn = 0;
  for (auto _ : state) {
    const std::vector<char>& d = datagrams[turn++ % 2];
    const uint64_t wanted = applied + 1;
    const auto sent = steady_clock::now();
    sendto(out, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (!dispatcher.RunUntil([&] { return applied >= wanted; }, std::chrono::seconds(2))) {
      state.SkipWithError("a command was not applied within 2 s");
      break;
    }
    latencies.push_back(std::chrono::duration<double, std::micro>(appliedAt - sent).count());
  }
  close(out);
  if (latencies.empty()) return;
  state.counters["p50_us"] = Percentile(latencies, 0.50);
  state.counters["p99_us"] = Percentile(latencies, 0.99);
  state.counters["max_us"] = *std::max_element(latencies.begin(), latencies.end());
}
BENCHMARK(OscCommandLatency)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace lumarex

BENCHMARK_MAIN();
