#pragma once

#include <cstdint>
#include <optional>

#include "timecode/timecode_input.h"

namespace lumarex {

// How the player follows timecode from outside.
struct ChaseOptions {
  // The show's start: show position 0 is this time of the timecode, counted at the rate the
  // timecode comes in (the rate given here does not matter).
  Timecode start;
  // How long the show goes on on its own clock after the last timecode received, before it
  // holds (the laser dark, the music paused).
  uint32_t freewheelMs = 500;
  // The hour of the timecode selects the set list entry (hour 1 = entry 1) and the rest of the
  // time is the position in it; the start then counts within the hour.
  bool hourSelects = false;
};

enum class ChaseState : uint8_t {
  kWaiting,    // no timecode has come yet
  kLocked,     // timecode arrives as it should
  kFreewheel,  // none for a moment: on our own clock until the freewheel time is over
  kLost,       // none for longer: held
};

// "wartet", "locked", "freewheel", "lost".
const char* ChaseStateName(ChaseState state);

// Where the show stands by the timecode at one moment.
struct ChasePosition {
  ChaseState state = ChaseState::kWaiting;
  // The time the timecode stands at now (extrapolated from the last reading), in ms since
  // midnight; none while waiting.
  std::optional<uint64_t> timecodeMs;
  // The show position; none while the laser is to stay dark: waiting, lost, or before the
  // start.
  std::optional<uint64_t> showMs;
  // With hourSelects: the set list entry the hour names (0 for hour 0).
  uint32_t entry = 0;
};

// Turns the readings of a timecode input into show positions, tick by tick. Plain logic on the
// user-interface thread; the input is read through its Latest().
class TimecodeChase {
 public:
  TimecodeChase(const TimecodeInput& input, const ChaseOptions& options);

  // The position at `nowMs` (the clock the input stamps its readings with).
  ChasePosition At(uint32_t nowMs);

  const ChaseOptions& Options() const { return options_; }
  // Another show's start (a set list entry's own).
  void SetStart(const Timecode& start) { options_.start = start; }
  // How often the timecode was lost (went from locked or freewheel to lost).
  uint32_t Losses() const { return losses_; }
  // How often it went on its own clock (from locked to freewheel).
  uint32_t Freewheels() const { return freewheels_; }

 private:
  const TimecodeInput& input_;
  ChaseOptions options_;
  ChaseState last_ = ChaseState::kWaiting;
  uint32_t losses_ = 0;
  uint32_t freewheels_ = 0;
};

}  // namespace lumarex
