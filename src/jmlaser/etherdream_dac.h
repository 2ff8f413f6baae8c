#pragma once

#include <memory>
#include <string>
#include <vector>

#include "jmlaser/dac_driver.h"

namespace lumarex::jmlaser {

struct EtherDreamOptions {
  // DACs named by the user, "host[:port]", found even when their broadcast does not reach us.
  std::vector<std::string> hosts;
  uint16_t discoveryPort = 7654;
  // How long a search listens: the DACs broadcast once a second. 0 listens not at all.
  int discoveryWindowMs = 1100;
  // A reply that takes longer means the link is dead.
  int responseTimeoutMs = 1000;
  // How long opening waits for the connection before it returns (the rest happens behind).
  int openWaitMs = 20;
};

// "host[:port][,host...]" as LUMAREX_ETHERDREAM gives it; blanks around entries are dropped.
std::vector<std::string> ParseEtherDreamHosts(const std::string& list);

// Ether Dream network DACs: found by their broadcasts and by name; streamed over TCP by a
// worker thread per open device.
class EtherDreamFamily final : public DacFamily {
 public:
  explicit EtherDreamFamily(EtherDreamOptions options);

  const char* FamilyName() const override { return "EtherDream"; }
  void Discover(std::vector<DeviceInfo>& devices) override;
  std::unique_ptr<DacStream> Open(const DeviceInfo& device) override;

 private:
  EtherDreamOptions options_;
};

}  // namespace lumarex::jmlaser
