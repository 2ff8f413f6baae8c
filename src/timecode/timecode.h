#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumarex {

// The frame rates timecode comes in: film, EBU, NTSC drop-frame and SMPTE.
enum class TimecodeRate : uint8_t { k24, k25, k2997Drop, k30 };

// "24", "25", "29.97df", "30".
const char* TimecodeRateName(TimecodeRate rate);
// Frames a second as counted (24, 25, 30, 30): drop-frame counts 30 and skips numbers.
uint32_t NominalFramesPerSecond(TimecodeRate rate);

// A SMPTE time: hours 0..23, minutes and seconds 0..59, frames 0..(nominal rate - 1). With
// drop-frame, frame numbers 0 and 1 do not exist at the start of every minute but each tenth.
struct Timecode {
  uint8_t hours = 0;
  uint8_t minutes = 0;
  uint8_t seconds = 0;
  uint8_t frames = 0;
  TimecodeRate rate = TimecodeRate::k25;
  bool operator==(const Timecode&) const = default;
};

// Whether each field is in range for its rate (drop-frame's skipped numbers are not).
bool IsValid(const Timecode& tc);
// The frame count since 00:00:00:00, drop-frame numbers skipped.
uint64_t FrameNumber(const Timecode& tc);
// The time since 00:00:00:00 in milliseconds, at the real rate (29.97 for drop-frame: one
// frame is 1001/30 ms), rounded down.
uint64_t TimecodeMs(const Timecode& tc);
// The timecode of frame `frame` since midnight (wrapping at 24 hours).
Timecode TimecodeOfFrame(uint64_t frame, TimecodeRate rate);
// The next frame's timecode.
Timecode NextFrame(const Timecode& tc);

// "HH:MM:SS:FF" (";" or "." before the frames accepted too); none when malformed or out of
// range for `rate`.
std::optional<Timecode> ParseTimecode(std::string_view text, TimecodeRate rate);
// "HH:MM:SS:FF", with ";" before the frames for drop-frame.
std::string TimecodeText(const Timecode& tc);

}  // namespace lumarex
