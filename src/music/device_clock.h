#pragma once

#include <chrono>
#include <optional>

namespace lumarex {

// The position of a channel as the sound card plays it, read off the buffers the card takes:
// the first frame of a buffer asked for at time t is heard at t plus the card's latency, and
// the frames after it follow at the channel's rate. Between two buffers the position runs on
// from the last one for at most two buffer periods (a card that stops asking stops the music,
// and so the show that follows it). What it answers never goes back until it is reset, so
// the jitter of the card's callbacks does not step the show backwards.
//
// Plain logic on the caller's lock; the engine feeds it from its mixing thread.
class DeviceClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  using Duration = std::chrono::steady_clock::duration;

  // The card asked at `now` for a buffer of `frames` output frames that starts at channel
  // frame `channelFrame` and steps `framesPerSecond` channel frames per second of sound; it
  // is heard `latency` after `now`.
  void BufferTaken(double channelFrame, double framesPerSecond, uint32_t frames, double outputRate,
                   Duration latency, TimePoint now);
  // The channel was moved, stopped or started again: what follows starts from `channelFrame`.
  void Reset(double channelFrame);

  // The channel frame heard at `now`; none before the first buffer after a reset.
  std::optional<double> HeardAt(TimePoint now);

 private:
  bool started_ = false;
  double resetFrame_ = 0;   // the frame the channel stood at when reset
  double bufferFrame_ = 0;  // the first channel frame of the last buffer taken
  double framesPerSecond_ = 0;
  TimePoint heardAt_;  // when that frame is heard
  Duration reach_{};   // how far past heardAt_ the position may run on
  double highest_ = 0;
};

}  // namespace lumarex
