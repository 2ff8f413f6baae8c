#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "jmlaser/etherdream_protocol.h"
#include "jmlaser/net_socket.h"

namespace lumarex::jmlaser::testing {

// An Ether Dream as seen from the network, on 127.0.0.1 only: it greets, answers every
// command as the firmware does, plays its point buffer out at the point rate in real time
// (so a client that paces badly sees underflows), and can be told to misbehave.
class EtherDreamStandIn {
 public:
  struct Options {
    uint16_t port = 0;  // 0: any free port
    int32_t capacity = etherdream::kDefaultBufferCapacity;
    uint32_t maxRate = etherdream::kDefaultMaxRate;
    std::array<uint8_t, 6> mac{0x00, 0x04, 0xa3, 0x12, 0x34, 0x56};
    size_t keepPoints = 400000;  // received points kept for inspection
  };

  struct Stats {
    int connections = 0;
    int closedByClient = 0;
    int underflows = 0;  // the buffer ran dry while playing
    int overflows = 0;   // data refused because it did not fit the buffer
    int begins = 0;
    int emergencyStops = 0;
    int naksSent = 0;
    int rateMarksPlayed = 0;
    uint64_t pointsReceived = 0;
    uint64_t pointsPlayed = 0;
    uint32_t rate = 0;
    uint8_t playbackState = 0;
    std::array<int, 256> commands{};
  };

  explicit EtherDreamStandIn(Options options);
  EtherDreamStandIn(const EtherDreamStandIn&) = delete;
  EtherDreamStandIn& operator=(const EtherDreamStandIn&) = delete;
  ~EtherDreamStandIn();

  bool Listening() const { return listener_.Valid(); }
  uint16_t Port() const { return port_; }
  std::string Locator() const { return "127.0.0.1:" + std::to_string(port_); }

  // Sends the discovery datagram to address:port every periodMs until destroyed.
  void StartBroadcasting(const std::string& address, uint16_t port, int periodMs);

  // Misbehaviour: close the connection after n more commands; answer the next data command
  // with `code`; stop reading and answering altogether.
  void DisconnectAfter(int commands) { disconnectAfter_ = commands; }
  void NakNextData(uint8_t code) { nakNextData_ = code; }
  void SetStalled(bool stalled) { stalled_ = stalled; }
  // Answers the next command as if it had been another one.
  void GarbleNextResponse() { garbleNext_ = true; }
  // The projector's emergency stop: while it is held, clearing it is refused.
  void SetEmergencyStop(bool held) { emergencyHeld_ = held; }

  Stats Snapshot() const;
  std::vector<etherdream::WirePoint> ReceivedPoints() const;
  // Every point of every data command, refused ones too: after an underflow the firmware
  // refuses data until the client prepares again, and the points it refused are gone from
  // ReceivedPoints, but they are still the client's stream.
  std::vector<etherdream::WirePoint> WrittenPoints() const;

 private:
  struct Session;
  void Serve();
  void ServeClient(UniqueFd client);
  void Broadcast(std::string address, uint16_t port, int periodMs);

  Options options_;
  UniqueFd listener_;
  UniqueFd cancel_;
  uint16_t port_ = 0;
  std::atomic<int> disconnectAfter_{-1};
  std::atomic<int> nakNextData_{0};
  std::atomic<bool> stalled_{false};
  std::atomic<bool> emergencyHeld_{false};
  std::atomic<bool> garbleNext_{false};
  std::atomic<bool> quit_{false};
  mutable std::mutex mutex_;
  Stats stats_;
  std::vector<etherdream::WirePoint> received_;
  std::vector<etherdream::WirePoint> written_;
  std::thread server_;
  std::thread broadcaster_;
};

}  // namespace lumarex::jmlaser::testing
