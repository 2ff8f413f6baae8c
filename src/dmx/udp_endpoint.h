#pragma once

#include <cstdint>

namespace lumarex {

// An IPv4 address and port, both in host order.
struct UdpEndpoint {
  uint32_t ip = 0;
  uint16_t port = 0;
  bool operator==(const UdpEndpoint&) const = default;
};

}  // namespace lumarex
