#include "music/device_clock.h"

#include <algorithm>

namespace lumarex {

namespace {
using Seconds = std::chrono::duration<double>;
}

void DeviceClock::BufferTaken(double channelFrame, double framesPerSecond, uint32_t frames,
                              double outputRate, Duration latency, TimePoint now) {
  if (!started_) {
    started_ = true;
    highest_ = resetFrame_;
  }
  bufferFrame_ = channelFrame;
  framesPerSecond_ = framesPerSecond;
  heardAt_ = now + latency;
  reach_ = std::chrono::duration_cast<Duration>(Seconds(2.0 * frames / outputRate));
}

void DeviceClock::Reset(double channelFrame) {
  started_ = false;
  resetFrame_ = channelFrame;
  highest_ = channelFrame;
}

std::optional<double> DeviceClock::HeardAt(TimePoint now) {
  if (!started_) return std::nullopt;
  // Before the buffer is heard the one before it still plays: the same line, run backwards.
  const TimePoint until = std::min(now, heardAt_ + reach_);
  const double frame = bufferFrame_ + Seconds(until - heardAt_).count() * framesPerSecond_;
  highest_ = std::max(highest_, frame);
  return highest_;
}

}  // namespace lumarex
