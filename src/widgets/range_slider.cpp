#include "widgets/range_slider.h"

#include <algorithm>
#include <utility>

namespace lumarex {

RangeSlider::RangeSlider(int32_t min, int32_t max, int32_t left, int32_t right)
    : min_(std::min(min, max)), max_(std::max(min, max)), left_(min_), right_(max_) {
  StoreLeft(left);
  StoreRight(right);
}

void RangeSlider::Changed() {
  NotifyView();
  if (onChange_) onChange_();
}

bool RangeSlider::StoreLeft(int32_t left) {
  const int32_t newLeft = std::clamp(left, min_, max_);
  const int32_t newRight = std::max(right_, newLeft);
  if (newLeft == left_ && newRight == right_) return false;
  left_ = newLeft;
  right_ = newRight;
  return true;
}

bool RangeSlider::StoreRight(int32_t right) {
  const int32_t newRight = std::clamp(right, min_, max_);
  const int32_t newLeft = std::min(left_, newRight);
  if (newLeft == left_ && newRight == right_) return false;
  left_ = newLeft;
  right_ = newRight;
  return true;
}

void RangeSlider::SetRange(int32_t min, int32_t max) {
  min_ = std::min(min, max);
  max_ = std::max(min, max);
  const int32_t oldLeft = left_;
  const int32_t oldRight = right_;
  left_ = std::clamp(left_, min_, max_);
  right_ = std::clamp(right_, min_, max_);
  if (left_ != oldLeft || right_ != oldRight) {
    Changed();
  } else {
    NotifyView();
  }
}

void RangeSlider::SetLeft(int32_t left) {
  if (StoreLeft(left)) Changed();
}

void RangeSlider::SetRight(int32_t right) {
  if (StoreRight(right)) Changed();
}

void RangeSlider::SetThumbs(int32_t left, int32_t right) {
  right_ = std::clamp(right, min_, max_);
  left_ = std::clamp(left, min_, max_);
  right_ = std::max(right_, left_);
  Changed();
}

void RangeSlider::SetLeftQuietly(int32_t left) {
  if (StoreLeft(left)) NotifyView();
}

void RangeSlider::SetRightQuietly(int32_t right) {
  if (StoreRight(right)) NotifyView();
}

void RangeSlider::MoveLeftByOperator(int32_t left) {
  if (TakesInput()) SetLeft(left);
}

void RangeSlider::MoveRightByOperator(int32_t right) {
  if (TakesInput()) SetRight(right);
}

}  // namespace lumarex
