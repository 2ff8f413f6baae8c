#pragma once

#include <memory>
#include <string>

#include "jmlaser/dac_driver.h"
#include "platform/clock.h"

namespace lumarex::jmlaser {

struct VirtualDacOptions {
  // When not empty, every frame device 0 takes is appended here, device K's (K >= 1) to
  // PATH.K (see virtual_dac.cpp).
  std::string capturePath;
  // How many devices the family offers, "Virtual DAC 0" .. "Virtual DAC N-1" (1..8), for rigs
  // of several projectors.
  int32_t count = 1;
};

// A frame DAC without hardware: it keeps time as a real one would, so the player meets the
// same refusals, and it can record what it was given. The first devices of the table. It has
// no beam, so the scan-fail watchdog of the other drivers has nothing to darken here.
class VirtualDacFamily final : public DacFamily {
 public:
  static constexpr int32_t kMaxSpeed = 100000;
  static constexpr int32_t kMaxDevices = 8;

  VirtualDacFamily(const Clock& clock, VirtualDacOptions options);

  const char* FamilyName() const override { return "Virtual"; }
  void Discover(std::vector<DeviceInfo>& devices) override;
  std::unique_ptr<DacStream> Open(const DeviceInfo& device) override;

 private:
  const Clock& clock_;
  VirtualDacOptions options_;
};

}  // namespace lumarex::jmlaser
