#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/cli_context.h"
#include "timecode/chase_time_source.h"

namespace CLI {
class App;
}

namespace lumarex::cli {

// The timecode options of the commands that play: --timecode, --tc-start, --tc-freewheel.
struct TimecodeOptions {
  std::optional<std::string> source;
  std::string start = "00:00:00:00";
  uint32_t freewheelMs = 500;
};

void AddTimecodeOptions(CLI::App& command, TimecodeOptions& options);

// The chase the options ask for; none without --timecode, and none with the exit code set and
// the reason on stderr when the start is malformed or the input cannot be had (`failed`).
std::unique_ptr<ChaseTimeSource> OpenChase(const TimecodeOptions& options, CliContext& context,
                                           bool& failed);

// Lets the player let go of its time source when it goes, on every way out of a command.
struct DetachedTimeSource {
  ShowPlayer& player;
  ~DetachedTimeSource() { player.SetTimeSource(nullptr); }
};

}  // namespace lumarex::cli
