#include "dmx/udp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace lumarex {
namespace {

sockaddr_in SocketAddress(const UdpEndpoint& endpoint) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(endpoint.ip);
  address.sin_port = htons(endpoint.port);
  return address;
}

std::string Reason(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

}  // namespace

std::optional<uint32_t> ParseIpv4(const std::string& text) {
  in_addr address{};
  if (inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
  return ntohl(address.s_addr);
}

std::string FormatIpv4(uint32_t ip) {
  in_addr address{};
  address.s_addr = htonl(ip);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

UdpSocket::~UdpSocket() {
  if (fd_ >= 0) close(fd_);
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

UdpSocket UdpSocket::Open(UdpEndpoint local, std::string& error) {
  UdpSocket s(socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!s.Valid()) {
    error = Reason("socket");
    return s;
  }
  const int on = 1;
  const sockaddr_in address = SocketAddress(local);
  if (setsockopt(s.fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      setsockopt(s.fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
    error = Reason("setsockopt");
    return UdpSocket();
  }
  if (bind(s.fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = Reason("bind " + FormatIpv4(local.ip) + ":" + std::to_string(local.port));
    return UdpSocket();
  }
  return s;
}

bool UdpSocket::EnableBroadcast(std::string& error) {
  const int on = 1;
  if (setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0) return true;
  error = Reason("SO_BROADCAST");
  return false;
}

bool UdpSocket::JoinGroup(uint32_t group, uint32_t interfaceIp, std::string& error) {
  ip_mreq request{};
  request.imr_multiaddr.s_addr = htonl(group);
  request.imr_interface.s_addr = htonl(interfaceIp);
  if (setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0) return true;
  error =
      Reason("joining " + FormatIpv4(group) + " on " +
             (interfaceIp == 0 ? std::string("the default interface") : FormatIpv4(interfaceIp)));
  return false;
}

std::optional<UdpSocket::Received> UdpSocket::Receive(std::span<uint8_t> buffer) {
  sockaddr_in from{};
  iovec io{buffer.data(), buffer.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t got = recvmsg(fd_, &message, MSG_DONTWAIT);
  if (got < 0) return std::nullopt;
  Received r;
  // A datagram longer than the buffer arrives cut; the decoders see what fits.
  r.size = static_cast<size_t>(got);
  r.from = {ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
      in_pktinfo info{};
      std::memcpy(&info, CMSG_DATA(c), sizeof info);
      r.localIp = ntohl(info.ipi_spec_dst.s_addr);
    }
  }
  return r;
}

bool UdpSocket::SendTo(const UdpEndpoint& to, std::span<const uint8_t> bytes) {
  const sockaddr_in address = SocketAddress(to);
  return sendto(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT,
                reinterpret_cast<const sockaddr*>(&address),
                sizeof address) == static_cast<ssize_t>(bytes.size());
}

}  // namespace lumarex
