// A DAC that drops out while a show or the start animation plays to it, as an operator meets
// it: `lumarex-cli` plays to a stand-in in a child process, the stand-in goes away and comes
// back on the same address, and with no operator action the frames must reach it again within
// two seconds of its return, point for point the frames the output transform made (the
// virtual DAC's capture of the same run, made beside it, is the reference). Nothing is
// broadcast. Each test prints how long the first frame after the return took.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "jmlaser/etherdream_protocol.h"
#include "jmlaser/lasercube_protocol.h"
#include "tests/jmlaser/dac_test_support.h"
#include "tests/jmlaser/etherdream_stand_in.h"
#include "tests/jmlaser/idn_stand_in.h"
#include "tests/jmlaser/lasercube_stand_in.h"
#include "tests/support/virtual_dac_capture.h"

namespace lumarex::jmlaser::testing {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using Captured = test::CapturedFrame<DacPoint>;
// The output transform's frames, by their number in the show (or in the animation).
using Transformed = std::map<int, Captured>;

constexpr const char* kQuiet =
    "LUMAREX_ETHERDREAM_LISTEN_MS=0 LUMAREX_DAC_BROADCAST=none LUMAREX_ETHERDREAM= LUMAREX_IDN= "
    "LUMAREX_LASERCUBE= LUMAREX_USB_BACKEND= ";
constexpr const char* kShow = "'" LUMAREX_SHARED_DIR "/testdata/ilda/ildajs__cube.ild'";
// The reference run plays half a second longer, so that it holds the last frame the device
// may have got.
const std::string kPlay = std::string("play ") + kShow + " --rate 10 --no-music --json ";
const std::string kPlayDevice = kPlay + "--seconds 5 --device ";
const std::string kPlayLonger = kPlay + "--seconds 5.5 --device ";
constexpr milliseconds kOutage{2000};
constexpr milliseconds kBackWithin{2000};

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

// lumarex-cli in the background, what it prints kept in a file.
class Cli {
 public:
  Cli(const std::string& environment, const std::string& arguments, std::filesystem::path log)
      : log_(std::move(log)) {
    const std::string command = std::string("exec env ") + kQuiet + environment + " '" +
                                LUMAREX_BIN_DIR "/lumarex-cli' " + arguments + " > '" +
                                log_.string() + "' 2>&1";
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    if (::posix_spawnp(&pid_, "sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0) {
      pid_ = -1;
    }
  }
  Cli(const Cli&) = delete;
  Cli& operator=(const Cli&) = delete;
  ~Cli() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }

  // The exit status, or -1 when it did not exit by itself.
  int Wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Output() const { return ReadText(log_); }

 private:
  std::filesystem::path log_;
  pid_t pid_ = -1;
};

// The last line a command printed, read as JSON.
nlohmann::json JsonOf(const std::string& output) {
  const size_t line = output.rfind('\n', output.size() > 1 ? output.size() - 2 : 0);
  return nlohmann::json::parse(output.substr(line == std::string::npos ? 0 : line + 1), nullptr,
                               false);
}

// The show frames a `play --json` sent, in order.
std::vector<int> SentFrames(const std::string& output) {
  std::vector<int> sent;
  const nlohmann::json json = JsonOf(output);
  if (!json.is_object() || !json.contains("handled")) return sent;
  for (const auto& h : json["handled"]) {
    if (h.size() == 3 && h[2] == "sent") sent.push_back(h[0].get<int>());
  }
  return sent;
}

// Which frames of the show `stream`, the points as the device got them, is made of, one after
// another, each point as `wire` puts it on the wire; the run may end inside a frame. Adds a
// failure and answers nothing when a point starts no frame of the show.
template <typename Wire, typename ToWire>
std::optional<std::vector<int>> FramesIn(const std::vector<Wire>& stream,
                                         const Transformed& reference, ToWire wire) {
  std::vector<std::pair<int, std::vector<Wire>>> frames;
  for (const auto& [number, f] : reference) {
    frames.emplace_back(number, std::vector<Wire>());
    for (const DacPoint& p : f.points) frames.back().second.push_back(wire(p));
  }
  std::vector<int> places;
  for (size_t at = 0; at < stream.size();) {
    const size_t left = stream.size() - at;
    const auto match = std::find_if(frames.begin(), frames.end(), [&](const auto& numbered) {
      const auto& f = numbered.second;
      return !f.empty() &&
             std::equal(f.begin(), f.begin() + static_cast<ptrdiff_t>(std::min(f.size(), left)),
                        stream.begin() + static_cast<ptrdiff_t>(at));
    });
    if (match == frames.end()) {
      ADD_FAILURE() << "point " << at << " of " << stream.size() << " starts no frame of the "
                    << reference.size() << " the transform made";
      return std::nullopt;
    }
    places.push_back(match->first);
    at += match->second.size();
  }
  if (places.empty()) ADD_FAILURE() << "no points";
  if (places.empty()) return std::nullopt;
  return places;
}

// The number of the show frame whose points `frame` holds, as far as the device's resolution
// (`mask`) goes.
std::optional<int> NumberOf(const std::vector<DacPoint>& frame, const Transformed& reference,
                            uint16_t mask = 0xFFFF) {
  const auto match = std::find_if(reference.begin(), reference.end(), [&](const auto& numbered) {
    const std::vector<DacPoint>& points = numbered.second.points;
    return points.size() == frame.size() &&
           std::equal(frame.begin(), frame.end(), points.begin(), [&](DacPoint a, DacPoint b) {
             b.x &= mask;
             b.y &= mask;
             return a == b;
           });
  });
  if (match == reference.end()) return std::nullopt;
  return match->first;
}

// The first frame a DAC got after its return is one the program wrote after it: the show ran
// on for the two seconds it was away, twenty frames at ten a second, and nothing held from
// before is played to it again.
void ExpectWrittenAfterTheReturn(int lastBefore, int firstAfter) {
  EXPECT_GE(firstAfter, lastBefore + 15)
      << "the DAC got frame " << firstAfter << " of the show first, and " << lastBefore
      << " before it went away";
}

class ReconnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("lumarex_reconnect_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // The same command to the virtual DAC, run beside the device's.
  std::unique_ptr<Cli> Reference(const std::string& command) {
    return std::make_unique<Cli>("LUMAREX_VIRTUAL_DAC_CAPTURE='" + Path("virtual.bin") + "'",
                                 command + "0", dir_ / "virtual.log");
  }
  // The transform's frames of the show, from the reference run's capture (its frames in the
  // order its list says it sent them); a frame that the device's run sent and the reference
  // run skipped (a busy machine may hold a tick back past a frame) comes from `send`.
  Transformed ShowFrames(const Cli& device, const Cli& reference) const {
    const auto captured = test::ReadCapture<DacPoint>(dir_ / "virtual.bin");
    const std::vector<int> sent = SentFrames(reference.Output());
    Transformed frames;
    for (size_t k = 0; k < std::min(sent.size(), captured.size()); ++k) {
      frames[sent[k]] = captured[k];
    }
    for (const int f : SentFrames(device.Output())) {
      if (frames.count(f) != 0) continue;
      const auto one = dir_ / ("frame" + std::to_string(f) + ".bin");
      Cli send("LUMAREX_VIRTUAL_DAC_CAPTURE='" + one.string() + "'",
               "send " + std::string(kShow) + " --frame " + std::to_string(f) + " --device 0",
               dir_ / "send.log");
      EXPECT_EQ(send.Wait(), 0) << send.Output();
      const auto got = test::ReadCapture<DacPoint>(one);
      if (!got.empty()) frames[f] = got.front();
    }
    return frames;
  }
  // The animation's pictures, numbered in the order they were sent.
  Transformed Pictures() const {
    Transformed pictures;
    int k = 0;
    for (Captured& f : test::ReadCapture<DacPoint>(dir_ / "virtual.bin")) {
      pictures[k++] = std::move(f);
    }
    return pictures;
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  // Waits until the DAC plays, lets it play for a moment, takes it away with `stop` and
  // brings it back with `start` after `outage`. Answers how long it took from the return until
  // `playing` said so again, or nothing when that took longer than kBackWithin.
  std::optional<milliseconds> ThroughAnOutage(const std::function<bool()>& playing,
                                              const std::function<void()>& stop,
                                              const std::function<void()>& start,
                                              milliseconds outage = kOutage) {
    // Generous: the child starts the whole program first, and the machine may be busy.
    if (!WaitUntil(playing, milliseconds(8000))) {
      ADD_FAILURE() << "no frame reached the DAC before it went away";
      return std::nullopt;
    }
    std::this_thread::sleep_for(milliseconds(300));
    stop();
    std::this_thread::sleep_for(outage);
    start();
    const auto back = Clock::now();
    if (!WaitUntil(playing, kBackWithin)) return std::nullopt;
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - back);
    RecordProperty("back_to_first_frame_ms", static_cast<int>(took.count()));
    std::printf("first frame %lld ms after the DAC's return\n",
                static_cast<long long>(took.count()));
    return took;
  }

  // A play that got frames through ends well, with the frames of the outage refused.
  void ExpectPlayedThroughTheOutage(Cli& device) {
    ASSERT_EQ(device.Wait(), 0) << device.Output();
    const auto json = JsonOf(device.Output());
    ASSERT_TRUE(json.is_object()) << device.Output();
    EXPECT_GT(json.value("RefusedFrames", 0), 0) << "the device read ready while it was gone";
    EXPECT_GT(json.value("FramesAccepted", 0), 20);
  }

  std::filesystem::path dir_;
};

etherdream::WirePoint EtherDreamWire(const DacPoint& p) {
  return etherdream::ToWirePoint(p, 4);
}

// The points written to an Ether Dream, without the flag that marks a change of rate.
std::vector<etherdream::WirePoint> PointsOf(const EtherDreamStandIn& dac) {
  auto points = dac.WrittenPoints();
  for (auto& p : points) p.control = 0;
  return points;
}

TEST_F(ReconnectTest, AnEtherDreamThatDropsOutDuringAShowPlaysItAgain) {
  EtherDreamStandIn::Options options;
  auto dac = std::make_unique<EtherDreamStandIn>(options);
  ASSERT_TRUE(dac->Listening());
  options.port = dac->Port();
  auto reference = Reference(kPlayLonger);
  Cli device("LUMAREX_ETHERDREAM=" + dac->Locator(), kPlayDevice + "1", dir_ / "ed.log");

  std::vector<etherdream::WirePoint> before;
  const auto took = ThroughAnOutage([&] { return dac->Snapshot().pointsReceived > 0; },
                                    [&] {
                                      before = PointsOf(*dac);
                                      dac.reset();
                                    },
                                    [&] { dac = std::make_unique<EtherDreamStandIn>(options); });
  ASSERT_TRUE(dac->Listening()) << "the port was taken while the DAC was away";
  EXPECT_TRUE(took) << "no frame within " << kBackWithin.count() << " ms of the return";
  ExpectPlayedThroughTheOutage(device);
  ASSERT_EQ(reference->Wait(), 0) << reference->Output();

  // A new connection, begun again at the show's rate, with the show's frames on it.
  const auto stats = dac->Snapshot();
  EXPECT_EQ(stats.connections, 1);
  EXPECT_GE(stats.begins, 1);
  EXPECT_EQ(stats.playbackState, 0) << "closing stops the DAC";
  const auto frames = ShowFrames(device, *reference);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(stats.rate, frames.rbegin()->second.rate);
  const auto earlier = FramesIn(before, frames, EtherDreamWire);
  const auto later = FramesIn(PointsOf(*dac), frames, EtherDreamWire);
  ASSERT_TRUE(earlier && later);
  ExpectWrittenAfterTheReturn(earlier->back(), later->front());
}

// The start animation waits for the device before each picture, and for a device that has
// taken pictures long enough that it can come back.
TEST_F(ReconnectTest, AnEtherDreamThatDropsOutDuringTheStartAnimationTakesItsPicturesAgain) {
  EtherDreamStandIn::Options options;
  auto dac = std::make_unique<EtherDreamStandIn>(options);
  ASSERT_TRUE(dac->Listening());
  options.port = dac->Port();
  const std::string animation = "animation --pictures 60 --device ";
  auto reference = Reference(animation);
  Cli device("LUMAREX_ETHERDREAM=" + dac->Locator(), animation + "1", dir_ / "ed.log");

  const auto took =
      ThroughAnOutage([&] { return dac->Snapshot().pointsReceived > 0; }, [&] { dac.reset(); },
                      [&] { dac = std::make_unique<EtherDreamStandIn>(options); });
  EXPECT_TRUE(took) << "no picture within " << kBackWithin.count() << " ms of the return";
  ASSERT_EQ(device.Wait(), 0) << device.Output();
  EXPECT_NE(device.Output().find("Sent 60 pictures"), std::string::npos) << device.Output();
  ASSERT_EQ(reference->Wait(), 0) << reference->Output();
  EXPECT_TRUE(FramesIn(PointsOf(*dac), Pictures(), EtherDreamWire));
}

TEST_F(ReconnectTest, AnIdnUnitThatDropsOutGetsTheConfigurationWithTheFirstFrameAgain) {
  IdnStandIn::Options options;
  auto unit = std::make_unique<IdnStandIn>(options);
  ASSERT_TRUE(unit->Listening());
  options.port = unit->Port();
  auto reference = Reference(kPlayLonger);
  Cli device("LUMAREX_IDN=" + unit->Locator(), kPlayDevice + "1", dir_ / "idn.log");

  std::vector<DacPoint> last;  // the last frame the unit got before it went away
  const auto took =
      ThroughAnOutage([&] { return !unit->Frames().empty(); },
                      [&] {
                        const auto frames = unit->Frames();
                        const auto& s = frames.back().frame.samples;
                        last.assign(s.begin() + 1, s.end());  // without the start point
                        unit.reset();
                      },
                      [&] { unit = std::make_unique<IdnStandIn>(options); });
  ASSERT_TRUE(unit->Listening()) << "the port was taken while the unit was away";
  EXPECT_TRUE(took) << "no frame within " << kBackWithin.count() << " ms of the return";
  ExpectPlayedThroughTheOutage(device);
  ASSERT_EQ(reference->Wait(), 0) << reference->Output();

  // The unit came back knowing nothing: a frame before the configuration would be dropped.
  EXPECT_EQ(unit->Snapshot().dropped, 0);
  EXPECT_EQ(unit->Snapshot().channelCloses, 1) << "closing darkens the projector";
  const auto frames = unit->Frames();
  const auto configs = unit->ConfigTimes();
  ASSERT_FALSE(frames.empty());
  ASSERT_FALSE(configs.empty());
  EXPECT_LE(configs.front(), frames.front().at);
  const auto played = ShowFrames(device, *reference);
  std::vector<int> numbers;
  for (const auto& f : frames) {
    const auto& s = f.frame.samples;
    ASSERT_FALSE(s.empty());
    const auto number = NumberOf(std::vector<DacPoint>(s.begin() + 1, s.end()), played);
    ASSERT_TRUE(number) << "frame " << numbers.size() << " is none the transform made";
    numbers.push_back(*number);
  }
  const auto lastNumber = NumberOf(last, played);
  ASSERT_TRUE(lastNumber);
  ExpectWrittenAfterTheReturn(*lastNumber, numbers.front());
}

TEST_F(ReconnectTest, ALaserCubeThatDropsOutIsSetUpAgainAndPlaysTheShowOn) {
  // Ports of its own, which the program is told of: a search of another program on this
  // machine may hold the cubes' own.
  LaserCubeStandIn::Options options;
  std::unique_ptr<LaserCubeStandIn> cube;
  for (int attempt = 0; attempt < 20 && !(cube && cube->Listening()); ++attempt) {
    options.alivePort = static_cast<uint16_t>(20000 + (::getpid() * 37 + attempt * 991) % 30000);
    options.commandPort = static_cast<uint16_t>(options.alivePort + 1);
    options.dataPort = static_cast<uint16_t>(options.alivePort + 2);
    cube = std::make_unique<LaserCubeStandIn>(options);
  }
  ASSERT_TRUE(cube->Listening());
  auto reference = Reference(kPlayLonger);
  Cli device("LUMAREX_LASERCUBE=" + options.address +
                 " LUMAREX_LASERCUBE_PORTS=" + std::to_string(options.alivePort),
             kPlayDevice + "1", dir_ / "cube.log");

  std::vector<lasercube::Sample> before;
  const auto took = ThroughAnOutage([&] { return cube->Snapshot().samplesReceived > 0; },
                                    [&] {
                                      before = cube->Received();
                                      cube.reset();
                                    },
                                    [&] { cube = std::make_unique<LaserCubeStandIn>(options); });
  ASSERT_TRUE(cube->Listening()) << "the LaserCube ports were taken while the cube was away";
  EXPECT_TRUE(took) << "no frame within " << kBackWithin.count() << " ms of the return";
  // Set up as at the start before the first samples: buffer cleared, replies on, output on.
  const auto setUp = cube->Snapshot();
  EXPECT_GE(setUp.clears, 1);
  EXPECT_TRUE(setUp.repliesOn);
  EXPECT_GE(setUp.outputOnCommands, 1);
  ExpectPlayedThroughTheOutage(device);
  ASSERT_EQ(reference->Wait(), 0) << reference->Output();

  const auto stats = cube->Snapshot();
  EXPECT_EQ(stats.overflowed, 0u);
  EXPECT_FALSE(stats.outputOn) << "closing switches the output off";
  const auto frames = ShowFrames(device, *reference);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(stats.rate, frames.rbegin()->second.rate);
  auto wire = [](const DacPoint& p) { return lasercube::ToSample(p, 3); };
  const auto earlier = FramesIn(before, frames, wire);
  const auto later = FramesIn(cube->Received(), frames, wire);
  ASSERT_TRUE(earlier && later);
  ExpectWrittenAfterTheReturn(earlier->back(), later->front());
}

TEST_F(ReconnectTest, AHeliosUnpluggedAndPluggedInAgainPlaysTheShowOn) {
  const std::string capture = Path("helios.bin");
  const std::string control = Path("control");
  auto reference = Reference(kPlayLonger);
  Cli device("LUMAREX_USB_BACKEND='" LUMAREX_FAKE_USB_MODULE "' LUMAREX_FAKE_HELIOS_CAPTURE='" +
                 capture + "' LUMAREX_FAKE_HELIOS_CONTROL='" + control + "'",
             kPlayDevice + "1", dir_ / "helios.log");

  size_t before = 0;  // frames the DAC had taken when it was plugged in again
  const auto took =
      ThroughAnOutage([&] { return test::ReadCapture<DacPoint>(capture).size() > before; },
                      [&] { std::ofstream(control) << "unplug"; },
                      [&] {
                        before = test::ReadCapture<DacPoint>(capture).size();
                        std::ofstream(control) << "plug";
                      });
  EXPECT_TRUE(took) << "no frame within " << kBackWithin.count() << " ms of the return";
  ExpectPlayedThroughTheOutage(device);
  ASSERT_EQ(reference->Wait(), 0) << reference->Output();

  const auto got = test::ReadCapture<DacPoint>(capture);
  const auto played = ShowFrames(device, *reference);
  ASSERT_GT(got.size(), before);
  ASSERT_GT(before, 0u);
  std::vector<int> numbers;
  for (size_t k = before - 1; k < got.size(); ++k) {
    const auto number = NumberOf(got[k].points, played, 0xFFF0);
    ASSERT_TRUE(number) << "frame " << k << " is none the transform made";
    numbers.push_back(*number);
  }
  ExpectWrittenAfterTheReturn(numbers[0], numbers[1]);
}

}  // namespace
}  // namespace lumarex::jmlaser::testing
