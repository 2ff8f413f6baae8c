#include "timecode/ltc_reading_slot.h"

#include <cmath>

namespace lumarex {

void LtcReadingSlot::Publish(const LtcFrameTime& frame, uint32_t receivedMs) {
  TimecodeReading reading;
  reading.tc = frame.tc;
  // The clock's milliseconds wrap like the clock itself does.
  reading.atMs = static_cast<uint32_t>(static_cast<uint64_t>(std::llround(frame.startMs)));
  reading.receivedMs = receivedMs;
  std::lock_guard lock(mutex_);
  reading.count = ++count_;
  latest_ = reading;
}

std::optional<TimecodeReading> LtcReadingSlot::Latest() const {
  std::lock_guard lock(mutex_);
  return latest_;
}

}  // namespace lumarex
