#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "jmlaser/dac_driver.h"

namespace lumarex::jmlaser {

struct EtherDreamOptions {
  // DACs named by the user, "host[:port]", found even when their broadcast does not reach us.
  std::vector<std::string> hosts;
  uint16_t discoveryPort = 7654;
  // How long the family listens before its first search answers: the DACs broadcast once a
  // second. Later searches answer at once from what was heard since. 0 listens not at all.
  int discoveryWindowMs = 1100;
  // A DAC not heard for this long has gone from the network.
  int forgetAfterMs = 3500;
  // A reply that takes longer means the link is dead.
  int responseTimeoutMs = 1000;
  // How long opening waits for the connection before it returns (the rest happens behind).
  int openWaitMs = 20;
  // The scan-fail watchdog: a spot held this long without a new frame is darkened.
  std::chrono::milliseconds watchdogHold{1000};
};

// "host[:port][,host...]" as LUMAREX_ETHERDREAM gives it; blanks around entries are dropped.
std::vector<std::string> ParseEtherDreamHosts(const std::string& list);

// Ether Dream network DACs: found by their broadcasts, which a listener thread collects for
// as long as the family lives, and by name; streamed over TCP by a worker thread per open
// device, which connects again by itself when the link drops while output is started.
class EtherDreamFamily final : public DacFamily {
 public:
  explicit EtherDreamFamily(EtherDreamOptions options);
  ~EtherDreamFamily() override;
  EtherDreamFamily(const EtherDreamFamily&) = delete;
  EtherDreamFamily& operator=(const EtherDreamFamily&) = delete;

  const char* FamilyName() const override { return "EtherDream"; }
  void Discover(std::vector<DeviceInfo>& devices) override;
  std::unique_ptr<DacStream> Open(const DeviceInfo& device) override;

 private:
  struct Listener;
  EtherDreamOptions options_;
  std::unique_ptr<Listener> listener_;
};

}  // namespace lumarex::jmlaser
