// Two players, one timeline: two lumarex-cli processes chase the same Art-Net timecode, each
// to its own IDN projector (a stand-in on loopback), and show the same frame at the same time.
// The desk here is a sender of the test's own, from the published ArtTimeCode layout: OLA's
// daemon on loopback sends to 127.0.0.1, which reaches one of the two sockets only, where a
// desk on a show network broadcasts to every machine. This sender broadcasts on loopback
// (127.255.255.255), which reaches both. Art-Net's port is fixed, so this program runs alone.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/jmlaser/idn_stand_in.h"
#include "tests/support/child_process.h"
#include "tests/support/step_show.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

using namespace std::chrono_literals;
using jmlaser::testing::IdnStandIn;

// ArtTimeCode at 25 frames per second from `startFrame` on, one packet a frame, until asked to
// stop.
class TimecodeDesk {
 public:
  explicit TimecodeDesk(uint32_t startFrame) : thread_([this, startFrame] { Run(startFrame); }) {}
  ~TimecodeDesk() {
    quit_ = true;
    thread_.join();
  }
  bool Failed() const { return failed_; }

 private:
  void Run(uint32_t frame) {
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    if (s < 0 || setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
      failed_ = true;
      return;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(6454);
    to.sin_addr.s_addr = htonl(0x7FFFFFFF);  // 127.255.255.255
    auto next = std::chrono::steady_clock::now();
    for (; !quit_; ++frame) {
      const uint32_t seconds = frame / 25;
      const uint8_t packet[19] = {'A',
                                  'r',
                                  't',
                                  '-',
                                  'N',
                                  'e',
                                  't',
                                  0,
                                  0x00,
                                  0x97,
                                  0,
                                  14,
                                  0,
                                  0,
                                  static_cast<uint8_t>(frame % 25),
                                  static_cast<uint8_t>(seconds % 60),
                                  static_cast<uint8_t>(seconds / 60 % 60),
                                  static_cast<uint8_t>(seconds / 3600),
                                  1 /* EBU, 25 */};
      if (sendto(s, packet, sizeof packet, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) !=
          static_cast<ssize_t>(sizeof packet)) {
        failed_ = true;
      }
      next += 40ms;
      std::this_thread::sleep_until(next);
    }
    close(s);
  }

  std::atomic<bool> quit_{false};
  std::atomic<bool> failed_{false};
  std::thread thread_;
};

struct Shown {
  std::chrono::steady_clock::time_point at;
  int player;
  std::vector<uint16_t> key;  // the frame's x coordinates: which frame of the show it is
};

TEST(TwoPlayersOneTimecode, ShowTheSameFrameOnTheirOwnProjectors) {
  test::TempDir dir;
  const std::string show = dir.File("show.ild");
  ASSERT_TRUE(test::WriteStepShow(show, 100));  // four seconds at 25
  IdnStandIn first({});
  IdnStandIn second({});
  ASSERT_TRUE(first.Listening() && second.Listening());

  // The show starts three seconds into the timeline: both have started and locked by then.
  TimecodeDesk desk(0);
  const auto player = [&show](const IdnStandIn& projector) {
    return std::make_unique<test::ChildProcess>(
        std::vector<std::string>{LUMAREX_BIN_DIR "/lumarex-cli", "play", show, "--rate", "25",
                                 "--no-music", "--device", "1", "--timecode", "artnet",
                                 "--tc-start", "00:00:03:00", "--seconds", "12", "--json",
                                 "--no-frame-list"},
        std::vector<std::string>{"LUMAREX_ETHERDREAM_LISTEN_MS=0", "LUMAREX_DAC_BROADCAST=none",
                                 "LUMAREX_ETHERDREAM=", "LUMAREX_LASERCUBE=",
                                 "LUMAREX_USB_BACKEND=", "LUMAREX_IDN=" + projector.Locator()});
  };
  auto a = player(first);
  auto b = player(second);
  ASSERT_TRUE(a->Started() && b->Started());
  const auto ended = [](const std::string& line) { return line.find("\"ended\"") != line.npos; };
  const std::string aEnd = a->WaitForLine(ended, 20s);
  const std::string bEnd = b->WaitForLine(ended, 20s);
  ASSERT_FALSE(desk.Failed());
  EXPECT_NE(aEnd.find("\"end of show\""), std::string::npos) << aEnd;
  EXPECT_NE(bEnd.find("\"end of show\""), std::string::npos) << bEnd;

  // Every frame both projectors got, in the order they got them; frames are numbered as they
  // first appear, which is the show's order, since the timeline only runs forward.
  std::vector<Shown> shown;
  for (const auto& [projector, number] : {std::pair{&first, 0}, std::pair{&second, 1}}) {
    for (const IdnStandIn::Received& r : projector->Frames()) {
      std::vector<uint16_t> key;
      for (const auto& p : r.frame.samples) key.push_back(p.x);
      shown.push_back({r.at, number, std::move(key)});
    }
  }
  std::sort(shown.begin(), shown.end(), [](const Shown& l, const Shown& r) { return l.at < r.at; });
  std::map<std::vector<uint16_t>, int> numbers;
  for (const Shown& s : shown) numbers.emplace(s.key, static_cast<int>(numbers.size()));
  EXPECT_GE(numbers.size(), 95u) << "nearly every frame of the show";

  // Whenever one projector got a frame, the other shows the same one or a neighbour.
  int onShow[2] = {-1, -1};
  int compared = 0;
  int apart = 0;
  int same = 0;
  for (const Shown& s : shown) {
    onShow[s.player] = numbers[s.key];
    if (onShow[0] < 0 || onShow[1] < 0) continue;
    ++compared;
    if (std::abs(onShow[0] - onShow[1]) > 1) ++apart;
    if (onShow[0] == onShow[1]) ++same;
  }
  EXPECT_GT(compared, 150);
  EXPECT_LE(apart * 100, compared) << apart << " of " << compared << " more than a frame apart";
  std::printf("two players: %d comparisons, %d on the same frame, %d more than one apart\n",
              compared, same, apart);
}

}  // namespace
}  // namespace lumarex
