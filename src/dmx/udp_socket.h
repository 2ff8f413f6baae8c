#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "dmx/udp_endpoint.h"

namespace lumarex {

// "a.b.c.d" as a host-order address; none for anything else.
std::optional<uint32_t> ParseIpv4(const std::string& text);
std::string FormatIpv4(uint32_t ip);

// A non-blocking UDP socket bound with SO_REUSEADDR, so that another program on this computer
// can take the same port (an Art-Net desk, a second receiver). Closed with the object.
class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(UdpSocket&& other) noexcept;
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Bound to `local` (ip 0: every address); on failure an invalid socket and the reason.
  static UdpSocket Open(UdpEndpoint local, std::string& error);

  bool Valid() const { return fd_ >= 0; }
  int Fd() const { return fd_; }

  bool EnableBroadcast(std::string& error);
  // Joins a multicast group (host order) on the interface with address `interfaceIp` (0: the
  // one the system routes the group to).
  bool JoinGroup(uint32_t group, uint32_t interfaceIp, std::string& error);

  // One datagram: where it came from and the local address it arrived at (the interface's own
  // address for a broadcast). Empty when none is waiting.
  struct Received {
    size_t size = 0;
    UdpEndpoint from;
    uint32_t localIp = 0;
  };
  std::optional<Received> Receive(std::span<uint8_t> buffer);
  bool SendTo(const UdpEndpoint& to, std::span<const uint8_t> bytes);

 private:
  explicit UdpSocket(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace lumarex
