#include "dmx/sacn_packet.h"

#include "dmx/dmx_levels.h"
#include "platform/byte_order.h"

namespace lumarex {
namespace {

constexpr std::array<uint8_t, 12> kAcnPacketId = {'A', 'S', 'C', '-', 'E', '1',
                                                  '.', '1', '7', 0,   0,   0};
constexpr uint16_t kPreambleSize = 0x0010;
constexpr uint32_t kRootVectorData = 0x00000004;
constexpr uint32_t kFramingVectorData = 0x00000002;
constexpr uint8_t kDmpVectorSetProperty = 0x02;
constexpr uint8_t kAddressAndDataType = 0xA1;
constexpr uint8_t kOptionPreview = 0x80;
constexpr uint8_t kOptionTerminated = 0x40;
constexpr uint8_t kOptionForceSync = 0x20;
constexpr size_t kSlotsOffset = 126;

}  // namespace

std::optional<SacnData> DecodeSacnData(std::span<const uint8_t> datagram) {
  ByteCursor c(datagram);
  uint16_t preamble = 0;
  uint16_t postamble = 0;
  std::array<uint8_t, 12> id{};
  uint32_t rootVector = 0;
  SacnData data;
  uint32_t framingVector = 0;
  uint8_t options = 0;
  uint8_t dmpVector = 0;
  uint8_t types = 0;
  uint16_t firstAddress = 0;
  uint16_t increment = 0;
  uint16_t valueCount = 0;
  uint8_t startCode = 0;
  const bool read = c.ReadU16BE(preamble) && c.ReadU16BE(postamble) && c.ReadArray(id) &&
                    c.Skip(2) && c.ReadU32BE(rootVector) && c.ReadArray(data.cid) && c.Skip(2) &&
                    c.ReadU32BE(framingVector) && c.Skip(64) && c.ReadU8(data.priority) &&
                    c.ReadU16BE(data.syncAddress) && c.ReadU8(data.sequence) && c.ReadU8(options) &&
                    c.ReadU16BE(data.universe) && c.Skip(2) && c.ReadU8(dmpVector) &&
                    c.ReadU8(types) && c.ReadU16BE(firstAddress) && c.ReadU16BE(increment) &&
                    c.ReadU16BE(valueCount) && c.ReadU8(startCode);
  if (!read || preamble != kPreambleSize || postamble != 0 || id != kAcnPacketId ||
      rootVector != kRootVectorData || framingVector != kFramingVectorData ||
      dmpVector != kDmpVectorSetProperty || types != kAddressAndDataType || firstAddress != 0 ||
      increment != 1) {
    return std::nullopt;
  }
  // The count includes the START code; its slots must all have arrived.
  if (valueCount < 1 || valueCount - 1u > kDmxSlots || valueCount - 1u > c.Remaining()) {
    return std::nullopt;
  }
  if (data.universe < kSacnMinUniverse || data.universe > kSacnMaxUniverse ||
      data.priority > kSacnMaxPriority || startCode != 0 || (options & kOptionPreview) != 0) {
    return std::nullopt;
  }
  data.streamTerminated = (options & kOptionTerminated) != 0;
  data.forceSynchronization = (options & kOptionForceSync) != 0;
  data.slots = datagram.subspan(kSlotsOffset, valueCount - 1u);
  return data;
}

uint32_t SacnMulticastGroup(uint16_t universe) {
  // 239.255 and then the universe's two bytes, high byte first.
  return 0xEFFF0000u | universe;
}

}  // namespace lumarex
