#include "tests/jmlaser/lasercube_stand_in.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cmath>

namespace lumarex::jmlaser::testing {

namespace lc = lasercube;
using std::chrono::steady_clock;

LaserCubeStandIn::LaserCubeStandIn(Options options) : options_(std::move(options)) {
  in_addr own{};
  in_addr broadcast{};
  ::inet_pton(AF_INET, options_.address.c_str(), &own);
  ::inet_pton(AF_INET, "127.255.255.255", &broadcast);
  const std::array<std::pair<in_addr, uint16_t>, 5> binds = {{{own, options_.alivePort},
                                                              {own, options_.commandPort},
                                                              {own, options_.dataPort},
                                                              {broadcast, options_.alivePort},
                                                              {broadcast, options_.commandPort}}};
  socketCount_ = options_.hearsBroadcasts ? 5 : 3;
  for (size_t k = 0; k < socketCount_; ++k) {
    sockets_[k] = BindUdpAt(binds[k].first, binds[k].second, true);
    if (!sockets_[k].Valid()) return;
  }
  stats_.rate = options_.rate;
  listening_ = true;
  server_ = std::thread([this] { Serve(); });
}

LaserCubeStandIn::~LaserCubeStandIn() {
  quit_ = true;
  if (server_.joinable()) server_.join();
}

LaserCubeStandIn::Stats LaserCubeStandIn::Snapshot() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

std::vector<lc::Sample> LaserCubeStandIn::Received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

void LaserCubeStandIn::Serve() {
  int fill = 0;
  bool fedSinceDry = false;
  double credit = 0;
  auto last = steady_clock::now();
  std::array<uint8_t, 2048> datagram{};

  auto play = [&] {
    const auto now = steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - last).count();
    last = now;
    if (!stats_.outputOn) return;
    credit += seconds * stats_.rate;
    const int due = static_cast<int>(std::floor(credit));
    credit -= due;
    const int played = std::min(due, fill);
    fill -= played;
    stats_.samplesPlayed += static_cast<uint64_t>(played);
    if (due > played && fedSinceDry) {
      ++stats_.underflows;
      fedSinceDry = false;
    }
    if (fill == 0) credit = 0;
  };

  auto info = [&] {
    lc::FullInfo i;
    i.firmwareMajor = 0;
    i.firmwareMinor = 13;
    i.outputEnabled = stats_.outputOn;
    i.rate = stats_.rate;
    i.maxRate = options_.maxRate;
    i.freeSamples = static_cast<uint16_t>(options_.bufferSize - fill);
    i.bufferSize = options_.bufferSize;
    i.batteryPercent = 80;
    i.temperature = 31;
    i.serial = options_.serial;
    i.modelNumber = 5;
    i.modelName = options_.modelName;
    ::inet_pton(AF_INET, options_.address.c_str(), i.ipv4.data());
    return lc::EncodeFullInfo(i);
  };

  while (!quit_) {
    {
      std::lock_guard lock(mutex_);
      play();
    }
    std::array<pollfd, 5> fds{};
    for (size_t k = 0; k < socketCount_; ++k) fds[k] = {sockets_[k].Get(), POLLIN, 0};
    if (::poll(fds.data(), socketCount_, 1) <= 0) continue;
    for (size_t k = 0; k < socketCount_; ++k) {
      if ((fds[k].revents & POLLIN) == 0) continue;
      sockaddr_in from{};
      socklen_t fromLength = sizeof from;
      const ssize_t got = ::recvfrom(sockets_[k].Get(), datagram.data(), datagram.size(), 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (got <= 0 || silent_) continue;
      const std::span<const uint8_t> bytes(datagram.data(), static_cast<size_t>(got));
      // Replies leave from the cube's own address, whichever socket heard the request.
      const size_t port = k % 3;
      auto reply = [&](const std::vector<uint8_t>& out) {
        SendDatagram(sockets_[port].Get(), out, from);
      };
      std::lock_guard lock(mutex_);
      play();
      const uint8_t command = bytes[0];
      if (port == 0) {
        if (command == lc::kGetAlive && bytes.size() == 1) {
          ++stats_.aliveRequests;
          reply({lc::kGetAlive, 0});
        }
        continue;
      }
      if (port == 2) {
        const auto packet = lc::ParseDataPacket(bytes);
        if (!packet) continue;
        ++stats_.packets;
        for (const lc::Sample& s : packet->samples) {
          ++stats_.samplesReceived;
          if (fill >= options_.bufferSize) {
            ++stats_.overflowed;
            continue;
          }
          ++fill;
          fedSinceDry = true;
          if (received_.size() < options_.keepSamples) received_.push_back(s);
        }
        stats_.peakFill = std::max(stats_.peakFill, fill);
        if (stats_.repliesOn) {
          reply(lc::EncodeFreeCount(static_cast<uint16_t>(options_.bufferSize - fill)));
        }
        continue;
      }
      const uint8_t argument = bytes.size() > 1 ? bytes[1] : 0;
      switch (command) {
        case lc::kGetFullInfo:
          ++stats_.fullInfoRequests;
          reply(info());
          break;
        case lc::kEnableBufferReplies:
          stats_.repliesOn = argument != 0;
          reply({command, 0});
          break;
        case lc::kSetOutput:
          stats_.outputOn = argument != 0;
          ++(argument != 0 ? stats_.outputOnCommands : stats_.outputOffCommands);
          last = steady_clock::now();
          reply({command, 0});
          break;
        case lc::kSetRate:
          if (bytes.size() >= 5) {
            stats_.rate =
                static_cast<uint32_t>(bytes[1] | bytes[2] << 8 | bytes[3] << 16 | bytes[4] << 24);
          }
          reply({command, 0});
          break;
        case lc::kGetFreeCount:
          reply(lc::EncodeFreeCount(static_cast<uint16_t>(options_.bufferSize - fill)));
          break;
        case lc::kClearBuffer:
          ++stats_.clears;
          fill = 0;
          fedSinceDry = false;
          reply({command, 0});
          break;
        default:
          break;
      }
    }
  }
}

}  // namespace lumarex::jmlaser::testing
