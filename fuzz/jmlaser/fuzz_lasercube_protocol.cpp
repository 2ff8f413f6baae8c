// What the LaserCube driver reads off the network (alive, full info and free-count replies)
// and the data packets a cube, or our stand-in, takes apart.
#include <cstddef>
#include <cstdint>
#include <span>

#include "jmlaser/lasercube_protocol.h"

namespace lc = lumarex::jmlaser::lasercube;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  volatile size_t sink = lc::IsAliveReply(bytes) ? 1 : 0;
  if (const auto info = lc::ParseFullInfo(bytes)) {
    const auto again = lc::ParseFullInfo(lc::EncodeFullInfo(*info));
    // The name may be cut to what fits the record; every number comes back.
    if (!again || again->maxRate != info->maxRate || again->bufferSize != info->bufferSize ||
        again->serial != info->serial || again->outputEnabled != info->outputEnabled) {
      __builtin_trap();
    }
  }
  if (const auto free = lc::ParseFreeCount(bytes)) sink = sink + *free;
  if (const auto packet = lc::ParseDataPacket(bytes)) {
    std::vector<uint8_t> again;
    lc::EncodeDataPacket(packet->message, packet->frame, packet->samples, again);
    if (again.size() != size || !std::equal(again.begin(), again.end(), data)) __builtin_trap();
  }
  (void)sink;
  return 0;
}
