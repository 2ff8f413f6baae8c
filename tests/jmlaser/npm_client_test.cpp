// The DAC stand-in against a client that someone else wrote, so that the stand-in (and with
// it the driver tests) rests on more than our own reading of the protocol.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/jmlaser/dac_test_support.h"
#include "tests/jmlaser/etherdream_stand_in.h"

namespace lumarex::jmlaser {
namespace {

using testing::DrainingPauses;
using testing::EtherDreamStandIn;
using testing::WatchForPauses;

// What the client puts on the wire for a position of 0..1: its own mapping, then its writer,
// which stores negative values one too low (it adds 65535, not 65536).
int16_t ClientPosition(double relative) {
  double v = std::floor(relative * 65535 - 65535 / 2.0) * -1;
  if (v <= -32767) return -32768;
  if (v < 0) return static_cast<int16_t>(v - 1);
  if (v > 32767) return 32767;
  return static_cast<int16_t>(v);
}

etherdream::WirePoint ClientPoint(int k) {
  etherdream::WirePoint p;
  p.x = ClientPosition(k / 300.0);
  p.y = ClientPosition(1 - k / 300.0);
  p.r = k % 3 == 0 ? 65535 : 0;
  p.g = k % 3 == 1 ? 65535 : 0;
  p.b = k % 3 == 2 ? 65535 : 0;
  return p;
}

TEST(EtherDreamNpmClient, DiscoversTheStandInStreamsWithoutUnderflowAndStopsCleanly) {
  const std::filesystem::path modules = LUMAREX_NODE_MODULES;
  if (!std::filesystem::exists(modules / "@laser-dac" / "ether-dream" / "package.json")) {
    GTEST_SKIP() << "the npm package @laser-dac/ether-dream is not installed in " << modules
                 << " (./lumarex.sh test installs it before the tests)";
  }
  if (std::system("node --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "node is missing";

  const auto since = WatchForPauses();
  // The client knows only the standard ports: commands on 7765, broadcasts to 7654.
  EtherDreamStandIn::Options options;
  options.port = 7765;
  std::unique_ptr<EtherDreamStandIn> dac;
  for (int attempt = 0; attempt < 50; ++attempt) {
    dac = std::make_unique<EtherDreamStandIn>(options);
    if (dac->Listening()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_TRUE(dac->Listening()) << "127.0.0.1:7765 stayed busy";
  // The loopback broadcast reaches a listener on any address and never leaves the machine.
  dac->StartBroadcasting("127.255.255.255", 7654, 200);

  const auto log = std::filesystem::temp_directory_path() /
                   ("lumarex_npm_client_" + std::to_string(::getpid()) + ".log");
  const std::string command = "NODE_PATH='" + modules.string() + "' timeout 60 node '" +
                              LUMAREX_NPM_CLIENT_SCRIPT + "' 3 20000 > '" + log.string() + "' 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream in(log);
  std::stringstream output;
  output << in.rdbuf();
  std::filesystem::remove(log);
  ASSERT_TRUE(WIFEXITED(status)) << output.str();
  ASSERT_EQ(WEXITSTATUS(status), 0) << output.str();

  const auto stats = dac->Snapshot();
  // Only a pause of the whole machine may run it dry. The client then connects again and
  // streams its pattern from the start: each underflow may cost one connection.
  EXPECT_LE(stats.underflows, DrainingPauses(since)) << output.str();
  EXPECT_LE(stats.connections, 1 + stats.underflows) << output.str();
  EXPECT_LE(stats.begins, stats.connections + stats.underflows);
  EXPECT_EQ(stats.emergencyStops, 1) << "the client stops with an emergency stop";
  EXPECT_EQ(stats.closedByClient, stats.connections);
  EXPECT_EQ(stats.rate, 20000u);
  EXPECT_GT(stats.pointsPlayed, 50000u) << "about 3 s at 20000 points per second";

  const auto points = dac->ReceivedPoints();
  ASSERT_GT(points.size(), 1000u);
  int restarts = 0;
  for (size_t k = 0, pattern = 0; k < points.size(); ++k, ++pattern) {
    if (points[k] != ClientPoint(static_cast<int>(pattern % 300)) && points[k] == ClientPoint(0) &&
        restarts < stats.connections - 1) {
      ++restarts;  // a new connection's pattern
      pattern = 0;
    }
    ASSERT_EQ(points[k], ClientPoint(static_cast<int>(pattern % 300))) << "point " << k;
  }
}

}  // namespace
}  // namespace lumarex::jmlaser
