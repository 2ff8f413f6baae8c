// A show run from a lighting desk over Art-Net, end to end: OLA's daemon (olad) with its
// Art-Net plugin on loopback is the desk, its values set with ola_set_dmx, and it unicasts to
// us only once our ArtPollReply listed our universe. Art-Net's port is fixed (6454), so this
// program runs alone.
//
// What OLA needs here: it refuses to run as root, so it runs as "nobody" in a config folder
// of its own; its command-line clients reach it on port 9010 only (they have no port option);
// it drops ArtPollReply packets from its own address, so our node announces and answers from
// 127.0.0.2 (the node address option, as for any desk on the same computer); and on loopback it
// sends its polls to 127.0.0.1, which reach only the socket on port 6454 bound last, so the
// daemon starts before our input.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include "dmx/dmx_input.h"
#include "tests/dmx/dmx_window_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/ola_config.h"

namespace lumarex {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int kOlaRpcPort = 9010;
constexpr int kOlaUniverse = 3;  // Port-Address 3: OLA's universe modulo 16, Net and Sub-Net 0

using test::TcpPortFree;

class ArtnetOladTest : public test::DmxWindowTest {
 protected:
  void SetUp() override {
    DmxWindowTest::SetUp();
    if (std::system("command -v olad ola_set_dmx ola_patch ola_dev_info > /dev/null") != 0) {
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
    olad = std::make_unique<test::ChildProcess>(command);
    ASSERT_TRUE(olad->Started());

    // The Art-Net device's number, once the daemon answers.
    const std::regex device(R"(Device (\d+): ArtNet)");
    std::smatch match;
    for (const auto until = steady_clock::now() + milliseconds(8000);
         steady_clock::now() < until && deviceNumber.empty();) {
      const auto devices = test::CommandOutput("ola_dev_info");
      if (devices && std::regex_search(*devices, match, device)) deviceNumber = match[1];
      std::this_thread::sleep_for(milliseconds(100));
    }
    ASSERT_FALSE(deviceNumber.empty()) << "olad did not come up with its Art-Net device";
  }
  void TearDown() override {
    input.reset();
    if (olad) olad->Stop(SIGTERM, milliseconds(3000));
    olad.reset();
    std::error_code ignored;
    if (!olaDir.empty()) std::filesystem::remove_all(olaDir, ignored);
    DmxWindowTest::TearDown();
  }

  void WriteOlaConfig() {
    olaDir = test::WriteOlaArtnetConfig();
    ASSERT_FALSE(olaDir.empty());
  }

  // Sets the desk's first channels, again and again until `done` holds: OLA sends nothing
  // until our answer to its poll came in, and then only when a value is set.
  bool SetUntil(const std::string& values, const std::function<bool()>& done,
                milliseconds timeout = milliseconds(8000)) {
    const std::string command = "ola_set_dmx -u " + std::to_string(kOlaUniverse) + " -d " + values;
    for (const auto until = steady_clock::now() + timeout; steady_clock::now() < until;) {
      if (!test::CommandOutput(command)) return false;
      if (RunUntil(done, milliseconds(500))) return true;
    }
    return false;
  }

  std::filesystem::path olaDir;
  std::unique_ptr<test::ChildProcess> olad;
  std::string deviceNumber;
  std::unique_ptr<DmxInput> input;
};

TEST_F(ArtnetOladTest, TheDeskSelectsAShowPlaysDarkensAndStopsIt) {
  DmxInputOptions options;
  options.artnet = true;
  options.universe = kOlaUniverse;
  options.artnetNodeAddress = "127.0.0.2";
  std::string error;
  input = DmxInput::Start(*registry, dispatcher, options, error);
  ASSERT_TRUE(input) << error;
  // The patched port is OLA's first Art-Net input port: the daemon polls for nodes now.
  ASSERT_TRUE(test::CommandOutput("ola_patch -d " + deviceNumber + " -p 0 -u " +
                                  std::to_string(kOlaUniverse)));

  ASSERT_TRUE(SetUntil("2,255,25,255",
                       [&] { return registry->Playing() && registry->SetListEntry() == 2; }))
      << "no show from the desk; Art-Net counters: " << input->Counters().artnet.received
      << " received, " << input->Counters().pollReplies << " poll replies";
  EXPECT_EQ(Value("Irq_Speed"), 25);
  EXPECT_EQ(Value("Dimmen_RGB"), PowerMax());
  EXPECT_TRUE(Done("Go", CommandSource::kArtnet));

  ASSERT_TRUE(SetUntil("2,255,25,0", [&] { return !registry->Playing(); }));
  EXPECT_TRUE(Done("Blackout", CommandSource::kArtnet)) << "the dimmer at 0 darkens";

  ASSERT_TRUE(SetUntil("2,255,25,255", [&] { return registry->Playing(); }))
      << "leaving 0 with the playback channel up plays again";
  ASSERT_TRUE(SetUntil("2,100,25,255", [&] { return !registry->Playing(); }))
      << "playback below 128 stops";
  EXPECT_TRUE(Done("Stop", CommandSource::kArtnet));

  const DmxCounters counters = input->Counters();
  EXPECT_GE(counters.pollReplies, 1u);
  EXPECT_GE(counters.artnet.accepted, 4u);
}

}  // namespace
}  // namespace lumarex
