#include "dmx/artnet_packet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dmx/dmx_levels.h"
#include "platform/byte_order.h"

namespace lumarex {
namespace {

constexpr std::array<uint8_t, 8> kArtnetId = {'A', 'r', 't', '-', 'N', 'e', 't', 0};
constexpr uint16_t kMinProtocolVersion = 14;
constexpr size_t kArtDmxHeader = 18;
// OLA's minimum too: the header and two slots.
constexpr size_t kArtDmxMinimum = 20;

void PutText(uint8_t* field, size_t width, const std::string& text) {
  // One byte stays for the terminating zero.
  std::memcpy(field, text.data(), std::min(text.size(), width - 1));
}

}  // namespace

std::optional<uint16_t> ArtnetOpCodeOf(std::span<const uint8_t> datagram) {
  ByteCursor cursor(datagram);
  std::array<uint8_t, 8> id{};
  uint16_t opCode = 0;
  if (!cursor.ReadArray(id) || id != kArtnetId || !cursor.ReadU16LE(opCode)) return std::nullopt;
  return opCode;
}

std::optional<ArtDmx> DecodeArtDmx(std::span<const uint8_t> datagram) {
  if (datagram.size() < kArtDmxMinimum ||
      ArtnetOpCodeOf(datagram) != static_cast<uint16_t>(ArtnetOpCode::kDmx)) {
    return std::nullopt;
  }
  ByteCursor cursor(datagram);
  uint16_t version = 0;
  uint8_t subUni = 0;
  uint8_t net = 0;
  uint16_t length = 0;
  ArtDmx dmx;
  cursor.Seek(10);
  if (!(cursor.ReadU16BE(version) && cursor.ReadU8(dmx.sequence) && cursor.ReadU8(dmx.physical) &&
        cursor.ReadU8(subUni) && cursor.ReadU8(net) && cursor.ReadU16BE(length))) {
    return std::nullopt;
  }
  if (version < kMinProtocolVersion) return std::nullopt;
  const size_t slots = std::min({size_t{length}, cursor.Remaining(), kDmxSlots});
  if (slots == 0) return std::nullopt;
  dmx.portAddress = static_cast<uint16_t>(net << 8 | subUni);
  dmx.slots = datagram.subspan(kArtDmxHeader, slots);
  return dmx;
}

bool IsArtPoll(std::span<const uint8_t> datagram) {
  return datagram.size() >= 12 &&
         ArtnetOpCodeOf(datagram) == static_cast<uint16_t>(ArtnetOpCode::kPoll);
}

std::array<uint8_t, kArtPollReplySize> EncodeArtPollReply(const ArtPollReplyFields& fields) {
  std::array<uint8_t, kArtPollReplySize> p{};
  uint8_t* const b = p.data();
  std::memcpy(b, kArtnetId.data(), kArtnetId.size());
  StoreU16LE(b + 8, static_cast<uint16_t>(ArtnetOpCode::kPollReply));
  std::memcpy(b + 10, fields.ip.data(), 4);
  StoreU16LE(b + 14, kArtnetPort);
  StoreU16BE(b + 16, 1);  // VersInfo
  const uint16_t address = fields.portAddress & kArtnetMaxPortAddress;
  b[18] = static_cast<uint8_t>(address >> 8);           // NetSwitch
  b[19] = static_cast<uint8_t>((address >> 4) & 0x0F);  // SubSwitch
  StoreU16BE(b + 20, 0x00FF);                           // OemUnknown
  PutText(b + 26, 18, fields.shortName);
  PutText(b + 44, 64, fields.longName);
  char report[64];
  std::snprintf(report, sizeof report, "#0001 [%04u] Power On Tests successful",
                static_cast<unsigned>(fields.replyCount % 10000));
  PutText(b + 108, 64, report);
  StoreU16BE(b + 172, 1);  // NumPorts
  b[174] = 0x80;           // PortTypes: outputs DMX512 data from Art-Net
  b[182] = 0x80;           // GoodOutput: data is being output
  // SwOut needs only the universe in its low nibble; the Sub-Net in the high nibble as well
  // is what OLA compares its whole 8-bit address against before it unicasts to us.
  b[190] = static_cast<uint8_t>(address & 0xFF);
  b[200] = 0x00;                              // Style: StNode
  std::memcpy(b + 207, fields.ip.data(), 4);  // BindIp
  b[211] = 1;                                 // BindIndex
  return p;
}

}  // namespace lumarex
