#include "dmx/local_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <cstring>

namespace lumarex {

std::optional<uint32_t> LocalBroadcastFor(uint32_t ip) {
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) != 0) return std::nullopt;
  std::optional<uint32_t> broadcast;
  for (const ifaddrs* i = interfaces; i && !broadcast; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_netmask) continue;
    // Copied out: a sockaddr is not aligned for a sockaddr_in.
    sockaddr_in address{};
    sockaddr_in mask{};
    std::memcpy(&address, i->ifa_addr, sizeof address);
    std::memcpy(&mask, i->ifa_netmask, sizeof mask);
    if (ntohl(address.sin_addr.s_addr) != ip) continue;
    const uint32_t netmask = ntohl(mask.sin_addr.s_addr);
    broadcast = (ip & netmask) | ~netmask;
  }
  freeifaddrs(interfaces);
  return broadcast;
}

}  // namespace lumarex
