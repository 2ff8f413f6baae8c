// Datagrams off the network into the Art-Net and sACN decoding and their merges. The first
// byte chooses the protocol (even: Art-Net, odd: sACN); then come datagrams, each as one byte
// of time passed (in steps of 50 ms, so sources time out too), a 2-byte length and its bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "dmx/artnet_merger.h"
#include "dmx/artnet_packet.h"
#include "dmx/personality_values.h"
#include "dmx/sacn_merger.h"
#include "dmx/sacn_packet.h"
#include "platform/byte_order.h"

namespace {

using namespace lumarex;

void CheckInside(std::span<const uint8_t> inner, std::span<const uint8_t> whole) {
  if (inner.size() > kDmxSlots || inner.data() < whole.data() ||
      inner.data() + inner.size() > whole.data() + whole.size()) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool sacn = (data[0] & 1) != 0;
  ArtnetMerger artnet;
  SacnMerger sacnMerger;
  PersonalityWatch watch(static_cast<uint16_t>(1 + data[0] % kMaxStartAddress));
  ByteCursor records(std::span<const uint8_t>(data + 1, size - 1));
  uint32_t now = 0;
  uint8_t step = 0;
  uint16_t length = 0;
  while (records.ReadU8(step) && records.ReadU16BE(length)) {
    const auto datagram = records.Take(std::min<size_t>(length, records.Remaining()));
    now += step * 50u;
    if (sacn) {
      if (const auto packet = DecodeSacnData(datagram)) {
        CheckInside(packet->slots, datagram);
        sacnMerger.Take(*packet, now);
      }
      sacnMerger.Expire(now);
      watch.Changed(sacnMerger.Levels(), sacnMerger.HasSignal());
      continue;
    }
    if (IsArtPoll(datagram)) {
      ArtPollReplyFields fields;
      fields.portAddress = static_cast<uint16_t>(length);
      const auto reply = EncodeArtPollReply(fields);
      if (ArtnetOpCodeOf(reply) != static_cast<uint16_t>(ArtnetOpCode::kPollReply)) {
        __builtin_trap();
      }
    }
    if (const auto dmx = DecodeArtDmx(datagram)) {
      CheckInside(dmx->slots, datagram);
      // Three senders, so that the merge meets one more than it takes.
      artnet.Take({0x7F000001u + step % 3u, dmx->physical}, *dmx, now);
    }
    artnet.Expire(now);
    watch.Changed(artnet.Levels(), artnet.HasSignal());
  }
  return 0;
}
