#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lumarex::jmlaser {

// An owned file descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release();
  void Reset();

 private:
  int fd_ = -1;
};

// Every wait below also ends early, with failure, when `cancelFd` becomes readable (an
// eventfd the owner signals to shut down); -1 for none.
enum class IoResult { kOk, kTimeout, kClosed, kCancelled };

// An IPv4 address for a host name or address; asking the name service may take seconds, so
// only a search (which may take its time) calls it.
std::optional<sockaddr_in> ResolveIpv4(const std::string& host, uint16_t port);
// An IPv4 address given as a.b.c.d, never asking anyone.
std::optional<sockaddr_in> ParseIpv4(const std::string& address, uint16_t port);

// A connected TCP socket with TCP_NODELAY, or an invalid one after timeoutMs.
UniqueFd ConnectTcp(const sockaddr_in& address, int timeoutMs, int cancelFd);

IoResult SendAll(int fd, const void* data, size_t size, int timeoutMs, int cancelFd);
IoResult ReceiveExact(int fd, void* data, size_t size, int timeoutMs, int cancelFd);

// A UDP socket bound to port on every interface, address reuse on so that several listeners
// can share the DACs' broadcast port; invalid when the port is taken exclusively.
UniqueFd BindUdp(uint16_t port);

// Prints an IPv4 address as a.b.c.d.
std::string FormatIpv4(const in_addr& address);

// A UDP socket for the searching and streaming families, bound to address:port (port 0: any
// free one), allowed to broadcast. `shared` sets address reuse, so that a host and a DAC
// stand-in on another loopback address can both hold a DAC's fixed port numbers.
UniqueFd BindUdpAt(const in_addr& address, uint16_t port, bool shared);
uint16_t LocalPort(int fd);
// One datagram, never waiting: a full socket buffer drops it as the network would.
bool SendDatagram(int fd, std::span<const uint8_t> bytes, const sockaddr_in& to);

// Which interfaces a search broadcasts on: every IPv4 interface that is up, or only the named
// ones. LUMAREX_DAC_BROADCAST gives the names ("lo,eth0"); "none" broadcasts on none.
struct BroadcastScope {
  bool all = true;
  std::vector<std::string> names;
};
BroadcastScope ParseBroadcastScope(const std::string& setting);
// The directed broadcast address of each interface in scope (a.b.c.d | ~netmask, so that the
// loopback interface, which has no broadcast flag, answers 127.255.255.255 too).
std::vector<in_addr> BroadcastAddresses(const BroadcastScope& scope);

// "host[,host...]" with blanks around entries dropped.
std::vector<std::string> SplitHostList(const std::string& list);

struct HostPort {
  std::string host;
  uint16_t port = 0;
};
// "host" or "host:port" (1..65535); nullopt for anything else.
std::optional<HostPort> ParseHostPort(const std::string& text, uint16_t defaultPort);

}  // namespace lumarex::jmlaser
