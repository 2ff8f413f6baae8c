#pragma once

// Art-Net and sACN packets put together from the published layouts, for the tests, the fuzz
// seeds and the benchmark. Each field is written where the layout puts it, so a test can
// spoil one field at a time.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/byte_order.h"

namespace lumarex::test {

struct ArtDmxFields {
  uint16_t portAddress = 0;
  std::vector<uint8_t> slots{0, 0};
  uint8_t sequence = 0;
  uint8_t physical = 0;
  uint16_t version = 14;
  // The Length field; by default the number of slots.
  int length = -1;
};

inline std::vector<uint8_t> ArtnetHeader(uint16_t opCode, size_t size) {
  std::vector<uint8_t> p(size);
  std::memcpy(p.data(), "Art-Net", 8);
  StoreU16LE(p.data() + 8, opCode);
  return p;
}

inline std::vector<uint8_t> ArtDmxPacket(const ArtDmxFields& f) {
  std::vector<uint8_t> p = ArtnetHeader(0x5000, 18 + f.slots.size());
  StoreU16BE(p.data() + 10, f.version);
  p[12] = f.sequence;
  p[13] = f.physical;
  p[14] = static_cast<uint8_t>(f.portAddress & 0xFF);
  p[15] = static_cast<uint8_t>(f.portAddress >> 8);
  StoreU16BE(p.data() + 16, static_cast<uint16_t>(f.length < 0 ? f.slots.size() : f.length));
  std::copy(f.slots.begin(), f.slots.end(), p.begin() + 18);
  return p;
}

inline std::vector<uint8_t> ArtPollPacket() {
  std::vector<uint8_t> p = ArtnetHeader(0x2000, 14);
  StoreU16BE(p.data() + 10, 14);
  p[12] = 0x02;  // Flags: send ArtPollReply when the node's state changes
  return p;
}

struct SacnFields {
  std::array<uint8_t, 16> cid{};
  uint8_t priority = 100;
  uint8_t sequence = 0;
  uint8_t options = 0;  // 0x80 Preview_Data, 0x40 Stream_Terminated
  uint16_t universe = 1;
  uint8_t startCode = 0;
  std::vector<uint8_t> slots;
  std::string sourceName = "lumarex test";
};

inline std::array<uint8_t, 16> Cid(uint8_t n) {
  std::array<uint8_t, 16> cid{};
  cid.fill(n);
  return cid;
}

inline std::vector<uint8_t> SacnPacket(const SacnFields& f) {
  const size_t size = 126 + f.slots.size();
  std::vector<uint8_t> p(size);
  uint8_t* b = p.data();
  const auto flagsAndLength = [&](size_t offset) {
    StoreU16BE(b + offset, static_cast<uint16_t>(0x7000 | (size - offset)));
  };
  StoreU16BE(b, 0x0010);
  StoreU16BE(b + 2, 0x0000);
  std::memcpy(b + 4, "ASC-E1.17\0\0\0", 12);
  flagsAndLength(16);
  StoreU32BE(b + 18, 0x00000004);
  std::memcpy(b + 22, f.cid.data(), 16);
  flagsAndLength(38);
  StoreU32BE(b + 40, 0x00000002);
  std::memcpy(b + 44, f.sourceName.data(), std::min<size_t>(f.sourceName.size(), 63));
  b[108] = f.priority;
  StoreU16BE(b + 109, 0);
  b[111] = f.sequence;
  b[112] = f.options;
  StoreU16BE(b + 113, f.universe);
  flagsAndLength(115);
  b[117] = 0x02;
  b[118] = 0xA1;
  StoreU16BE(b + 119, 0x0000);
  StoreU16BE(b + 121, 0x0001);
  StoreU16BE(b + 123, static_cast<uint16_t>(1 + f.slots.size()));
  b[125] = f.startCode;
  std::copy(f.slots.begin(), f.slots.end(), p.begin() + 126);
  return p;
}

}  // namespace lumarex::test
