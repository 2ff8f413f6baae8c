#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "jmlaser/jmlaser.h"

namespace lumarex::jmlaser {

class DacFamily;
struct DeviceInfo;

int32_t ClampSpeed(const DeviceInfo& device, int32_t pointsPerSecond);

// One device a family found. `locator` is the family's own address of it (for a network
// DAC, "host:port").
struct DeviceInfo {
  std::string name;
  std::string friendlyName;
  DacFamily* family = nullptr;
  std::string locator;
  bool remote = false;
  int32_t minSpeed = 1000;
  int32_t maxSpeed = 100000;
  int32_t speedStep = 1;
  int32_t maxFrameSize = 1 << 20;
  int32_t colourChannels = 4;
  int32_t bufferCapacity = 0;  // points the device itself can queue, 0 when it has no queue
};

// A name as the program shows it: its filter keeps only letters, digits, blanks and minus
// signs, so every other character becomes a minus sign here rather than vanishing there.
inline std::string DisplaySafe(std::string text) {
  for (char& c : text) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == ' ' || c == '-';
    if (!keep) c = '-';
  }
  return text;
}

inline int32_t ClampSpeed(const DeviceInfo& device, int32_t pointsPerSecond) {
  if (pointsPerSecond < device.minSpeed) return device.minSpeed;
  if (pointsPerSecond > device.maxSpeed) return device.maxSpeed;
  return pointsPerSecond;
}

// The stream part of a driver: one open device. Every call returns promptly, whatever the
// device does; a driver that talks to hardware does so on a thread of its own.
class DacStream {
 public:
  virtual ~DacStream() = default;

  virtual void Start() = 0;
  // Darkens the beam and drops the frames held.
  virtual void Stop() = 0;
  virtual bool IsReady() = 0;
  // Takes a frame (count already checked against the device's maximum). A rate outside the
  // device's range plays at the nearest one it can: the program sends a rate of 0 before its
  // first calibrated frame, which would otherwise stall the device for good. When a frame
  // is waiting it is refused (kJmLaserErrorBusy), or replaced when `replaceWaiting`.
  // Answers kJmLaserOk or an error code.
  virtual int32_t Write(std::span<const DacPoint> points, int32_t pointsPerSecond,
                        bool replaceWaiting) = 0;
  virtual void SetUsedColourChannels(int32_t /*count*/) {}
};

// The discovery part of a driver: one family of devices.
class DacFamily {
 public:
  virtual ~DacFamily() = default;

  virtual const char* FamilyName() const = 0;
  // Appends the devices of this family that are there now; may listen for a moment.
  virtual void Discover(std::vector<DeviceInfo>& devices) = 0;
  // True when Discover listens for answers for a while every time. After the first search
  // the library then searches the family again and again on a thread of its own, so that a
  // later search answers at once. Discover must then be safe beside Open and open streams.
  virtual bool SearchListens() const { return false; }
  virtual std::unique_ptr<DacStream> Open(const DeviceInfo& device) = 0;
};

}  // namespace lumarex::jmlaser
