#pragma once

#include <memory>
#include <string>

#include "jmlaser/dac_driver.h"
#include "platform/clock.h"

namespace lumarex::jmlaser {

struct VirtualDacOptions {
  // When not empty, every frame the DAC takes is appended here (see virtual_dac.cpp).
  std::string capturePath;
};

// A frame DAC without hardware: it keeps time as a real one would, so the player meets the
// same refusals, and it can record what it was given. Always device 0. It has no beam, so the
// scan-fail watchdog of the other drivers has nothing to darken here.
class VirtualDacFamily final : public DacFamily {
 public:
  static constexpr int32_t kMaxSpeed = 100000;

  VirtualDacFamily(const Clock& clock, VirtualDacOptions options);

  const char* FamilyName() const override { return "Virtual"; }
  void Discover(std::vector<DeviceInfo>& devices) override;
  std::unique_ptr<DacStream> Open(const DeviceInfo& device) override;

 private:
  const Clock& clock_;
  VirtualDacOptions options_;
};

}  // namespace lumarex::jmlaser
