#pragma once

#include <cstdint>
#include <optional>

namespace lumarex {

// When `ip` (host order) is an address of this computer, the broadcast address of its network
// (127.255.255.255 for 127.0.0.1); none for an address elsewhere. Asks the system each time.
std::optional<uint32_t> LocalBroadcastFor(uint32_t ip);

}  // namespace lumarex
