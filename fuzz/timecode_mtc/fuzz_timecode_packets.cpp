// MIDI bytes and UDP datagrams come from any program on the network or the MIDI system: every
// input is read as a MIDI stream and as an Art-Net datagram (bare, and behind an ArtTimeCode
// header so that the fields are reached).

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "timecode/artnet_timecode_decoder.h"
#include "timecode/mtc_decoder.h"

namespace {

constexpr uint32_t kByteSpacingMs = 3;

void CheckMidi(std::span<const uint8_t> bytes) {
  // Byte by byte, a few ms apart: every time reported is valid and true at or before now;
  // a set's first piece came at most seven pieces back.
  lumarex::MtcDecoder decoder;
  uint32_t nowMs = 0xFFFFFF00u;  // across the clock's wrap
  uint64_t reported = 0;
  for (const uint8_t byte : bytes) {
    nowMs += kByteSpacingMs;
    const auto time = decoder.Push(byte, nowMs);
    if (!time) continue;
    ++reported;
    if (!lumarex::IsValid(time->tc)) std::abort();
    if (time->fullFrame ? time->atMs != nowMs
                        : nowMs - time->atMs > 7 * lumarex::MtcDecoder::kMaxQuarterFrameGapMs) {
      std::abort();
    }
  }
  const lumarex::MtcCounters& c = decoder.Counters();
  if (c.times != reported || c.fullFrames > c.times || c.quarterFrames > bytes.size() / 2) {
    std::abort();
  }

  // All at once: the same as byte by byte at one moment.
  lumarex::MtcDecoder whole;
  lumarex::MtcDecoder single;
  const auto fed = whole.Feed(bytes, 5);
  std::optional<lumarex::MtcTime> pushed;
  for (const uint8_t byte : bytes) {
    if (auto time = single.Push(byte, 5)) pushed = time;
  }
  if (fed.has_value() != pushed.has_value() || (fed && !(fed->tc == pushed->tc)) ||
      whole.Counters().ignored != single.Counters().ignored) {
    std::abort();
  }
}

void CheckArtnet(std::span<const uint8_t> datagram) {
  lumarex::ArtnetTimecodeDecoder decoder;
  const auto tc = decoder.Decode(datagram);
  const lumarex::ArtnetTimecodeCounters& c = decoder.Counters();
  if (c.received != 1 || c.accepted + c.ignored + c.otherOpCodes != 1) std::abort();
  if (!tc) return;
  if (!lumarex::IsValid(*tc) || datagram.size() < lumarex::kArtTimeCodeSize ||
      datagram[14] != tc->frames || datagram[15] != tc->seconds || datagram[16] != tc->minutes ||
      datagram[17] != tc->hours) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  CheckMidi(bytes);
  CheckArtnet(bytes);
  std::vector<uint8_t> packet = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x97, 0x00, 0x0E};
  packet.insert(packet.end(), bytes.begin(), bytes.end());
  CheckArtnet(packet);
  return 0;
}
