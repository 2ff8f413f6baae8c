#include "app/cli_timecode.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <utility>

#include "timecode/timecode_sources.h"

namespace lumarex::cli {

void AddTimecodeOptions(CLI::App& command, TimecodeOptions& options, bool withSetList) {
  command
      .add_option("--clock", options.clock,
                  "What the show's time is counted on: system (default) or audio, the "
                  "music as the sound card plays it")
      ->check(CLI::IsMember({"system", "audio"}));
  command.add_option("--timecode", options.source,
                     "Follow timecode: artnet, mtc[:PORT], ltc[:DEVICE] or ltc-file:PATH");
  command.add_option("--tc-start", options.start,
                     "The timecode at which the show starts, HH:MM:SS:FF (default 00:00:00:00)");
  command.add_option("--tc-freewheel", options.freewheelMs,
                     "Milliseconds the show goes on without timecode before it holds dark "
                     "(default 500)");
  if (!withSetList) return;
  command.add_flag("--tc-hour-selects", options.hourSelects,
                   "The hour of the timecode selects the set list entry (hour 1 = entry 1)");
}

std::unique_ptr<AudioTimeSource> OpenAudioClock(const TimecodeOptions& options, Tform1& form,
                                                CliContext& context, bool& failed) {
  failed = false;
  if (options.clock != "audio") return nullptr;
  if (options.source) {
    std::cerr << "lumarex-cli: --clock audio and --timecode cannot both set the show's time\n";
    context.exitCode = kExitUsage;
    failed = true;
    return nullptr;
  }
  if (form.Music) form.Music->SetDeviceClocked(true);
  const ShowPlayer& player = form.Player;
  return std::make_unique<AudioTimeSource>([&player] { return player.MusicHeardMs(); });
}

std::unique_ptr<ChaseTimeSource> OpenChase(const TimecodeOptions& options, CliContext& context,
                                           bool& failed) {
  failed = false;
  if (!options.source) return nullptr;
  // The start is read with the 30-frame count; it is counted at the rate timecode comes in.
  const std::optional<Timecode> start = ParseTimecode(options.start, TimecodeRate::k30);
  if (!start) {
    std::cerr << "lumarex-cli: --tc-start takes HH:MM:SS:FF, not " << options.start << '\n';
    context.exitCode = kExitUsage;
    failed = true;
    return nullptr;
  }
  std::string error;
  std::unique_ptr<TimecodeInput> input =
      OpenTimecodeInput(*options.source, context.Cli().clock, error);
  if (!input) {
    std::cerr << "lumarex-cli: timecode " << *options.source << ": " << error << '\n';
    context.Failed();
    failed = true;
    return nullptr;
  }
  return std::make_unique<ChaseTimeSource>(
      std::move(input), ChaseOptions{*start, options.freewheelMs, options.hourSelects});
}

}  // namespace lumarex::cli
