// Art-Net timecode from OLA: ola_timecode hands each time to the daemon (olad), whose Art-Net
// plugin on loopback sends it as ArtTimeCode. Art-Net's port is fixed (6454), so this program
// runs alone.
//
// What OLA needs here (as in the DMX input's test): it refuses to run as root, so it runs as
// "nobody" in a config folder of its own; its clients reach it on port 9010 only; and on
// loopback it sends what it would broadcast to 127.0.0.1, which reaches only the socket on
// port 6454 bound last, so the daemon starts before our input. That both bind the port shows
// SO_REUSEADDR at work.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/midi/piped_process.h"
#include "tests/support/ola_config.h"
#include "timecode/artnet_timecode_input.h"

namespace lumarex {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int kOlaRpcPort = 9010;

using test::TcpPortFree;

bool Until(const std::function<bool()>& done, milliseconds timeout = milliseconds(3000)) {
  for (const auto until = steady_clock::now() + timeout; steady_clock::now() < until;) {
    if (done()) return true;
    std::this_thread::sleep_for(milliseconds(2));
  }
  return done();
}

class ArtnetTimecodeOladTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v olad ola_timecode ola_dev_info > /dev/null") != 0) {
      GTEST_SKIP() << "OLA (olad and its clients) is not installed";
    }
    if (!TcpPortFree(kOlaRpcPort)) {
      GTEST_SKIP() << "port " << kOlaRpcPort << ", the only one OLA's clients know, is taken";
    }
    WriteOlaConfig();
    std::vector<std::string> command;
    if (geteuid() == 0) {
      command = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    }
    for (const char* a : {"olad", "--no-http", "--no-register-with-dns-sd", "-l", "1", "-c"}) {
      command.emplace_back(a);
    }
    command.push_back(olaDir.string());
    command.insert(command.end(), {"--rpc-port", std::to_string(kOlaRpcPort)});
    olad = std::make_unique<test::PipedProcess>(command, (olaDir / "olad.log").string());
    ASSERT_TRUE(olad->Started());
    ASSERT_TRUE(Until(
        [] {
          const auto devices = test::CommandOutput("ola_dev_info");
          return devices && devices->find("ArtNet") != std::string::npos;
        },
        milliseconds(8000)))
        << "olad did not come up with its Art-Net device";
  }
  void TearDown() override {
    input.reset();
    olad.reset();
    std::error_code ignored;
    if (!olaDir.empty()) std::filesystem::remove_all(olaDir, ignored);
  }

  void WriteOlaConfig() {
    olaDir = test::WriteOlaArtnetConfig();
    ASSERT_FALSE(olaDir.empty());
  }

  SteadyClock clock;
  std::filesystem::path olaDir;
  std::unique_ptr<test::PipedProcess> olad;
  std::unique_ptr<ArtnetTimecodeInput> input;
};

TEST_F(ArtnetTimecodeOladTest, TimesFromOlaAtEveryRateAndGarbageCounted) {
  std::string error;
  input = ArtnetTimecodeInput::Open(clock, {}, error);
  ASSERT_TRUE(input) << error;
  EXPECT_EQ(input->Port(), 6454);
  EXPECT_EQ(input->Name(), "artnet");

  struct Case {
    const char* format;
    const char* time;
    TimecodeRate rate;
  };
  for (const Case& c : {Case{"EBU", "01:02:03:04", TimecodeRate::k25},
                        Case{"FILM", "00:00:10:23", TimecodeRate::k24},
                        Case{"DF", "00:10:00:00", TimecodeRate::k2997Drop},
                        Case{"SMPTE", "23:59:59:29", TimecodeRate::k30}}) {
    const uint64_t before = input->Latest() ? input->Latest()->count : 0;
    const uint32_t sentMs = clock.NowMs();
    ASSERT_TRUE(test::CommandOutput(std::string("ola_timecode -f ") + c.format + " " + c.time))
        << c.format;
    ASSERT_TRUE(Until([&] { return input->Latest() && input->Latest()->count > before; }))
        << c.format << ": nothing came; counters: " << input->Counters().received << " received";
    const TimecodeReading r = *input->Latest();
    EXPECT_EQ(r.tc, ParseTimecode(c.time, c.rate)) << c.format;
    EXPECT_EQ(r.count, before + 1);
    EXPECT_EQ(r.atMs, r.receivedMs) << "true as it arrives";
    EXPECT_LE(r.receivedMs - sentMs, clock.NowMs() - sentMs);
  }
  EXPECT_EQ(input->Counters().accepted, 4u);
  EXPECT_EQ(input->Ignored(), 0u);

  // What OLA never sends, from a socket of the test's own (unicast to loopback reaches the
  // socket bound last: ours): an unknown type, a datagram that is not Art-Net, an ArtPoll.
  const std::vector<std::vector<uint8_t>> strays = {
      {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x97, 0, 14, 0, 0, 4, 3, 2, 1, 9},
      {'h', 'e', 'l', 'l', 'o'},
      {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x20, 0, 14, 0, 0}};
  const ArtnetTimecodeCounters before = input->Counters();
  const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(input->Port());
  for (const auto& datagram : strays) {
    EXPECT_EQ(
        sendto(s, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
        static_cast<ssize_t>(datagram.size()));
  }
  close(s);
  ASSERT_TRUE(Until([&] { return input->Counters().received >= before.received + 3; }));
  EXPECT_EQ(input->Counters().ignored, before.ignored + 2);
  EXPECT_GE(input->Counters().otherOpCodes, before.otherOpCodes + 1);
  EXPECT_EQ(input->Latest()->tc, (Timecode{23, 59, 59, 29, TimecodeRate::k30}));
  EXPECT_EQ(input->Latest()->count, 4u);

  // The receiving thread ends at once when the input goes.
  const auto start = steady_clock::now();
  input.reset();
  EXPECT_LT(steady_clock::now() - start, milliseconds(500));
}

}  // namespace
}  // namespace lumarex
