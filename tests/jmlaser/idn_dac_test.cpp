#include "jmlaser/idn_dac.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/jmlaser/dac_test_support.h"
#include "tests/jmlaser/idn_stand_in.h"

namespace lumarex::jmlaser {
namespace {

using std::chrono::milliseconds;
using testing::IdnStandIn;
using testing::Prompt;
using testing::Ramp;
using testing::WaitUntil;

IdnOptions NamedOnly(const IdnStandIn& unit) {
  IdnOptions options;
  options.hosts = {unit.Locator()};
  options.broadcast.all = false;
  options.openWaitMs = 200;
  return options;
}

std::unique_ptr<DacStream> OpenStarted(IdnFamily& family, std::vector<DeviceInfo>& devices) {
  family.Discover(devices);
  if (devices.empty()) return nullptr;
  auto stream = family.Open(devices.front());
  stream->Start();
  if (!WaitUntil([&] { return stream->IsReady(); }, milliseconds(1000))) return nullptr;
  return stream;
}

// The stand-in's frames drop the invisible start point, which sits dark at the first point.
void ExpectFrame(const idn::ReceivedFrame& got, const std::vector<DacPoint>& sent, int32_t rate) {
  ASSERT_EQ(got.samples.size(), sent.size() + 1);
  EXPECT_EQ(got.samples[0].x, sent[0].x);
  EXPECT_EQ(got.samples[0].y, sent[0].y);
  EXPECT_EQ(got.samples[0].r | got.samples[0].g | got.samples[0].b | got.samples[0].i, 0);
  for (size_t k = 0; k < sent.size(); ++k) {
    ASSERT_EQ(got.samples[k + 1], sent[k]) << "point " << k;
  }
  EXPECT_EQ(got.durationUs, sent.size() * 1000000 / static_cast<uint32_t>(rate));
}

TEST(IdnDac, FindsEachLaserServiceByBroadcastAndByName) {
  IdnStandIn::Options anyAddress;
  anyAddress.address = "0.0.0.0";  // a broadcast reaches only a socket bound to no address
  anyAddress.hostName = "Beamer";
  anyAddress.services = {{1, idn::kServiceLaserProjector, 1, 0, "Left"},
                         {2, 0x05, 0, 0, "Dimmer"},
                         {3, idn::kServiceLaserProjector, 0, 0, "Right"}};
  IdnStandIn broadcastUnit(anyAddress);
  IdnStandIn namedUnit(IdnStandIn::Options{});
  ASSERT_TRUE(broadcastUnit.Listening() && namedUnit.Listening());

  IdnOptions options = NamedOnly(namedUnit);
  options.port = broadcastUnit.Port();
  options.broadcast.names = {"lo"};  // loopback only: 127.255.255.255
  IdnFamily family(options);
  std::vector<DeviceInfo> devices;
  family.Discover(devices);
  ASSERT_EQ(devices.size(), 3u);
  std::map<std::string, std::string> byName;
  for (const DeviceInfo& d : devices) byName[d.name] = d.locator;
  const std::string broadcastPort = std::to_string(broadcastUnit.Port());
  EXPECT_EQ(byName["IDN Beamer Left"], "127.0.0.1:" + broadcastPort + "/1");
  EXPECT_EQ(byName["IDN Beamer Right"], "127.0.0.1:" + broadcastPort + "/3");
  EXPECT_EQ(byName["IDN StandIn Laser"], namedUnit.Locator() + "/1");
  EXPECT_EQ(devices[0].maxSpeed, 100000);
  EXPECT_TRUE(devices[0].remote);
}

TEST(IdnDac, StreamsFramesInFragmentsResendsTheConfigurationAndClosesTheChannel) {
  IdnStandIn unit(IdnStandIn::Options{});
  IdnFamily family(NamedOnly(unit));
  std::vector<DeviceInfo> devices;
  auto stream = OpenStarted(family, devices);
  ASSERT_TRUE(stream);

  // 600 points and the start point, 8 bytes each: 177 fit beside the configuration in the
  // first datagram of at most 1454 bytes, 180 in each sequel.
  const auto big = Ramp(600, 200);
  ASSERT_EQ(Prompt([&] { return stream->Write(big, 30000, false); }), kJmLaserOk);
  ASSERT_TRUE(WaitUntil([&] { return !unit.Frames().empty(); }, milliseconds(500)));
  // Held for a while: the frame goes out again with each configuration.
  std::this_thread::sleep_for(milliseconds(700));
  const auto small = Ramp(40, 9);
  ASSERT_TRUE(WaitUntil([&] { return stream->IsReady(); }, milliseconds(200)));
  ASSERT_EQ(stream->Write(small, 12000, false), kJmLaserOk);
  ASSERT_TRUE(WaitUntil([&] { return unit.Frames().back().frame.samples.size() == 41; },
                        milliseconds(500)));

  const auto frames = unit.Frames();
  ExpectFrame(frames.front().frame, big, 30000);
  EXPECT_EQ(frames.front().frame.fragments, 4);
  ExpectFrame(frames.back().frame, small, 12000);
  EXPECT_GE(frames.size(), 4u) << "the held frame is resent";
  const auto configs = unit.ConfigTimes();
  ASSERT_GE(configs.size(), 3u);
  for (size_t k = 1; k + 1 < configs.size(); ++k) {
    const auto gap = configs[k] - configs[k - 1];
    EXPECT_GE(gap, milliseconds(200));
    // 250 ms plus what a busy machine may add to a wake-up.
    EXPECT_LE(gap, milliseconds(280));
  }

  Prompt([&] {
    stream->Stop();
    return 0;
  });
  ASSERT_TRUE(WaitUntil([&] { return unit.Snapshot().channelCloses == 1; }, milliseconds(500)));
  EXPECT_FALSE(stream->IsReady());
  stream.reset();
  ASSERT_TRUE(WaitUntil([&] { return unit.Snapshot().sessionCloses == 1; }, milliseconds(500)));
  EXPECT_EQ(unit.Snapshot().dropped, 0);
}

TEST(IdnDac, KeepsTheSessionAliveWithoutFramesAndGivesUpOnASilentUnit) {
  IdnStandIn unit(IdnStandIn::Options{});
  IdnFamily family(NamedOnly(unit));
  std::vector<DeviceInfo> devices;
  auto stream = OpenStarted(family, devices);
  ASSERT_TRUE(stream);
  ASSERT_TRUE(WaitUntil([&] { return unit.Snapshot().keepAlives >= 2; }, milliseconds(1000)));

  unit.SetSilent(true);
  ASSERT_TRUE(
      WaitUntil([&] { return !Prompt([&] { return stream->IsReady(); }); }, milliseconds(1500)));
  EXPECT_EQ(Prompt([&] { return stream->Write(Ramp(5, 1), 30000, false); }),
            kJmLaserErrorDisconnected);
  unit.SetSilent(false);
  ASSERT_TRUE(WaitUntil([&] { return stream->IsReady(); }, milliseconds(1000)));
  EXPECT_EQ(stream->Write(Ramp(5, 1), 30000, false), kJmLaserOk);
  Prompt([&] {
    stream.reset();
    return 0;
  });
}

// The scan-fail watchdog: a hung program leaves a single spot; after a second the projector
// gets it dark. A frame of normal size stays lit however long it is held.
TEST(IdnDac, ASpotHeldForASecondIsDarkenedANormalFrameIsNot) {
  IdnStandIn unit(IdnStandIn::Options{});
  IdnFamily family(NamedOnly(unit));
  std::vector<DeviceInfo> devices;
  auto stream = OpenStarted(family, devices);
  ASSERT_TRUE(stream);
  auto lastLit = [&] {
    const auto frames = unit.Frames();
    const auto& s = frames.back().frame.samples;
    return std::any_of(s.begin(), s.end(), [](const DacPoint& p) { return p.r | p.g | p.b; });
  };

  const std::vector<DacPoint> spot{{30000, 30000, 255, 255, 255, 255, {}}};
  ASSERT_EQ(stream->Write(spot, 30000, false), kJmLaserOk);
  ASSERT_TRUE(WaitUntil([&] { return !unit.Frames().empty(); }, milliseconds(300)));
  std::this_thread::sleep_for(milliseconds(800));
  EXPECT_TRUE(lastLit()) << "darkened before the second was up";
  std::this_thread::sleep_for(milliseconds(400));
  EXPECT_FALSE(lastLit());
  EXPECT_EQ(unit.Frames().back().frame.samples[1].x, 30000) << "dark where it was";

  const auto normal = Ramp(300, 255);
  ASSERT_EQ(stream->Write(normal, 30000, false), kJmLaserOk);
  ASSERT_TRUE(WaitUntil([&] { return lastLit(); }, milliseconds(300)));
  std::this_thread::sleep_for(milliseconds(1300));
  EXPECT_TRUE(lastLit());
  ExpectFrame(unit.Frames().back().frame, normal, 30000);
}

// Runs a command in the background; stopped with SIGINT, as a user ends a capture.
class Background {
 public:
  explicit Background(const std::string& command) {
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    if (::posix_spawnp(&pid_, "sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0) {
      pid_ = -1;
    }
  }
  ~Background() { Stop(); }
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGINT);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// What we send, read by Wireshark's IDN dissector rather than by our own parser.
TEST(IdnDac, TsharkDecodesEveryDatagramOfASearchAStreamAndTheClose) {
  if (std::system("command -v tshark > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "tshark is missing (Debian package tshark)";
  }
  testing::FixedPortLock lock("idn-7255");
  IdnStandIn::Options options;
  options.port = idn::kPort;
  IdnStandIn unit(options);
  ASSERT_TRUE(unit.Listening()) << "127.0.0.1:7255 is taken";

  const auto dir = std::filesystem::temp_directory_path() /
                   ("lumarex_idn_capture_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const auto capture = dir / "idn.pcapng";
  const auto log = dir / "tshark.log";
  Background tshark("exec tshark -i lo -f 'udp port 7255' -w '" + capture.string() + "' > '" +
                    log.string() + "' 2>&1");
  if (!WaitUntil([&] { return ReadAll(log).find("Capture started") != std::string::npos; },
                 milliseconds(15000))) {
    GTEST_SKIP() << "tshark cannot capture on lo here: " << ReadAll(log);
  }
  // tshark says so a moment before its capture process really listens.
  std::this_thread::sleep_for(milliseconds(1000));

  IdnFamily family(NamedOnly(unit));
  std::vector<DeviceInfo> devices;
  auto stream = OpenStarted(family, devices);
  ASSERT_TRUE(stream);
  ASSERT_EQ(stream->Write(Ramp(400, 80), 30000, false), kJmLaserOk);
  ASSERT_TRUE(WaitUntil([&] { return !unit.Frames().empty(); }, milliseconds(500)));
  std::this_thread::sleep_for(milliseconds(250));
  ASSERT_TRUE(WaitUntil([&] { return stream->IsReady(); }, milliseconds(200)));
  ASSERT_EQ(stream->Write(Ramp(20, 90), 30000, false), kJmLaserOk);
  std::this_thread::sleep_for(milliseconds(100));
  stream.reset();
  ASSERT_TRUE(WaitUntil([&] { return unit.Snapshot().sessionCloses == 1; }, milliseconds(500)));
  std::this_thread::sleep_for(milliseconds(300));
  tshark.Stop();

  const auto decoded = dir / "decoded.txt";
  const std::string read = "tshark -r '" + capture.string() +
                           "' -T fields -E separator=';' -e idn.command -e idn.chunk_type "
                           "-e idn.scwc -e idn.name -e _ws.malformed > '" +
                           decoded.string() + "' 2>&1";
  ASSERT_EQ(std::system(read.c_str()), 0) << ReadAll(decoded);
  std::istringstream lines(ReadAll(decoded));
  std::map<std::string, int> commands;
  std::map<std::string, int> chunks;
  int malformed = 0;
  int configs = 0;
  bool named = false;
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> f;
    std::stringstream fields(line);
    for (std::string v; std::getline(fields, v, ';');) f.push_back(v);
    f.resize(5);
    ++commands[f[0]];
    if (!f[1].empty()) ++chunks[f[1]];
    if (f[2] == "4") ++configs;
    if (f[3].find("StandIn") != std::string::npos) named = true;
    // The dissector reads a message behind every close command, even the bare one that
    // servers take as the end of a session.
    if (!f[4].empty() && f[0] != "0x44") ++malformed;
  }
  if (::getenv("LUMAREX_KEEP_CAPTURE") == nullptr) std::filesystem::remove_all(dir);
  EXPECT_EQ(malformed, 0);
  EXPECT_EQ(commands["0x10"], 1) << "scan";
  EXPECT_EQ(commands["0x11"], 1);
  EXPECT_EQ(commands["0x13"], 1) << "service map";
  EXPECT_TRUE(named);
  EXPECT_GE(commands["0x09"], 1) << "ping answered";
  EXPECT_EQ(commands["0x44"], 1) << "one bare close";
  EXPECT_GE(chunks["0x03"], 1) << "first fragments";
  EXPECT_GE(chunks["0xc0"], 2) << "sequel fragments";
  EXPECT_GE(chunks["0x02"], 1) << "whole frame";
  EXPECT_GE(configs, 2);
}

}  // namespace
}  // namespace lumarex::jmlaser
