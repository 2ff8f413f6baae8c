#include <cstddef>
#include <cstdint>
#include <span>

#include "jmlaser/etherdream_dac.h"
#include "jmlaser/etherdream_protocol.h"

namespace ed = lumarex::jmlaser::etherdream;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  volatile uint32_t sink = 0;

  if (const auto r = ed::ParseResponse(bytes)) {
    // What we parse we can write back unchanged.
    uint8_t again[ed::kResponseSize];
    if (ed::EncodeResponse(*r, again) != ed::kResponseSize) __builtin_trap();
    for (size_t k = 0; k < ed::kResponseSize; ++k) {
      if (again[k] != data[k]) __builtin_trap();
    }
    sink = sink + r->status.bufferFullness + (r->status.EmergencyStopped() ? 1u : 0u);
  }
  if (const auto b = ed::ParseBroadcast(bytes)) sink = sink + b->maxPointRate + b->bufferCapacity;
  if (const auto s = ed::ParseStatus(bytes)) sink = sink + s->pointCount;

  // A data command's payload, as a stand-in reads it: a count, then as many points as fit.
  if (size >= ed::kDataHeaderSize) {
    const size_t count = static_cast<size_t>(data[1] | data[2] << 8);
    const auto payload = bytes.subspan(ed::kDataHeaderSize);
    for (size_t k = 0; k < count; ++k) {
      const auto p = ed::ParsePoint(payload, k);
      if (!p) break;
      sink = sink + static_cast<uint16_t>(p->x);
    }
  }

  // The host list of LUMAREX_ETHERDREAM.
  const std::string list(reinterpret_cast<const char*>(data), size);
  sink = sink + static_cast<uint32_t>(lumarex::jmlaser::ParseEtherDreamHosts(list).size());
  (void)sink;
  return 0;
}
