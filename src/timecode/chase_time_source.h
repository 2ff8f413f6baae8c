#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "timecode/show_time_source.h"
#include "timecode/timecode_chase.h"
#include "timecode/timecode_input.h"

namespace lumarex {

// The show position from timecode: an input followed by the chase. It keeps the figures the
// command line reports: how long it was locked, how often it freewheeled and was lost.
class ChaseTimeSource final : public ShowTimeSource {
 public:
  ChaseTimeSource(std::unique_ptr<TimecodeInput> input, const ChaseOptions& options);

  void Started(uint32_t nowMs) override;
  void Stopped() override;
  std::optional<uint64_t> PositionMs(uint32_t nowMs) override;
  std::string Name() const override { return input_->Name(); }

  // A set list entry's own start.
  void SetStart(const Timecode& start) { chase_.SetStart(start); }
  // With hour selects: the set list entry on show (counted from 1, 0 for none). The show
  // stays dark while the hour names another one.
  void SetEntryOnShow(uint32_t entry) { entryOnShow_ = entry; }
  // Called with the position of every tick (to load the entry the hour names).
  std::function<void(const ChasePosition&)> OnPosition;
  // Runs `change` (the show stopped, another loaded and played) without stopping or starting
  // the input again: a WAV played as if live runs on through it.
  void KeepInputThrough(const std::function<void()>& change);

  const TimecodeInput& Input() const { return *input_; }
  const TimecodeChase& Chase() const { return chase_; }
  // The position of the last tick.
  const ChasePosition& Last() const { return last_; }
  // The milliseconds of play spent locked since Play.
  uint64_t LockedMs() const { return lockedMs_; }

 private:
  std::unique_ptr<TimecodeInput> input_;
  TimecodeChase chase_;
  ChasePosition last_;
  std::optional<uint32_t> lastTickMs_;
  uint64_t lockedMs_ = 0;
  uint32_t entryOnShow_ = 0;
  bool keepInput_ = false;
};

}  // namespace lumarex
