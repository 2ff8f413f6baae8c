#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "timecode/timecode.h"

namespace lumarex {

// A time that MIDI timecode carried, and when it was the time.
struct MtcTime {
  Timecode tc;
  // On the clock the arrival times were read from: for quarter frames the arrival of the piece
  // that began the set (piece 0 forwards, 7 backwards), which the sender sends at the start of
  // the frame the set names; for a full-frame message its own arrival.
  uint32_t atMs = 0;
  // A full-frame message: the sender located there, and the time stands until quarter frames
  // run again.
  bool fullFrame = false;
  // Quarter frames that came 7, 6, ..., 0: the sender plays backwards.
  bool backwards = false;
};

struct MtcCounters {
  uint64_t quarterFrames = 0;  // quarter-frame messages, whole or not
  uint64_t fullFrames = 0;     // full-frame messages taken
  uint64_t times = 0;          // times reported, both kinds
  // MTC messages cut short by another status byte, malformed full-frame messages, and times
  // out of range for their rate (drop-frame's skipped numbers included).
  uint64_t ignored = 0;
};

// Turns a MIDI byte stream into times: quarter frames (F1 0nnn dddd) assembled eight at a
// time in either direction, and full-frame messages (F0 7F dev 01 01 hh mm ss ff F7, from any
// device number). Everything else on the stream (notes, clock, other SysEx, user bits) passes
// without a trace; real-time bytes may come anywhere, even inside a message. Pure: the caller
// says when each byte arrived. Not thread-safe; one decoder per stream.
class MtcDecoder {
 public:
  // Quarter frames further apart than this do not belong to one set: the sender stopped or
  // located in between. Steady MTC is 10 ms apart at 25 fps; JACK hands MIDI over a period at a
  // time and these machines stall for 50-80 ms now and then, and neither should cost a set.
  static constexpr uint32_t kMaxQuarterFrameGapMs = 100;

  // One byte that arrived at `nowMs`; the time it completed, if any.
  std::optional<MtcTime> Push(uint8_t byte, uint32_t nowMs);
  // Bytes that arrived together (one message as a MIDI port delivers it, or a stretch of a
  // stream); the last time they completed.
  std::optional<MtcTime> Feed(std::span<const uint8_t> bytes, uint32_t nowMs);
  // Forgets any partial message and set (the counters stay).
  void Reset();

  const MtcCounters& Counters() const { return counters_; }

 private:
  enum class Parse : uint8_t { kOther, kQuarterFrameData, kSysex };
  enum class Direction : uint8_t { kUnknown, kForwards, kBackwards };
  // F0 7F dev 01 01 hh mm ss ff, the F7 after it not kept.
  static constexpr size_t kFullFrameSize = 9;

  std::optional<MtcTime> QuarterFrame(uint8_t data, uint32_t nowMs);
  std::optional<MtcTime> SysexEnd(uint32_t nowMs);
  // A status byte ended the message being assembled.
  void Interrupted();
  bool SysexIsMtc() const;
  void ForgetSet();

  Parse parse_ = Parse::kOther;
  std::array<uint8_t, kFullFrameSize> sysex_{};
  size_t sysexLength_ = 0;  // counts on past the buffer, so that an overlong message shows

  // The run of quarter frames in one direction so far; a set is complete when the last eight
  // of a run began with the starting piece.
  std::array<uint8_t, 8> pieces_{};
  Direction direction_ = Direction::kUnknown;
  uint32_t runLength_ = 0;
  uint8_t lastPiece_ = 0;
  uint32_t lastArrivalMs_ = 0;
  uint32_t piece0ArrivalMs_ = 0;
  uint32_t piece7ArrivalMs_ = 0;

  MtcCounters counters_;
};

}  // namespace lumarex
