#include "timecode/chase_time_source.h"

#include <utility>

namespace lumarex {

ChaseTimeSource::ChaseTimeSource(std::unique_ptr<TimecodeInput> input, const ChaseOptions& options)
    : input_(std::move(input)), chase_(*input_, options) {}

void ChaseTimeSource::Started(uint32_t) {
  lastTickMs_.reset();
  lockedMs_ = 0;
  input_->PlayPressed();
}

void ChaseTimeSource::Stopped() {
  input_->Stopped();
}

std::optional<uint64_t> ChaseTimeSource::PositionMs(uint32_t nowMs) {
  last_ = chase_.At(nowMs);
  if (lastTickMs_ && last_.state == ChaseState::kLocked) lockedMs_ += nowMs - *lastTickMs_;
  lastTickMs_ = nowMs;
  return last_.showMs;
}

}  // namespace lumarex
