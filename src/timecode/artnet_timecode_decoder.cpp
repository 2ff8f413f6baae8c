#include "timecode/artnet_timecode_decoder.h"

#include <array>
#include <iterator>

#include "platform/byte_order.h"

namespace lumarex {
namespace {

constexpr std::array<uint8_t, 8> kArtnetId = {'A', 'r', 't', '-', 'N', 'e', 't', 0};
// "Controllers should ignore communication with nodes using a protocol version lower than
// 14"; OLA sends exactly 14, newer senders may send more.
constexpr uint16_t kMinProtocolVersion = 14;
constexpr TimecodeRate kRates[4] = {TimecodeRate::k24, TimecodeRate::k25, TimecodeRate::k2997Drop,
                                    TimecodeRate::k30};

}  // namespace

std::optional<Timecode> ArtnetTimecodeDecoder::Decode(std::span<const uint8_t> datagram) {
  ++counters_.received;
  ByteCursor cursor(datagram);
  std::array<uint8_t, 8> id{};
  uint16_t opCode = 0;
  if (!cursor.ReadArray(id) || id != kArtnetId || !cursor.ReadU16LE(opCode)) {
    ++counters_.ignored;
    return std::nullopt;
  }
  if (opCode != kArtTimeCodeOpCode) {
    ++counters_.otherOpCodes;
    return std::nullopt;
  }
  uint16_t version = 0;
  uint8_t type = 0;
  Timecode tc;
  const bool whole = cursor.ReadU16BE(version) && cursor.Skip(2) && cursor.ReadU8(tc.frames) &&
                     cursor.ReadU8(tc.seconds) && cursor.ReadU8(tc.minutes) &&
                     cursor.ReadU8(tc.hours) && cursor.ReadU8(type);
  if (!whole || version < kMinProtocolVersion || type >= std::size(kRates)) {
    ++counters_.ignored;
    return std::nullopt;
  }
  tc.rate = kRates[type];
  if (!IsValid(tc)) {
    ++counters_.ignored;
    return std::nullopt;
  }
  ++counters_.accepted;
  return tc;
}

}  // namespace lumarex
