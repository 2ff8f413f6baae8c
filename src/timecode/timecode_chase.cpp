#include "timecode/timecode_chase.h"

#include <algorithm>

namespace lumarex {

namespace {

constexpr uint64_t kHourMs = 3600000;

// A reading counts as current for two of its frames and a little: LTC and quarter-frame MTC
// complete a time every frame or two, Art-Net sends one a frame.
uint32_t LockWindowMs(TimecodeRate rate) {
  return 2 * 1000 / NominalFramesPerSecond(rate) + 40;
}

}  // namespace

const char* ChaseStateName(ChaseState state) {
  switch (state) {
    case ChaseState::kWaiting:
      return "wartet";
    case ChaseState::kLocked:
      return "locked";
    case ChaseState::kFreewheel:
      return "freewheel";
    case ChaseState::kLost:
      return "lost";
  }
  return "wartet";
}

TimecodeChase::TimecodeChase(const TimecodeInput& input, const ChaseOptions& options)
    : input_(input), options_(options) {}

ChasePosition TimecodeChase::At(uint32_t nowMs) {
  ChasePosition position;
  const std::optional<TimecodeReading> reading = input_.Latest();
  if (!reading) {
    last_ = ChaseState::kWaiting;
    return position;
  }
  // Readings and now are on one 32-bit millisecond clock: differences wrap correctly.
  const uint32_t silentMs = nowMs - reading->receivedMs;
  if (silentMs > options_.freewheelMs) {
    position.state = ChaseState::kLost;
  } else if (silentMs > LockWindowMs(reading->tc.rate)) {
    position.state = ChaseState::kFreewheel;
  } else {
    position.state = ChaseState::kLocked;
  }
  if (position.state == ChaseState::kLost && last_ != ChaseState::kLost &&
      last_ != ChaseState::kWaiting) {
    ++losses_;
  }
  if (position.state == ChaseState::kFreewheel && last_ == ChaseState::kLocked) ++freewheels_;
  last_ = position.state;

  position.timecodeMs = TimecodeMs(reading->tc) + (nowMs - reading->atMs);
  if (position.state == ChaseState::kLost) return position;
  uint64_t time = *position.timecodeMs;
  if (options_.hourSelects) {
    position.entry = static_cast<uint32_t>(time / kHourMs);
    time %= kHourMs;
  }
  Timecode start = options_.start;
  start.rate = reading->tc.rate;
  start.frames =
      std::min<uint8_t>(start.frames, static_cast<uint8_t>(NominalFramesPerSecond(start.rate) - 1));
  const uint64_t startMs = options_.hourSelects ? TimecodeMs(start) % kHourMs : TimecodeMs(start);
  if (time >= startMs) position.showMs = time - startMs;
  return position;
}

}  // namespace lumarex
