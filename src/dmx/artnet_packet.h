#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace lumarex {

// Art-Net as a node that outputs one universe uses it: ArtDmx in, ArtPoll answered with an
// ArtPollReply. Pure functions over datagrams; every field is read bounds-checked.
inline constexpr uint16_t kArtnetPort = 6454;
inline constexpr uint16_t kArtnetMaxPortAddress = 0x7FFF;

enum class ArtnetOpCode : uint16_t {
  kPoll = 0x2000,
  kPollReply = 0x2100,
  kDmx = 0x5000,
};

// The OpCode of a datagram that starts with the Art-Net ID, none for anything else.
std::optional<uint16_t> ArtnetOpCodeOf(std::span<const uint8_t> datagram);

// An ArtDmx packet. `slots` points into the datagram.
struct ArtDmx {
  uint8_t sequence = 0;  // 0: the sender does not number its packets
  uint8_t physical = 0;  // the sender's input port: tells two sources of one IP apart
  uint16_t portAddress = 0;
  std::span<const uint8_t> slots;
};

// An ArtDmx of protocol version 14 or later, at least 20 bytes long, with at least one slot;
// none for anything else. A Length beyond the datagram is cut to what arrived (so a short
// packet sets the first slots only), and odd lengths are taken although senders "should" send
// even ones.
std::optional<ArtDmx> DecodeArtDmx(std::span<const uint8_t> datagram);

// Whether a datagram is an ArtPoll (12 bytes are enough: its later fields may be missing).
bool IsArtPoll(std::span<const uint8_t> datagram);

// What our ArtPollReply says about us: one output port of DMX512 data.
struct ArtPollReplyFields {
  std::array<uint8_t, 4> ip{};  // the address we announce, in network order
  uint16_t portAddress = 0;     // the universe we take
  std::string shortName;        // 17 characters at most are sent
  std::string longName;         // 63 characters at most are sent
  uint32_t replyCount = 0;      // the NodeReport's counter
};
inline constexpr size_t kArtPollReplySize = 239;
std::array<uint8_t, kArtPollReplySize> EncodeArtPollReply(const ArtPollReplyFields& fields);

}  // namespace lumarex
