#include "timecode/artnet_timecode_input.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <span>

namespace lumarex {
namespace {

std::string Reason(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

// Bound to INADDR_ANY:port; -1 with `error` set.
int OpenSocket(uint16_t port, uint16_t& bound, std::string& error) {
  const int s = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s < 0) {
    error = Reason("socket");
    return -1;
  }
  const int on = 1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
    error = Reason("SO_REUSEADDR");
  } else if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = Reason("Art-Net timecode: bind UDP " + std::to_string(port));
  } else if (getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    error = Reason("getsockname");
  } else {
    bound = ntohs(address.sin_port);
    return s;
  }
  close(s);
  return -1;
}

}  // namespace

std::unique_ptr<ArtnetTimecodeInput> ArtnetTimecodeInput::Open(const Clock& clock,
                                                               const ArtnetTimecodeOptions& options,
                                                               std::string& error) {
  uint16_t bound = 0;
  const int s = OpenSocket(options.port, bound, error);
  if (s < 0) return nullptr;
  const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake < 0) {
    error = Reason("eventfd");
    close(s);
    return nullptr;
  }
  return std::unique_ptr<ArtnetTimecodeInput>(new ArtnetTimecodeInput(clock, s, wake, bound));
}

ArtnetTimecodeInput::ArtnetTimecodeInput(const Clock& clock, int socket, int wake, uint16_t port)
    : clock_(clock), socket_(socket), wake_(wake), port_(port), thread_([this] { Receive(); }) {}

ArtnetTimecodeInput::~ArtnetTimecodeInput() {
  const uint64_t one = 1;
  // An eventfd write of 8 bytes cannot fail short of an overflowing counter.
  [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
  thread_.join();
  close(wake_);
  close(socket_);
}

void ArtnetTimecodeInput::Receive() {
  // Art-Net's longest packet (ArtDmx) is 530 bytes; anything longer is cut and still not ours.
  std::array<uint8_t, 1024> buffer{};
  for (;;) {
    std::array<pollfd, 2> ready{{{socket_, POLLIN, 0}, {wake_, POLLIN, 0}}};
    if (poll(ready.data(), ready.size(), -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (ready[1].revents != 0 || (ready[0].revents & POLLNVAL) != 0) return;
    for (;;) {
      const ssize_t got = recv(socket_, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (got < 0) break;
      const uint32_t nowMs = clock_.NowMs();
      const auto datagram = std::span<const uint8_t>(buffer.data(), static_cast<size_t>(got));
      std::lock_guard lock(mutex_);
      if (const auto tc = decoder_.Decode(datagram)) {
        const uint64_t count = latest_ ? latest_->count + 1 : 1;
        latest_ = TimecodeReading{*tc, nowMs, nowMs, count};
      }
    }
  }
}

std::optional<TimecodeReading> ArtnetTimecodeInput::Latest() const {
  std::lock_guard lock(mutex_);
  return latest_;
}

ArtnetTimecodeCounters ArtnetTimecodeInput::Counters() const {
  std::lock_guard lock(mutex_);
  return decoder_.Counters();
}

}  // namespace lumarex
