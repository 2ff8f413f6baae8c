// What the Helios driver reads back from the DAC (status, firmware and name replies), and
// frame transfers as the DAC takes them apart.
#include <cstddef>
#include <cstdint>
#include <span>

#include "jmlaser/helios_protocol.h"

namespace helios = lumarex::jmlaser::helios;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  volatile size_t sink = 0;
  if (const auto ready = helios::ParseStatus(bytes)) sink = sink + (*ready ? 1 : 0);
  if (const auto firmware = helios::ParseFirmware(bytes)) sink = sink + *firmware;
  if (const auto name = helios::ParseName(bytes)) {
    if (name->size() >= helios::kReplySize) __builtin_trap();
    sink = sink + name->size();
  }
  if (const auto frame = helios::DecodeFrame(bytes)) {
    // A frame the DAC would take encodes back to the same bytes, unless it is one the firmware
    // mishandles (which we never send) or its rate is out of range.
    const size_t n = frame->points.size();
    const bool quirk = n > 1 && (static_cast<int64_t>(n) - 45) % 64 == 0;
    if (!quirk && n > 0 && frame->rate >= helios::kMinRate) {
      std::vector<uint8_t> again;
      helios::EncodeFrame(frame->points, frame->rate, 4, false, frame->flags, again);
      if (again.size() != size || !std::equal(again.begin(), again.end(), data)) __builtin_trap();
    }
  }
  (void)sink;
  return 0;
}
