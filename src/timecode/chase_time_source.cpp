#include "timecode/chase_time_source.h"

#include <utility>

namespace lumarex {

ChaseTimeSource::ChaseTimeSource(std::unique_ptr<TimecodeInput> input, const ChaseOptions& options)
    : input_(std::move(input)), chase_(*input_, options) {}

void ChaseTimeSource::Started(uint32_t) {
  if (keepInput_) return;
  lastTickMs_.reset();
  lockedMs_ = 0;
  input_->PlayPressed();
}

void ChaseTimeSource::Stopped() {
  if (!keepInput_) input_->Stopped();
}

void ChaseTimeSource::KeepInputThrough(const std::function<void()>& change) {
  keepInput_ = true;
  change();
  keepInput_ = false;
}

std::optional<uint64_t> ChaseTimeSource::PositionMs(uint32_t nowMs) {
  last_ = chase_.At(nowMs);
  if (lastTickMs_ && last_.state == ChaseState::kLocked) lockedMs_ += nowMs - *lastTickMs_;
  lastTickMs_ = nowMs;
  if (OnPosition) OnPosition(last_);
  if (chase_.Options().hourSelects && last_.entry != entryOnShow_) return std::nullopt;
  return last_.showMs;
}

}  // namespace lumarex
