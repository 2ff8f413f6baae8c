#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "jmlaser/dac_driver.h"
#include "jmlaser/lingering_workers.h"
#include "jmlaser/usb_device.h"

namespace lumarex::jmlaser {

struct HeliosOptions {
  std::shared_ptr<UsbBackend> usb;
  // How long opening waits for the device before it returns (the rest happens behind).
  int openWaitMs = 20;
  // A frame waits while the DAC's status says busy; asked this often.
  int statusPollMs = 1;
  // This many failed transfers in a row and the device counts as lost.
  int errorsUntilLost = 20;
  std::chrono::milliseconds watchdogHold{1000};
};

// The text that tells an operator how to give the program access to a Helios it sees but may
// not open.
std::string HeliosAccessHint(const std::string& location);

// Helios USB DACs: found by vendor and product id, asked their name and firmware; a worker
// thread per open DAC polls its status and hands it each frame once (the DAC repeats it). A
// DAC unplugged and plugged in again while output is started is opened again by itself. The
// family must outlive its streams: it joins the workers that their streams left behind.
class HeliosFamily final : public DacFamily {
 public:
  explicit HeliosFamily(HeliosOptions options);
  ~HeliosFamily() override;
  HeliosFamily(const HeliosFamily&) = delete;
  HeliosFamily& operator=(const HeliosFamily&) = delete;

  const char* FamilyName() const override { return "Helios"; }
  void Discover(std::vector<DeviceInfo>& devices) override;
  std::unique_ptr<DacStream> Open(const DeviceInfo& device) override;

  struct Shared;

 private:
  HeliosOptions options_;
  std::shared_ptr<Shared> shared_;
  LingeringWorkers lingering_;
};

}  // namespace lumarex::jmlaser
