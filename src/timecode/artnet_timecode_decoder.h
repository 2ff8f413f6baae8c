#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "timecode/timecode.h"

namespace lumarex {

inline constexpr uint16_t kArtnetTimecodePort = 6454;
inline constexpr uint16_t kArtTimeCodeOpCode = 0x9700;
inline constexpr size_t kArtTimeCodeSize = 19;

struct ArtnetTimecodeCounters {
  uint64_t received = 0;  // every datagram
  uint64_t accepted = 0;  // ArtTimeCode packets taken
  // Not Art-Net, or an ArtTimeCode that is short, of an old protocol version, of an unknown
  // type or out of range for its rate.
  uint64_t ignored = 0;
  // Art-Net packets of other kinds (ArtDmx, ArtPoll from a desk on the same port): dropped,
  // and no fault of anybody's.
  uint64_t otherOpCodes = 0;
};

// The time of an ArtTimeCode: "Art-Net\0", OpCode 0x9700 (little-endian), ProtVer >= 14
// (big-endian), two bytes that are not ours (Filler1 and StreamId), then frames, seconds,
// minutes, hours and the type (0 film 24, 1 EBU 25, 2 drop-frame 29.97, 3 SMPTE 30), all
// plain binary. Bytes past the nineteenth are left alone. Pure; counts what it refused.
class ArtnetTimecodeDecoder {
 public:
  // None for anything but a valid ArtTimeCode.
  std::optional<Timecode> Decode(std::span<const uint8_t> datagram);

  const ArtnetTimecodeCounters& Counters() const { return counters_; }

 private:
  ArtnetTimecodeCounters counters_;
};

}  // namespace lumarex
