#include "osc/osc_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "control/remote_command.h"
#include "tests/mainwindow/window_fixture.h"
#include "tests/support/child_process.h"

namespace lumarex {
namespace {

using namespace std::chrono_literals;

// Whether something holds UDP `port` on loopback: a client started just before has bound it.
bool PortTaken(int port) {
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool taken = bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0;
  close(s);
  return taken;
}

class OscServerTest : public test::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    registry = std::make_unique<ControlRegistry>(*form, dispatcher);
    std::string error;
    server = OscServer::Start(*registry, dispatcher, 0, error);
    ASSERT_TRUE(server) << error;
    port = std::to_string(server->Port());
  }
  void TearDown() override {
    server.reset();
    registry.reset();
  }

  // Runs a real client, then the user-interface thread until the server has taken
  // `messages` more messages and the tasks they posted have run. The client is killed at
  // the end whatever happened.
  void Run(const std::vector<std::string>& command, uint64_t messages = 1) {
    const OscCounters before = server->Counters();
    test::ChildProcess client(command);
    ASSERT_TRUE(client.Started());
    const bool taken = dispatcher.RunUntil(
        [&] {
          const OscCounters now = server->Counters();
          return now.handled + now.ignored >= before.handled + before.ignored + messages;
        },
        3s);
    dispatcher.RunPending();
    ASSERT_TRUE(taken) << command[3];
  }
  void Send(const std::string& path, const std::string& types = "",
            const std::vector<std::string>& values = {}) {
    std::vector<std::string> command{"oscsend", "127.0.0.1", port, path};
    if (!types.empty()) command.push_back(types);
    command.insert(command.end(), values.begin(), values.end());
    Run(command);
  }

  std::string WriteShow(const std::string& name, uint32_t frames) {
    ShowStore store;
    for (uint32_t n = 0; n < frames; ++n) {
      const auto slot = store.NewFrame(2);
      slot[0] = test::Blanked(0, 0);
      slot[1] = test::Lit(static_cast<int16_t>(100 * n), 0, 255, 0, 0);
      store.CommitFrame(1, FrameTail::kAllReal);
    }
    test::RecordingDesktop quiet;
    EXPECT_TRUE(SaveShowFile(store, dir.File(name), 0, static_cast<int32_t>(frames) - 1, quiet));
    return dir.File(name);
  }

  QueueDispatcher dispatcher;
  std::unique_ptr<ControlRegistry> registry;
  std::unique_ptr<OscServer> server;
  std::string port;
};

TEST_F(OscServerTest, OscsendPlaysTheShowSetsControlsAndRunsTheSetList) {
  std::string error;
  EXPECT_FALSE(OscServer::Start(*registry, dispatcher, server->Port(), error));
  EXPECT_EQ(error, "port " + port + " is in use");

  LoadShow(60);
  Send("/lumarex/play");
  EXPECT_TRUE(registry->Playing());
  Send("/lumarex/stop", "i", {"1"});  // a button's value is no matter
  EXPECT_FALSE(registry->Playing());

  // Numbers of every kind, rounded and clamped.
  Send("/lumarex/frame", "i", {"30"});
  EXPECT_EQ(form->CurrentFrame, 30);
  Send("/lumarex/frame", "f", {"12.6"});
  EXPECT_EQ(form->CurrentFrame, 13);
  Send("/lumarex/rate", "d", {"40.4"});
  EXPECT_EQ(registry->Value(kRateControl), 40);
  Send("/lumarex/rate", "h", {"99"});
  EXPECT_EQ(registry->Value(kRateControl), 50);
  Send("/lumarex/mode", "T");
  EXPECT_EQ(form->OGL_Effekt.Position(), 1);
  Send("/lumarex/power", "i", {"6"});
  EXPECT_EQ(registry->Value(kPowerControl), 6);
  form->Output.Schloss_AufClick();
  Send("/lumarex/power", "f", {"9"});
  EXPECT_EQ(registry->Value(kPowerControl), 6) << "the power lock holds";
  Send("/lumarex/control/Achse_X.Left", "i", {"40"});  // a name with a dot
  EXPECT_EQ(registry->Value("Achse_X.Left"), 40);
  Send("/lumarex/control/Nonsense", "i", {"1"});
  EXPECT_EQ(server->Counters().refused, 2u) << "the power lock and the unknown name";

  // A bundle (oscsendfile puts lines of one time into one) is applied as one task.
  {
    std::ofstream lines(dir.File("bundle.txt"));
    lines << "/lumarex/control/Scanspeed i 30\n/lumarex/control/Extrapoints i 5\n";
  }
  Run({"oscsendfile", "127.0.0.1", port, dir.File("bundle.txt")}, 2);
  EXPECT_EQ(registry->Value("Scanspeed"), 30);
  EXPECT_EQ(registry->Value("Extrapoints"), 5);

  const std::string a = WriteShow("a.ild", 3);
  const std::string b = WriteShow("b.ild", 5);
  {
    std::ofstream list(dir.File("evening.m3u"));
    list << "#EXTM3U\na.ild\nb.ild\n";
  }
  Send("/lumarex/load", "s", {dir.File("evening.m3u")});
  EXPECT_EQ(registry->SetListEntry(), 1u);
  Send("/lumarex/setlist/go", "i", {"2"});
  EXPECT_TRUE(registry->Playing());
  EXPECT_EQ(registry->ShowName(), "b.ild");
  Send("/lumarex/setlist/previous");
  EXPECT_EQ(registry->ShowName(), "a.ild");
  EXPECT_TRUE(registry->Playing());
  Send("/lumarex/setlist/cue", "f", {"2.0"});
  EXPECT_EQ(registry->SetListEntry(), 2u);
  EXPECT_FALSE(registry->Playing());
  Send("/lumarex/setlist/next");
  EXPECT_EQ(server->Counters().refused, 3u) << "no entry after the last";
  Send("/lumarex/setlist/go", "i", {"1"});
  ASSERT_TRUE(registry->Playing());
  Send("/lumarex/blackout", "s", {"now"});
  EXPECT_FALSE(registry->Playing());

  // What we do not understand is counted and changes nothing.
  const OscCounters known = server->Counters();
  const uint16_t frame = form->CurrentFrame;
  Send("/lumarex/nothing", "i", {"1"});
  Send("/lumarex/frame", "s", {"12"});
  Send("/lumarex/rate");
  Send("/lumarex/subscribe", "i", {"0"});
  Send("/elsewhere/play");
  {
    // No real client writes a malformed packet: these come from a socket of our own. The
    // message ends inside its int argument; the second has a type liblo does not know.
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(server->Port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const char truncated[] = "/lumarex/frame\0\0,i\0\0\0\0";
    const char unknownType[] = "/lumarex/frame\0\0,X\0\0\0\0\0\1";
    sendto(s, truncated, 22, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    sendto(s, unknownType, 24, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    close(s);
    EXPECT_TRUE(
        dispatcher.RunUntil([&] { return server->Counters().ignored == known.ignored + 7; }, 3s));
  }
  EXPECT_EQ(form->CurrentFrame, frame);
  const OscCounters c = server->Counters();
  EXPECT_EQ(c.handled, known.handled);
  EXPECT_EQ(c.ignored, known.ignored + 7);
  EXPECT_EQ(c.received, c.handled + c.ignored);

  // Gone before its last command ran: the queued task finds it so.
  const OscCounters last = server->Counters();
  test::ChildProcess late({"oscsend", "127.0.0.1", port, "/lumarex/play"});
  const auto deadline = std::chrono::steady_clock::now() + 3s;
  while (server->Counters().handled == last.handled &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_GT(server->Counters().handled, last.handled);
  server.reset();
  dispatcher.RunPending();
  EXPECT_FALSE(registry->Playing());
}

TEST_F(OscServerTest, SubscribersHearOfEveryChangeAtMost25TimesASecond) {
  LoadShow(60);
  const int listen = test::FreeUdpPort();
  test::ChildProcess dump({"oscdump", "-L", std::to_string(listen)});
  ASSERT_TRUE(dump.Started());
  for (int wait = 0; wait < 300 && !PortTaken(listen); ++wait) std::this_thread::sleep_for(10ms);
  const auto heard = [&](const std::string& address, const std::string& value) {
    const std::string wanted = " " + address + " " + value;
    return !dump.WaitForLine(
                    [&](const std::string& line) {
                      return line.size() >= wanted.size() &&
                             line.compare(line.size() - wanted.size(), wanted.size(), wanted) == 0;
                    },
                    3s)
                .empty();
  };

  // All four at once, then each as it changes.
  Send("/lumarex/subscribe", "i", {std::to_string(listen)});
  EXPECT_TRUE(heard("/lumarex/status/playing", "i 0"));
  EXPECT_TRUE(heard("/lumarex/status/frame", "i 0"));
  EXPECT_TRUE(heard("/lumarex/status/show", "s \"show.ild\""));
  EXPECT_TRUE(heard("/lumarex/status/setlist", "i 0"));
  ASSERT_TRUE(registry->Play(CommandSource::kKey));
  EXPECT_TRUE(heard("/lumarex/status/playing", "i 1"));
  // The frame is polled while the show plays.
  for (int tick = 0; tick < 20; ++tick) TickAfter(40);
  dispatcher.RunFor(100ms);
  EXPECT_TRUE(heard("/lumarex/status/frame", "i " + std::to_string(form->CurrentFrame)));
  ASSERT_TRUE(registry->Stop(CommandSource::kKey));
  EXPECT_TRUE(heard("/lumarex/status/playing", "i 0"));

  // Forty frame changes in about 200 ms: coalesced, and the last one arrives.
  dispatcher.RunFor(100ms);
  dump.WaitForLine([](const std::string&) { return false; }, 50ms);  // what is on its way
  const size_t before = dump.Lines().size();
  const auto start = std::chrono::steady_clock::now();
  for (int32_t n = 1; n <= 40; ++n) {
    registry->Set(kFrameControl, n, CommandSource::kWidget);
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_TRUE(heard("/lumarex/status/frame", "i 40"));
  const auto span = std::chrono::steady_clock::now() - start;
  const auto frames =
      std::count_if(dump.Lines().begin() + static_cast<ptrdiff_t>(before), dump.Lines().end(),
                    [](const std::string& line) {
                      return line.find("/lumarex/status/frame") != std::string::npos;
                    });
  EXPECT_LE(frames, span / StatusThrottle::kSpacing + 1) << "over 25 a second";
  EXPECT_GE(frames, 2);

  // Without a port the status goes to where the subscription came from, from the server's
  // own port. oscsend cannot listen for an answer, so a socket of our own subscribes.
  const int own = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(server->Port());
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const char subscribe[] = "/lumarex/subscribe\0\0,\0\0\0";
  const uint64_t handled = server->Counters().handled;
  ASSERT_EQ(sendto(own, subscribe, 24, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 24);
  ASSERT_TRUE(dispatcher.RunUntil([&] { return server->Counters().handled > handled; }, 3s));
  dispatcher.RunPending();
  std::vector<std::string> replies;
  pollfd p{own, POLLIN, 0};
  while (replies.size() < 4 && poll(&p, 1, 3000) > 0) {
    char reply[256] = {};
    sockaddr_in from{};
    socklen_t length = sizeof from;
    if (recvfrom(own, reply, sizeof reply - 1, 0, reinterpret_cast<sockaddr*>(&from), &length) <=
        0) {
      break;
    }
    EXPECT_EQ(ntohs(from.sin_port), server->Port());
    replies.emplace_back(reply);
  }
  close(own);
  std::sort(replies.begin(), replies.end());
  EXPECT_EQ(replies, (std::vector<std::string>{"/lumarex/status/frame", "/lumarex/status/playing",
                                               "/lumarex/status/setlist", "/lumarex/status/show"}));
}

TEST(StatusThrottleTest, ChangesWithinTheSpacingAreCoalescedIntoTheLatest) {
  using Line = StatusThrottle::Line;
  StatusThrottle throttle;
  OscStatus status;
  status.show = "a.ild";
  const auto t0 = StatusThrottle::Clock::time_point{} + 1h;
  throttle.SendAll();
  EXPECT_EQ(throttle.TakeDue(status, t0).size(), 4u);
  EXPECT_FALSE(throttle.NextDue(status));

  status.frame = 1;
  EXPECT_TRUE(throttle.TakeDue(status, t0 + 10ms).empty());
  EXPECT_EQ(throttle.NextDue(status), t0 + 40ms);
  status.frame = 2;
  status.playing = true;
  EXPECT_TRUE(throttle.TakeDue(status, t0 + 39ms).empty());
  EXPECT_EQ(throttle.TakeDue(status, t0 + 40ms), (std::vector<Line>{Line::kPlaying, Line::kFrame}));
  // A change undone before it could go is no change.
  status.frame = 3;
  status.frame = 2;
  EXPECT_FALSE(throttle.NextDue(status));
  // The greeting of a renewed subscription waits for the spacing too.
  throttle.SendAll();
  EXPECT_EQ(throttle.TakeDue(status, t0 + 50ms), (std::vector<Line>{Line::kShow, Line::kSetList}));
  EXPECT_EQ(throttle.TakeDue(status, t0 + 80ms).size(), 2u);
}

}  // namespace
}  // namespace lumarex
