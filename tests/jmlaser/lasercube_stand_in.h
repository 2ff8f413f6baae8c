#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jmlaser/lasercube_protocol.h"
#include "jmlaser/net_socket.h"

namespace lumarex::jmlaser::testing {

// A LaserCube as seen from the network, on a loopback address of its own (127.0.0.2 by
// default, since a host binds the same port numbers): it answers the alive request and
// every command, and plays its ring buffer out at its rate in real time, so that a client
// that paces badly overflows or starves it.
class LaserCubeStandIn {
 public:
  struct Options {
    std::string address = "127.0.0.2";
    uint16_t alivePort = lasercube::kAlivePort;
    uint16_t commandPort = lasercube::kCommandPort;
    uint16_t dataPort = lasercube::kDataPort;
    uint16_t bufferSize = 6000;
    uint32_t rate = 30000;
    uint32_t maxRate = 40000;
    std::string modelName = "LaserCube 2W";
    std::array<uint8_t, 6> serial{0x70, 0xb3, 0xd5, 0x11, 0x22, 0x33};
    size_t keepSamples = 400000;
    bool hearsBroadcasts = true;
  };

  struct Stats {
    int aliveRequests = 0;
    int fullInfoRequests = 0;
    int clears = 0;
    int outputOnCommands = 0;
    int outputOffCommands = 0;
    bool outputOn = false;
    bool repliesOn = false;
    uint32_t rate = 0;
    int packets = 0;
    uint64_t samplesReceived = 0;
    uint64_t samplesPlayed = 0;
    uint64_t overflowed = 0;  // samples that found the buffer full
    int underflows = 0;       // the buffer ran dry while the output was on
    int peakFill = 0;
  };

  explicit LaserCubeStandIn(Options options);
  LaserCubeStandIn(const LaserCubeStandIn&) = delete;
  LaserCubeStandIn& operator=(const LaserCubeStandIn&) = delete;
  ~LaserCubeStandIn();

  bool Listening() const { return listening_; }
  const Options& Settings() const { return options_; }
  // A cube that has gone: it hears nothing and answers nothing.
  void SetSilent(bool silent) { silent_ = silent; }

  Stats Snapshot() const;
  std::vector<lasercube::Sample> Received() const;

 private:
  void Serve();

  Options options_;
  // alive, command, data on the cube's address; alive and command on the broadcast address.
  std::array<UniqueFd, 5> sockets_;
  size_t socketCount_ = 3;
  bool listening_ = false;
  std::atomic<bool> silent_{false};
  std::atomic<bool> quit_{false};
  mutable std::mutex mutex_;
  Stats stats_;
  std::vector<lasercube::Sample> received_;
  std::thread server_;
};

}  // namespace lumarex::jmlaser::testing
