#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "jmlaser/helios_protocol.h"
#include "jmlaser/usb_device.h"

namespace lumarex::jmlaser::testing {

// A Helios DAC behind a fake USB bus, as its firmware behaves: it answers the control
// messages, plays each frame it is sent in real time at its rate (repeating it until the next)
// and reads busy while a frame waits behind the one playing. It can be told to stall an
// endpoint, to hang in frame transfers, to vanish, or to refuse access.
class FakeHelios {
 public:
  struct State {
    std::string name = "Helios Bench";
    uint32_t firmware = 6;
    bool accessDenied = false;
    bool gone = false;
    int stallBulkOut = 0;    // the next n frame transfers stall
    int stallControlIn = 0;  // the next n reads of an answer stall
    int hangMs = 0;          // frame transfers run into a timeout of this length
    int handlesOpen = 0;
    std::vector<std::vector<uint8_t>> transfers;
    std::vector<helios::DecodedFrame> frames;
    std::vector<uint8_t> controls;  // command bytes in the order they came
    bool shutterOpen = false;
    int stops = 0;
    int statusPolls = 0;
    int busyAnswers = 0;
    int clearedHalts = 0;
  };

  State Snapshot() const;
  // Appends every frame it takes to `path`, in the virtual DAC's capture format.
  void CaptureTo(std::string path) {
    std::lock_guard lock(mutex_);
    capturePath_ = std::move(path);
  }
  // Appends a line to `path` whenever a handle opens ("open") or closes ("close") and when a
  // frame transfer starts and ends to hang ("hang", "hang over"), for a test in another
  // process or behind the driver library's entry points.
  void LogTo(std::string path) {
    std::lock_guard lock(mutex_);
    logPath_ = std::move(path);
  }
  template <typename Edit>
  void Change(Edit change) {
    std::lock_guard lock(mutex_);
    change(state_);
  }

 private:
  friend class FakeHeliosHandle;
  bool Ready();                       // under mutex_
  void Log(const char* event) const;  // under mutex_

  mutable std::mutex mutex_;
  State state_;
  std::string capturePath_;
  std::string logPath_;
  std::vector<uint8_t> pendingReply_;
  std::chrono::steady_clock::time_point playEnd_{};
  bool waiting_ = false;
  std::chrono::microseconds waitingLength_{0};
};

class FakeHeliosUsb final : public UsbBackend {
 public:
  // A DAC at `location` on this fake bus.
  std::shared_ptr<FakeHelios> Plug(const std::string& location);
  void Unplug(const std::string& location);

  std::vector<std::string> List(uint16_t vendor, uint16_t product) override;
  std::unique_ptr<UsbDeviceHandle> Open(const std::string& location, int interface, int alternate,
                                        UsbResult& result) override;

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::string, std::shared_ptr<FakeHelios>>> devices_;
};

}  // namespace lumarex::jmlaser::testing
