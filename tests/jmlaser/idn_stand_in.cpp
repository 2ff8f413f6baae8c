#include "tests/jmlaser/idn_stand_in.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>

namespace lumarex::jmlaser::testing {

IdnStandIn::IdnStandIn(Options options) : options_(std::move(options)) {
  in_addr address{};
  ::inet_pton(AF_INET, options_.address.c_str(), &address);
  socket_ = BindUdpAt(address, options_.port, false);
  if (!socket_.Valid()) return;
  port_ = LocalPort(socket_.Get());
  server_ = std::thread([this] { Serve(); });
}

IdnStandIn::~IdnStandIn() {
  quit_ = true;
  if (server_.joinable()) server_.join();
}

IdnStandIn::Stats IdnStandIn::Snapshot() const {
  std::lock_guard lock(mutex_);
  return stats_;
}

std::vector<IdnStandIn::Received> IdnStandIn::Frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

std::vector<std::chrono::steady_clock::time_point> IdnStandIn::ConfigTimes() const {
  std::lock_guard lock(mutex_);
  return configTimes_;
}

void IdnStandIn::Serve() {
  idn::FrameAssembler assembler;
  uint16_t sequence = 0;
  std::array<uint8_t, 65536> datagram{};
  while (!quit_) {
    pollfd fd{socket_.Get(), POLLIN, 0};
    if (::poll(&fd, 1, 20) <= 0) continue;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t got = ::recvfrom(socket_.Get(), datagram.data(), datagram.size(), 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got <= 0 || silent_) continue;
    const std::span<const uint8_t> bytes(datagram.data(), static_cast<size_t>(got));
    const auto header = idn::ParseHeader(bytes);
    if (!header) continue;
    auto reply = [&](const std::vector<uint8_t>& out) { SendDatagram(socket_.Get(), out, from); };
    std::lock_guard lock(mutex_);
    switch (header->command) {
      case idn::kScanRequest: {
        ++stats_.scans;
        idn::ScanReply scan;
        scan.unitId = {7, 1, 0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc};
        scan.hostName = options_.hostName;
        scan.status = idn::kStatusRealtime;
        reply(idn::EncodeScanReply(scan, sequence++));
        break;
      }
      case idn::kServiceMapRequest: {
        ++stats_.serviceMapRequests;
        idn::ServiceMap map;
        map.services = options_.services;
        reply(idn::EncodeServiceMap(map, sequence++));
        break;
      }
      case idn::kPingRequest: {
        ++stats_.pings;
        std::vector<uint8_t> pong(bytes.begin(), bytes.end());
        pong[0] = idn::kPingResponse;
        reply(pong);
        break;
      }
      default: {
        if (header->command == idn::kClose && bytes.size() == idn::kPacketHeaderSize) {
          ++stats_.sessionCloses;
          break;
        }
        const auto message = idn::ParseChannelMessage(bytes);
        if (!message) {
          ++stats_.dropped;
          break;
        }
        if (message->config && (message->config->flags & idn::kConfigClose) == 0) {
          ++stats_.configs;
          configTimes_.push_back(std::chrono::steady_clock::now());
        }
        switch (assembler.Take(*message)) {
          case idn::FrameAssembler::Outcome::kFrame:
            frames_.push_back({std::chrono::steady_clock::now(), assembler.Frame()});
            break;
          case idn::FrameAssembler::Outcome::kKeepAlive:
            ++stats_.keepAlives;
            break;
          case idn::FrameAssembler::Outcome::kChannelClosed:
            ++stats_.channelCloses;
            break;
          case idn::FrameAssembler::Outcome::kDropped:
            ++stats_.dropped;
            break;
          default:
            break;
        }
        if (header->command == idn::kClose) ++stats_.sessionCloses;
        break;
      }
    }
  }
}

}  // namespace lumarex::jmlaser::testing
