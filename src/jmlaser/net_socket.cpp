#include "jmlaser/net_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace lumarex::jmlaser {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.Release();
  }
  return *this;
}

int UniqueFd::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

int RemainingMs(SteadyTime deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Waits for `events` on fd until the deadline.
IoResult WaitFor(int fd, short events, SteadyTime deadline, int cancelFd) {
  for (;;) {
    pollfd fds[2] = {{fd, events, 0}, {cancelFd, POLLIN, 0}};
    const nfds_t count = cancelFd >= 0 ? 2 : 1;
    const int rc = ::poll(fds, count, RemainingMs(deadline));
    if (rc < 0) {
      if (errno == EINTR) continue;
      return IoResult::kClosed;
    }
    if (count == 2 && (fds[1].revents & POLLIN) != 0) return IoResult::kCancelled;
    if (rc == 0) return IoResult::kTimeout;
    if ((fds[0].revents & (events | POLLERR | POLLHUP)) != 0) return IoResult::kOk;
  }
}

}  // namespace

std::optional<sockaddr_in> ResolveIpv4(const std::string& host, uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  ::freeaddrinfo(found);
  address.sin_port = htons(port);
  return address;
}

std::optional<sockaddr_in> ParseIpv4(const std::string& address, uint16_t port) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &out.sin_addr) != 1) return std::nullopt;
  return out;
}

UniqueFd ConnectTcp(const sockaddr_in& address, int timeoutMs, int cancelFd) {
  UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) return {};
  const int one = 1;
  ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  const int rc = ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (rc != 0 && errno != EINPROGRESS) return {};
  if (rc != 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (WaitFor(fd.Get(), POLLOUT, deadline, cancelFd) != IoResult::kOk) return {};
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      return {};
    }
  }
  return fd;
}

IoResult SendAll(int fd, const void* data, size_t size, int timeoutMs, int cancelFd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t sent = ::send(fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      bytes += sent;
      size -= static_cast<size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const IoResult waited = WaitFor(fd, POLLOUT, deadline, cancelFd);
      if (waited != IoResult::kOk) return waited;
      continue;
    }
    return IoResult::kClosed;
  }
  return IoResult::kOk;
}

IoResult ReceiveExact(int fd, void* data, size_t size, int timeoutMs, int cancelFd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto* bytes = static_cast<uint8_t*>(data);
  while (size > 0) {
    const ssize_t got = ::recv(fd, bytes, size, MSG_DONTWAIT);
    if (got > 0) {
      bytes += got;
      size -= static_cast<size_t>(got);
      continue;
    }
    if (got == 0) return IoResult::kClosed;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      const IoResult waited = WaitFor(fd, POLLIN, deadline, cancelFd);
      if (waited != IoResult::kOk) return waited;
      continue;
    }
    return IoResult::kClosed;
  }
  return IoResult::kOk;
}

UniqueFd BindUdp(uint16_t port) {
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) return {};
  const int one = 1;
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return {};
  }
  return fd;
}

std::string FormatIpv4(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

UniqueFd BindUdpAt(const in_addr& address, uint16_t port, bool shared) {
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.Valid()) return {};
  const int one = 1;
  if (shared) ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  sockaddr_in bound{};
  bound.sin_family = AF_INET;
  bound.sin_addr = address;
  bound.sin_port = htons(port);
  if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0) return {};
  return fd;
}

uint16_t LocalPort(int fd) {
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
  return ntohs(bound.sin_port);
}

bool SendDatagram(int fd, std::span<const uint8_t> bytes, const sockaddr_in& to) {
  for (;;) {
    const ssize_t sent = ::sendto(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (sent >= 0) return static_cast<size_t>(sent) == bytes.size();
    if (errno != EINTR) return false;
  }
}

std::vector<std::string> SplitHostList(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    const std::string entry = list.substr(start, end - start);
    const size_t first = entry.find_first_not_of(" \t");
    if (first != std::string::npos) {
      const size_t last = entry.find_last_not_of(" \t");
      out.push_back(entry.substr(first, last - first + 1));
    }
    start = end + 1;
  }
  return out;
}

std::optional<HostPort> ParseHostPort(const std::string& text, uint16_t defaultPort) {
  HostPort out{text, defaultPort};
  const size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    out.host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return std::nullopt;
    }
    const unsigned long value = std::stoul(port);
    if (value == 0 || value > 65535) return std::nullopt;
    out.port = static_cast<uint16_t>(value);
  }
  if (out.host.empty()) return std::nullopt;
  return out;
}

BroadcastScope ParseBroadcastScope(const std::string& setting) {
  BroadcastScope scope;
  if (setting.empty()) return scope;
  scope.all = false;
  if (setting == "none") return scope;
  scope.names = SplitHostList(setting);
  return scope;
}

std::vector<in_addr> BroadcastAddresses(const BroadcastScope& scope) {
  std::vector<in_addr> out;
  if (!scope.all && scope.names.empty()) return out;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return out;
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_netmask == nullptr || a->ifa_addr->sa_family != AF_INET) {
      continue;
    }
    if ((a->ifa_flags & IFF_UP) == 0) continue;
    if (!scope.all &&
        std::find(scope.names.begin(), scope.names.end(), a->ifa_name) == scope.names.end()) {
      continue;
    }
    sockaddr_in address{};
    sockaddr_in mask{};
    std::memcpy(&address, a->ifa_addr, sizeof address);
    std::memcpy(&mask, a->ifa_netmask, sizeof mask);
    in_addr broadcast{};
    broadcast.s_addr = address.sin_addr.s_addr | ~mask.sin_addr.s_addr;
    const bool known = std::any_of(out.begin(), out.end(),
                                   [&](const in_addr& b) { return b.s_addr == broadcast.s_addr; });
    if (!known) out.push_back(broadcast);
  }
  ::freeifaddrs(list);
  return out;
}

}  // namespace lumarex::jmlaser
