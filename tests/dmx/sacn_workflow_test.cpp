// A show run from a lighting desk over sACN, end to end: the npm package "sacn" sends, as a
// program that we did not write, multicast over loopback to the DmxInput of a real main window.
// OLA cannot be that sender here: its E1.31 plugin never binds the loopback interface (it
// takes the first other one, whatever its configuration says) and sends multicast only.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dmx/dmx_input.h"
#include "dmx/dmx_personality.h"
#include "tests/dmx/dmx_window_fixture.h"
#include "tests/support/child_process.h"

namespace lumarex {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

class SacnWorkflowTest : public test::DmxWindowTest {
 protected:
  void SetUp() override {
    DmxWindowTest::SetUp();
    const std::filesystem::path modules = LUMAREX_NODE_MODULES;
    if (!std::filesystem::exists(modules / "sacn" / "package.json")) {
      GTEST_SKIP() << "the npm package sacn is not installed in " << modules;
    }
    if (std::system("node --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "node is missing";
    fifo = dir.File("commands");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    port = test::FreeUdpPort();
    ASSERT_GT(port, 0);
    DmxInputOptions options;
    options.sacn = true;
    options.universe = 7;
    options.sacnPort = static_cast<uint16_t>(port);
    options.sacnInterface = "127.0.0.1";
    std::string error;
    input = DmxInput::Start(*registry, dispatcher, options, error);
    ASSERT_TRUE(input) << error;
    desk = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{"timeout", "60", "node", LUMAREX_SACN_SENDER_SCRIPT, fifo, "7",
                                 std::to_string(port), "127.0.0.1"},
        std::vector<std::string>{"NODE_PATH=" + modules.string()});
    // Read and write, so that opening does not wait for the reader.
    commands = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(commands, 0);
  }
  void TearDown() override {
    if (commands >= 0) close(commands);  // the sender ends at the end of its commands
    if (desk) desk->Stop(SIGTERM, milliseconds(3000));
    desk.reset();
    input.reset();
    DmxWindowTest::TearDown();
  }

  // A command to the desk, and its answer.
  void Desk(const std::string& line) {
    const std::string text = line + "\n";
    ASSERT_EQ(write(commands, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    const std::string answer = line.rfind("stop ", 0) == 0 ? "stopped " : "sent ";
    ASSERT_FALSE(desk->WaitForLine([&](const std::string& l) { return l.rfind(answer, 0) == 0; },
                                   milliseconds(5000))
                     .empty())
        << "the desk did not take: " << line;
  }

  std::string fifo;
  int port = 0;
  int commands = -1;
  std::unique_ptr<DmxInput> input;
  std::unique_ptr<test::ChildProcess> desk;
};

TEST_F(SacnWorkflowTest, TheHighestPriorityDeskRunsTheSetListAndTheBackupTakesOverOnLoss) {
  // A backup desk at priority 50: entry 1 at rate 30, full power, playing.
  Desk("backup 50 1,255,30,255");
  ASSERT_TRUE(RunUntil([&] { return registry->Playing() && registry->SetListEntry() == 1; }));
  EXPECT_EQ(Value("Irq_Speed"), 30) << "set before the show started";
  EXPECT_EQ(Value("Dimmen_RGB"), PowerMax());
  EXPECT_TRUE(Done("Go", CommandSource::kSacn));

  // The main desk at priority 150 takes the whole universe: entry 2, rate 25.
  Desk("main 150 2,255,25,255");
  ASSERT_TRUE(RunUntil([&] { return registry->SetListEntry() == 2 && registry->Playing(); }));
  EXPECT_EQ(Value("Irq_Speed"), 30) << "the rate bar is hidden while the show plays";

  // Dimmer to 0: dark and stopped at once, and now the rate control takes the wanted rate.
  Desk("main 150 2,255,25,0");
  ASSERT_TRUE(RunUntil([&] { return !registry->Playing(); }));
  EXPECT_TRUE(Done("Blackout", CommandSource::kSacn));
  EXPECT_EQ(Value("Irq_Speed"), 25);

  // Leaving 0 with the playback channel up plays again, at half power.
  Desk("main 150 2,255,25,128");
  ASSERT_TRUE(RunUntil([&] { return registry->Playing(); }));
  EXPECT_EQ(Value("Dimmen_RGB"), DmxPersonality::PowerPosition(
                                     128, registry->FindControl("Dimmen_RGB")->min, PowerMax()));

  // Playback below 128 stops.
  Desk("main 150 2,100,25,128");
  ASSERT_TRUE(RunUntil([&] { return !registry->Playing(); }));
  EXPECT_EQ(registry->SetListEntry(), 2u);

  // The main desk falls silent: 2.5 s later it is lost and the backup's look comes back.
  const auto silent = steady_clock::now();
  Desk("stop main");
  ASSERT_TRUE(RunUntil([&] { return registry->SetListEntry() == 1 && registry->Playing(); },
                       milliseconds(6000)));
  EXPECT_GE(steady_clock::now() - silent, milliseconds(2000)) << "lost too soon";

  const DmxCounters counters = input->Counters();
  EXPECT_GE(counters.sacn.accepted, 6u);
  EXPECT_EQ(counters.artnet.received, 0u);
}

}  // namespace
}  // namespace lumarex
