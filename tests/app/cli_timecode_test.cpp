#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "tests/support/test_files.h"
#include "tests/timecode/ltc_writer.h"

namespace lumarex {
namespace {

using test::Quoted;
using test::RunCli;
using test::RunCliWith;

// The first fifty frames of a real show, written as ILDA.
bool WriteFiftyFrames(const std::string& show) {
  return RunCli("convert '" LUMAREX_SHARED_DIR "/testdata/ilda/ildajs__cube.ild' " + Quoted(show) +
                " --first 0 --last 49")
             .exitCode == 0;
}

// A rehearsal against a timeline: LTC in a sound file that starts a second before the show's
// start time and runs past its end. The show waits dark for its start, then plays each frame
// the timecode names, and the run ends when the timecode has left the show.
TEST(CliTimecode, PlayFollowsTheLtcOfASoundFileFromItsStartTime) {
  test::TempDir dir;
  const std::string show = dir.File("show.ild");
  ASSERT_TRUE(WriteFiftyFrames(show));
  test::LtcWriter writer(48000, TimecodeRate::k25);
  writer.AppendFrames(*ParseTimecode("00:59:59:00", TimecodeRate::k25), 100);
  ASSERT_TRUE(test::WriteMonoWav(dir.File("tc.wav"), 48000, writer.Samples()));

  // At 25 a frame for each LTC frame; at 50 two, the position running on between readings.
  for (const int rate : {25, 50}) {
    const int period = 1000 / rate;
    const auto result = RunCliWith(
        "LUMAREX_ETHERDREAM= LUMAREX_ETHERDREAM_LISTEN_MS=0 LUMAREX_IDN= "
        "LUMAREX_LASERCUBE= LUMAREX_USB_BACKEND= SDL_AUDIODRIVER=dummy",
        "play " + Quoted(show) + " --rate " + std::to_string(rate) + " --timecode " +
            Quoted("ltc-file:" + dir.File("tc.wav")) +
            " --tc-start 01:00:00:00 --seconds 10 --json");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto json = nlohmann::json::parse(result.output);
    EXPECT_EQ(json["ended"], "end of show") << "the timecode left the show";
    EXPECT_EQ(json["timecode"]["source"], "ltc-file");
    EXPECT_GT(json["timecode"]["locked_ms"], (1000 + 50 * period) * 8 / 10);
    EXPECT_EQ(json["timecode"]["losses"], 0);
    const auto& handled = json["handled"];
    ASSERT_GE(handled.size(), 45u) << "nearly every frame of the show";
    EXPECT_LE(handled[0][0].get<int>(), 2 * 40 / period) << "locked within two LTC frames";
    int previous = -1;
    for (const auto& h : handled) {
      const int frame = h[0];
      EXPECT_GT(frame, previous);
      // The position the frame was handled at is the timecode's, so the frame is the one due.
      EXPECT_EQ(frame, h[1].get<int>() / period);
      previous = frame;
    }
    EXPECT_EQ(previous, 49);
    const uint64_t ticks = json["TimerRequests"];
    const uint64_t off = json["timecode"]["frames_off_by_more_than_one"];
    EXPECT_LE(off, ticks / 100) << "within one frame for 99 % of the ticks at " << rate;
    std::printf("LTC at %d: first frame %d, %llu of %llu ticks more than one frame off\n", rate,
                handled[0][0].get<int>(), static_cast<unsigned long long>(off),
                static_cast<unsigned long long>(ticks));
  }
}

// On the music's clock the show takes its time from the music as the sound card plays it, and
// goes on on the system clock, without a jump, where the music is shorter than the show.
TEST(CliTimecode, PlayOnTheMusicsClockEndsWithTheShowWhetherTheMusicIsLongerOrShorter) {
  test::TempDir dir;
  const std::string show = dir.File("show.ild");
  ASSERT_TRUE(WriteFiftyFrames(show));
  const std::string env =
      "LUMAREX_ETHERDREAM= LUMAREX_ETHERDREAM_LISTEN_MS=0 LUMAREX_IDN= "
      "LUMAREX_LASERCUBE= LUMAREX_USB_BACKEND= SDL_AUDIODRIVER=dummy";
  for (const double musicSeconds : {3.0, 1.0}) {
    std::vector<float> quiet(static_cast<size_t>(44100 * musicSeconds), 0.01f);
    ASSERT_TRUE(test::WriteMonoWav(dir.File("show.wav"), 44100, quiet));
    const auto result =
        RunCliWith(env, "play " + Quoted(show) + " --rate 25 --clock audio --seconds 10 --json");
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto json = nlohmann::json::parse(result.output);
    EXPECT_EQ(json["ended"], "end of show");
    EXPECT_EQ(json["clock"]["source"], "audio");
    const uint64_t musicTicks = json["clock"]["music_ticks"];
    const uint64_t systemTicks = json["clock"]["system_ticks"];
    EXPECT_GT(musicTicks, 100u) << musicSeconds;
    if (musicSeconds < 2) {
      EXPECT_GT(systemTicks, 100u) << "the rest on the system clock";
    }
    int previous = -1;
    for (const auto& h : json["handled"]) {
      const int frame = h[0];
      EXPECT_GT(frame, previous);
      EXPECT_LE(frame, previous + 5) << "no jump at " << frame;
      EXPECT_EQ(frame, h[1].get<int>() / 40);
      previous = frame;
    }
    EXPECT_EQ(previous, 49);
  }
  const auto both = RunCliWith(env, "play " + Quoted(show) + " --clock audio --timecode artnet");
  EXPECT_EQ(both.exitCode, 2);
}

}  // namespace
}  // namespace lumarex
