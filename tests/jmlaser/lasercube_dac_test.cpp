#include "jmlaser/lasercube_dac.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/jmlaser/dac_test_support.h"
#include "tests/jmlaser/lasercube_stand_in.h"

namespace lumarex::jmlaser {
namespace {

namespace lc = lasercube;
using std::chrono::milliseconds;
using testing::DrainingPauses;
using testing::LaserCubeStandIn;
using testing::Prompt;
using testing::Ramp;
using testing::WaitUntil;
using testing::WatchForPauses;

// A cube on ports of its own, so that no other test's cube or host hears it.
std::unique_ptr<LaserCubeStandIn> CubeOnFreePorts(LaserCubeStandIn::Options options) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    const auto base = static_cast<uint16_t>(20000 + (::getpid() * 31 + attempt * 997) % 30000);
    options.alivePort = base;
    options.commandPort = static_cast<uint16_t>(base + 1);
    options.dataPort = static_cast<uint16_t>(base + 2);
    auto cube = std::make_unique<LaserCubeStandIn>(options);
    if (cube->Listening()) return cube;
  }
  return nullptr;
}

LaserCubeOptions HostFor(const LaserCubeStandIn& cube) {
  LaserCubeOptions options;
  options.alivePort = cube.Settings().alivePort;
  options.commandPort = cube.Settings().commandPort;
  options.dataPort = cube.Settings().dataPort;
  options.hosts = {cube.Settings().address};
  options.broadcast.all = false;
  options.openWaitMs = 200;
  return options;
}

std::unique_ptr<DacStream> OpenStarted(LaserCubeFamily& family) {
  std::vector<DeviceInfo> devices;
  family.Discover(devices);
  if (devices.size() != 1) return nullptr;
  auto stream = family.Open(devices[0]);
  stream->Start();
  if (!WaitUntil([&] { return stream->IsReady(); }, milliseconds(1000))) return nullptr;
  return stream;
}

TEST(LaserCubeDac, FindsCubesByBroadcastAndByNameWithTheirModelSerialAndRate) {
  auto heard = CubeOnFreePorts(LaserCubeStandIn::Options{});
  ASSERT_TRUE(heard);
  LaserCubeStandIn::Options deaf = heard->Settings();
  deaf.address = "127.0.0.3";
  deaf.hearsBroadcasts = false;
  deaf.modelName = "LaserDock";
  deaf.serial = {1, 2, 3, 4, 5, 6};
  deaf.maxRate = 60000;
  LaserCubeStandIn named(deaf);
  ASSERT_TRUE(named.Listening());

  LaserCubeOptions options = HostFor(named);
  options.broadcast.names = {"lo"};
  LaserCubeFamily family(options);
  std::vector<DeviceInfo> devices;
  family.Discover(devices);
  ASSERT_EQ(devices.size(), 2u);
  std::sort(devices.begin(), devices.end(),
            [](const DeviceInfo& a, const DeviceInfo& b) { return a.locator < b.locator; });
  EXPECT_EQ(devices[0].name, "LaserCube 70B3D5112233");
  EXPECT_EQ(devices[0].friendlyName, "LaserCube 2W 112233");
  EXPECT_EQ(devices[0].locator, "127.0.0.2");
  EXPECT_EQ(devices[0].maxSpeed, 40000);
  EXPECT_EQ(devices[0].bufferCapacity, 6000);
  EXPECT_EQ(devices[1].name, "LaserCube 010203040506");
  EXPECT_EQ(devices[1].friendlyName, "LaserDock 040506");
  EXPECT_EQ(devices[1].maxSpeed, 60000);
  EXPECT_GE(heard->Snapshot().aliveRequests, 1);
}

TEST(LaserCubeDac, KeepsASmallRingBufferFedForFiveSecondsWithTheExactPoints) {
  const auto since = WatchForPauses();
  LaserCubeStandIn::Options small;
  small.bufferSize = 1500;
  auto cube = CubeOnFreePorts(small);
  ASSERT_TRUE(cube);
  LaserCubeFamily family(HostFor(*cube));
  auto stream = OpenStarted(family);
  ASSERT_TRUE(stream);
  const auto frame = Ramp(300, 170);
  ASSERT_EQ(Prompt([&] { return stream->Write(frame, 20000, false); }), kJmLaserOk);
  std::this_thread::sleep_for(milliseconds(5000));

  const auto stats = cube->Snapshot();
  EXPECT_EQ(stats.overflowed, 0u);
  EXPECT_LE(stats.underflows, DrainingPauses(since)) << "only a pause of the machine runs it dry";
  EXPECT_EQ(stats.rate, 20000u);
  EXPECT_TRUE(stats.outputOn);
  EXPECT_TRUE(stats.repliesOn);
  EXPECT_GT(stats.samplesPlayed, 95000u) << "5 s at 20000 points per second, less the start";
  EXPECT_LE(stats.peakFill, 1500);
  const auto samples = cube->Received();
  ASSERT_GT(samples.size(), 95000u);
  for (size_t k = 0; k < samples.size(); ++k) {
    ASSERT_EQ(samples[k], lc::ToSample(frame[k % frame.size()], 4)) << "sample " << k;
  }
  EXPECT_EQ(samples[0], (lc::Sample{1000 >> 4, 64000 >> 4, 170 << 4, 0, 255 << 4}));

  Prompt([&] {
    stream->Stop();
    return 0;
  });
  // Output off, then replies off: two datagrams, taken one after the other.
  ASSERT_TRUE(WaitUntil([&] { return !cube->Snapshot().outputOn; }, milliseconds(500)));
  EXPECT_TRUE(WaitUntil([&] { return !cube->Snapshot().repliesOn; }, milliseconds(500)));
}

TEST(LaserCubeDac, AGoneCubeIsNotReadyAndAWatchdogSwitchesAHeldSpotOff) {
  auto cube = CubeOnFreePorts(LaserCubeStandIn::Options{});
  ASSERT_TRUE(cube);
  LaserCubeOptions options = HostFor(*cube);
  options.goneAfterMs = 400;
  options.watchdogHold = milliseconds(300);
  LaserCubeFamily family(options);
  auto stream = OpenStarted(family);
  ASSERT_TRUE(stream);

  cube->SetSilent(true);
  ASSERT_TRUE(
      WaitUntil([&] { return !Prompt([&] { return stream->IsReady(); }); }, milliseconds(1000)));
  EXPECT_EQ(Prompt([&] { return stream->Write(Ramp(5, 1), 20000, false); }),
            kJmLaserErrorDisconnected);
  cube->SetSilent(false);
  ASSERT_TRUE(WaitUntil([&] { return stream->IsReady(); }, milliseconds(1000)));

  const std::vector<DacPoint> spot{{30000, 30000, 255, 255, 255, 255, {}}};
  ASSERT_EQ(stream->Write(spot, 20000, false), kJmLaserOk);
  ASSERT_TRUE(WaitUntil([&] { return cube->Snapshot().samplesPlayed > 1000; }, milliseconds(500)));
  EXPECT_TRUE(cube->Snapshot().outputOn);
  ASSERT_TRUE(WaitUntil([&] { return !cube->Snapshot().outputOn; }, milliseconds(500)));
  const uint64_t received = cube->Snapshot().samplesReceived;
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(cube->Snapshot().samplesReceived, received) << "nothing streamed while dark";
  ASSERT_EQ(stream->Write(Ramp(300, 9), 20000, false), kJmLaserOk);
  ASSERT_TRUE(WaitUntil([&] { return cube->Snapshot().outputOn; }, milliseconds(500)));
  std::this_thread::sleep_for(milliseconds(500));
  EXPECT_TRUE(cube->Snapshot().outputOn) << "a frame of normal size stays on";
  Prompt([&] {
    stream.reset();
    return 0;
  });
  ASSERT_TRUE(WaitUntil([&] { return !cube->Snapshot().outputOn; }, milliseconds(500)));
}

// The stand-in against the open npm client, so that it rests on more than our own reading.
TEST(LaserCubeNpmClient, FindsTheStandInByBroadcastAndStreamsToIt) {
  const std::filesystem::path modules = LUMAREX_NODE_MODULES;
  if (!std::filesystem::exists(modules / "@laser-dac" / "lasercube-wifi" / "package.json")) {
    GTEST_SKIP() << "the npm package @laser-dac/lasercube-wifi is not installed in " << modules
                 << " (./lumarex.sh test installs it before the tests)";
  }
  if (std::system("node --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "node is missing";
  testing::FixedPortLock lock("lasercube");
  LaserCubeStandIn cube(LaserCubeStandIn::Options{});
  ASSERT_TRUE(cube.Listening());

  const auto log = std::filesystem::temp_directory_path() /
                   ("lumarex_lasercube_client_" + std::to_string(::getpid()) + ".log");
  const std::string command = "NODE_PATH='" + modules.string() + "' timeout 60 node '" +
                              LUMAREX_LASERCUBE_CLIENT_SCRIPT + "' 3 30000 > '" + log.string() +
                              "' 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream in(log);
  std::stringstream output;
  output << in.rdbuf();
  std::filesystem::remove(log);
  ASSERT_TRUE(WIFEXITED(status)) << output.str();
  ASSERT_EQ(WEXITSTATUS(status), 0) << output.str();

  const auto stats = cube.Snapshot();
  EXPECT_GE(stats.fullInfoRequests, 1);
  EXPECT_GE(stats.outputOnCommands, 1);
  EXPECT_EQ(stats.overflowed, 0u);
  EXPECT_GT(stats.samplesPlayed, 60000u) << "about 3 s at 30000 points per second";
  // The client's own mapping: positions mirrored, 0..1 onto 0..4095, colours 0 or 4095.
  const auto samples = cube.Received();
  ASSERT_GT(samples.size(), 1000u);
  for (size_t k = 0; k < samples.size(); ++k) {
    const int p = static_cast<int>(k % 300);
    const double n = p / 300.0;
    const lc::Sample expected{static_cast<uint16_t>(std::floor((1 - n) * 4095)),
                              static_cast<uint16_t>(std::floor((1 - (1 - n)) * 4095)),
                              static_cast<uint16_t>(p % 3 == 0 ? 4095 : 0),
                              static_cast<uint16_t>(p % 3 == 1 ? 4095 : 0),
                              static_cast<uint16_t>(p % 3 == 2 ? 4095 : 0)};
    ASSERT_EQ(samples[k], expected) << "sample " << k << "\n" << output.str();
  }
}

}  // namespace
}  // namespace lumarex::jmlaser
