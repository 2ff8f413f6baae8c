#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "timecode/ltc_decoder.h"
#include "timecode/timecode_input.h"

namespace lumarex {

// The latest LTC reading, written by the thread that decodes and read from any other.
class LtcReadingSlot {
 public:
  // Makes `frame`, received at `receivedMs`, the latest reading and counts it.
  void Publish(const LtcFrameTime& frame, uint32_t receivedMs);
  std::optional<TimecodeReading> Latest() const;

  void SetIgnored(uint64_t ignored) { ignored_.store(ignored, std::memory_order_relaxed); }
  uint64_t Ignored() const { return ignored_.load(std::memory_order_relaxed); }

 private:
  mutable std::mutex mutex_;
  std::optional<TimecodeReading> latest_;
  uint64_t count_ = 0;
  std::atomic<uint64_t> ignored_{0};
};

}  // namespace lumarex
