#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "jmlaser/dac_driver.h"
#include "jmlaser/net_socket.h"

namespace lumarex::jmlaser {

struct IdnOptions {
  // Units named by the user, "host[:port]", asked directly besides the broadcast.
  std::vector<std::string> hosts;
  uint16_t port = 7255;
  BroadcastScope broadcast;
  // How long a search waits for scan and service map replies. A search that only asks named
  // hosts ends as soon as all of them have answered.
  int searchWindowMs = 300;
  // The channel configuration goes out again this often, so that a projector that missed it
  // (or restarted) can read the frames; a held frame is resent with it.
  int configIntervalMs = 220;
  // Without frames to send, an empty message keeps the session from timing out (about 1 s).
  int keepAliveMs = 250;
  // Pings tell whether the unit is still there; without an answer for lostAfterMs it is not,
  // and it is then pinged on the retry schedule until it answers again.
  int pingIntervalMs = 200;
  int lostAfterMs = 1000;
  int openWaitMs = 20;
  std::chrono::milliseconds watchdogHold{1000};
};

// ILDA Digital Network projectors: found by the scan request (broadcast and to named hosts)
// and their service maps, one device per laser projector service; streamed in frame mode
// over UDP by a worker thread per open device, which finds a unit that went away again by
// itself.
class IdnFamily final : public DacFamily {
 public:
  explicit IdnFamily(IdnOptions options) : options_(std::move(options)) {}

  const char* FamilyName() const override { return "IDN"; }
  void Discover(std::vector<DeviceInfo>& devices) override;
  bool SearchListens() const override { return true; }
  std::unique_ptr<DacStream> Open(const DeviceInfo& device) override;

 private:
  IdnOptions options_;
};

}  // namespace lumarex::jmlaser
