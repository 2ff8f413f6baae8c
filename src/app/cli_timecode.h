#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/cli_context.h"
#include "timecode/audio_time_source.h"
#include "timecode/chase_time_source.h"

namespace CLI {
class App;
}

namespace lumarex::cli {

// The clock and timecode options of the commands that play: --clock, --timecode, --tc-start,
// --tc-freewheel, --tc-hour-selects.
struct TimecodeOptions {
  std::string clock = "system";
  std::optional<std::string> source;
  std::string start = "00:00:00:00";
  uint32_t freewheelMs = 500;
  bool hourSelects = false;
};

// `withSetList`: the command plays a set list, whose entry the hour may select.
void AddTimecodeOptions(CLI::App& command, TimecodeOptions& options, bool withSetList);

// The chase the options ask for; none without --timecode, and none with the exit code set and
// the reason on stderr when the start is malformed or the input cannot be had (`failed`).
std::unique_ptr<ChaseTimeSource> OpenChase(const TimecodeOptions& options, CliContext& context,
                                           bool& failed);

// With --clock audio: the show takes its time from the window's music as the sound card
// plays it (the music put on the card's clock); none on the system clock, and none with the
// exit code set when --timecode asks for another clock at the same time (`failed`).
std::unique_ptr<AudioTimeSource> OpenAudioClock(const TimecodeOptions& options, Tform1& form,
                                                CliContext& context, bool& failed);

// Lets the player let go of its time source when it goes, on every way out of a command.
struct DetachedTimeSource {
  ShowPlayer& player;
  ~DetachedTimeSource() { player.SetTimeSource(nullptr); }
};

}  // namespace lumarex::cli
