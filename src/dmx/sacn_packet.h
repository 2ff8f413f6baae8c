#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace lumarex {

// The sACN (ANSI E1.31) data packet. A pure function over datagrams; every field is read
// bounds-checked.
inline constexpr uint16_t kSacnPort = 5568;
inline constexpr uint16_t kSacnMinUniverse = 1;
inline constexpr uint16_t kSacnMaxUniverse = 63999;
inline constexpr uint8_t kSacnMaxPriority = 200;

using SacnCid = std::array<uint8_t, 16>;

// Level data of one source for one universe. `slots` points into the datagram.
struct SacnData {
  SacnCid cid{};
  uint8_t priority = 100;
  uint16_t syncAddress = 0;  // taken as data all the same: we do not synchronise
  uint8_t sequence = 0;
  bool streamTerminated = false;
  bool forceSynchronization = false;
  uint16_t universe = 0;
  std::span<const uint8_t> slots;
};

// A data packet that passes every check a receiver must make (preamble and post-amble sizes,
// the ACN packet identifier, the root, framing and DMP vectors, address and data type 0xA1,
// first address 0, increment 1), whose slots fit in the datagram, with a universe of
// 1..63999, a priority of 0..200 and START code 0 (levels). None for anything else, and none
// for Preview_Data: those are meant for visualisers, never for live output such as ours.
std::optional<SacnData> DecodeSacnData(std::span<const uint8_t> datagram);

// The multicast group of a universe: 239.255.(U >> 8).(U & 0xFF), in host order.
uint32_t SacnMulticastGroup(uint16_t universe);

}  // namespace lumarex
