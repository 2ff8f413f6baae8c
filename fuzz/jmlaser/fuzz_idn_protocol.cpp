// What the IDN driver reads off the network (scan and service map replies) and what a
// projector, or our stand-in, takes apart: channel messages put together into frames.
#include <cstddef>
#include <cstdint>
#include <span>

#include "jmlaser/idn_protocol.h"

namespace idn = lumarex::jmlaser::idn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  volatile size_t sink = 0;

  if (const auto scan = idn::ParseScanReply(bytes)) {
    // What we parse we can write back and read again unchanged.
    const auto again = idn::ParseScanReply(idn::EncodeScanReply(*scan, 0));
    if (!again || again->hostName != scan->hostName || again->status != scan->status) {
      __builtin_trap();
    }
  }
  if (const auto map = idn::ParseServiceMap(bytes)) {
    for (const auto& s : map->services) sink = sink + s.name.size() + s.serviceId;
  }

  // The same bytes as a stream of datagrams: each starts with a 2-byte length.
  idn::FrameAssembler assembler;
  size_t at = 0;
  while (at + 2 <= size) {
    const size_t length = static_cast<size_t>(data[at] << 8 | data[at + 1]);
    at += 2;
    const auto datagram = bytes.subspan(at, std::min(length, size - at));
    at += datagram.size();
    const auto message = idn::ParseChannelMessage(datagram);
    if (!message) continue;
    if (message->data.data() < datagram.data() ||
        message->data.data() + message->data.size() > datagram.data() + datagram.size()) {
      __builtin_trap();
    }
    if (assembler.Take(*message) == idn::FrameAssembler::Outcome::kFrame) {
      sink = sink + assembler.Frame().samples.size();
    }
  }
  (void)sink;
  return 0;
}
