#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jmlaser/idn_protocol.h"
#include "jmlaser/net_socket.h"

namespace lumarex::jmlaser::testing {

// An IDN unit as seen from the network, on a loopback address only: it answers scans,
// service map requests and pings, and takes the stream of channel messages apart as a
// projector does, keeping every frame it put together.
class IdnStandIn {
 public:
  struct Options {
    std::string address = "127.0.0.1";
    uint16_t port = 0;  // 0: any free port
    std::string hostName = "StandIn";
    std::vector<idn::ServiceEntry> services = {{1, idn::kServiceLaserProjector, 1, 0, "Laser"}};
  };

  struct Received {
    std::chrono::steady_clock::time_point at;
    idn::ReceivedFrame frame;
  };

  struct Stats {
    int scans = 0;
    int serviceMapRequests = 0;
    int pings = 0;
    int keepAlives = 0;
    int configs = 0;
    int channelCloses = 0;
    int sessionCloses = 0;
    int dropped = 0;
  };

  explicit IdnStandIn(Options options);
  IdnStandIn(const IdnStandIn&) = delete;
  IdnStandIn& operator=(const IdnStandIn&) = delete;
  ~IdnStandIn();

  bool Listening() const { return socket_.Valid(); }
  uint16_t Port() const { return port_; }
  std::string Locator() const { return options_.address + ":" + std::to_string(port_); }

  // A unit that has gone: it hears nothing and answers nothing.
  void SetSilent(bool silent) { silent_ = silent; }

  Stats Snapshot() const;
  std::vector<Received> Frames() const;
  // When each configuration (other than a close) arrived.
  std::vector<std::chrono::steady_clock::time_point> ConfigTimes() const;

 private:
  void Serve();

  Options options_;
  UniqueFd socket_;
  uint16_t port_ = 0;
  std::atomic<bool> silent_{false};
  std::atomic<bool> quit_{false};
  mutable std::mutex mutex_;
  Stats stats_;
  std::vector<Received> frames_;
  std::vector<std::chrono::steady_clock::time_point> configTimes_;
  std::thread server_;
};

}  // namespace lumarex::jmlaser::testing
