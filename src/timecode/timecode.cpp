#include "timecode/timecode.h"

#include <charconv>

namespace lumarex {

namespace {

constexpr uint64_t kDropFramesPerTenMinutes = 17982;  // 10 x 60 x 30 - 9 x 2
constexpr uint64_t kDropFramesPerMinute = 1798;       // 60 x 30 - 2

bool IsDrop(TimecodeRate rate) {
  return rate == TimecodeRate::k2997Drop;
}

}  // namespace

const char* TimecodeRateName(TimecodeRate rate) {
  switch (rate) {
    case TimecodeRate::k24:
      return "24";
    case TimecodeRate::k25:
      return "25";
    case TimecodeRate::k2997Drop:
      return "29.97df";
    case TimecodeRate::k30:
      return "30";
  }
  return "25";
}

uint32_t NominalFramesPerSecond(TimecodeRate rate) {
  switch (rate) {
    case TimecodeRate::k24:
      return 24;
    case TimecodeRate::k25:
      return 25;
    case TimecodeRate::k2997Drop:
    case TimecodeRate::k30:
      return 30;
  }
  return 25;
}

bool IsValid(const Timecode& tc) {
  if (tc.hours > 23 || tc.minutes > 59 || tc.seconds > 59) return false;
  if (tc.frames >= NominalFramesPerSecond(tc.rate)) return false;
  // Drop-frame skips frame numbers 0 and 1 at the start of each minute but every tenth.
  return !(IsDrop(tc.rate) && tc.seconds == 0 && tc.frames < 2 && tc.minutes % 10 != 0);
}

uint64_t FrameNumber(const Timecode& tc) {
  const uint64_t fps = NominalFramesPerSecond(tc.rate);
  const uint64_t minutes = 60u * tc.hours + tc.minutes;
  uint64_t frame = (minutes * 60u + tc.seconds) * fps + tc.frames;
  if (IsDrop(tc.rate)) frame -= 2u * (minutes - minutes / 10u);
  return frame;
}

uint64_t TimecodeMs(const Timecode& tc) {
  const uint64_t frame = FrameNumber(tc);
  if (IsDrop(tc.rate)) return frame * 1001u / 30u;
  return frame * 1000u / NominalFramesPerSecond(tc.rate);
}

Timecode TimecodeOfFrame(uint64_t frame, TimecodeRate rate) {
  const uint64_t fps = NominalFramesPerSecond(rate);
  if (IsDrop(rate)) {
    frame %= kDropFramesPerTenMinutes * 6u * 24u;
    const uint64_t tens = frame / kDropFramesPerTenMinutes;
    const uint64_t rest = frame % kDropFramesPerTenMinutes;
    frame += 18u * tens;
    if (rest > 2) frame += 2u * ((rest - 2u) / kDropFramesPerMinute);
  } else {
    frame %= fps * 86400u;
  }
  Timecode tc;
  tc.rate = rate;
  tc.frames = static_cast<uint8_t>(frame % fps);
  tc.seconds = static_cast<uint8_t>(frame / fps % 60u);
  tc.minutes = static_cast<uint8_t>(frame / (fps * 60u) % 60u);
  tc.hours = static_cast<uint8_t>(frame / (fps * 3600u) % 24u);
  return tc;
}

Timecode NextFrame(const Timecode& tc) {
  return TimecodeOfFrame(FrameNumber(tc) + 1, tc.rate);
}

std::optional<Timecode> ParseTimecode(std::string_view text, TimecodeRate rate) {
  Timecode tc;
  tc.rate = rate;
  uint8_t* fields[] = {&tc.hours, &tc.minutes, &tc.seconds, &tc.frames};
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (size_t k = 0; k < 4; ++k) {
    if (k > 0) {
      const bool separator = at < end && (*at == ':' || (k == 3 && (*at == ';' || *at == '.')));
      if (!separator) return std::nullopt;
      ++at;
    }
    const char* start = at;
    unsigned value = 0;
    const auto [next, error] = std::from_chars(at, end, value);
    if (error != std::errc() || next - start != 2 || value > 99) return std::nullopt;
    *fields[k] = static_cast<uint8_t>(value);
    at = next;
  }
  if (at != end || !IsValid(tc)) return std::nullopt;
  return tc;
}

std::string TimecodeText(const Timecode& tc) {
  char text[12];
  const auto two = [&text](size_t at, unsigned value) {
    text[at] = static_cast<char>('0' + value / 10 % 10);
    text[at + 1] = static_cast<char>('0' + value % 10);
  };
  two(0, tc.hours);
  text[2] = ':';
  two(3, tc.minutes);
  text[5] = ':';
  two(6, tc.seconds);
  text[8] = IsDrop(tc.rate) ? ';' : ':';
  two(9, tc.frames);
  return std::string(text, 11);
}

}  // namespace lumarex
