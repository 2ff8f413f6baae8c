#include "widgets/value_control.h"

#include <algorithm>
#include <utility>

namespace lumarex {

ValueControl::ValueControl(int32_t min, int32_t max, int32_t position)
    : min_(std::min(min, max)), max_(std::max(min, max)), position_(0) {
  position_ = Clamp(position);
}

int32_t ValueControl::Clamp(int32_t position) const {
  return std::clamp(position, min_, max_);
}

bool ValueControl::Store(int32_t position) {
  const int32_t clamped = Clamp(position);
  if (clamped == position_) return false;
  position_ = clamped;
  NotifyView();
  return true;
}

void ValueControl::SetRange(int32_t min, int32_t max) {
  min_ = std::min(min, max);
  max_ = std::max(min, max);
  NotifyView();
  if (Store(position_) && onChange_) onChange_();
}

void ValueControl::SetPosition(int32_t position) {
  if (Store(position) && onChange_) onChange_();
}

void ValueControl::SetPositionQuietly(int32_t position) {
  Store(position);
}

void ValueControl::MoveByOperator(int32_t position) {
  if (TakesInput()) SetPosition(position);
}

}  // namespace lumarex
