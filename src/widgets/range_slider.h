#pragma once

#include <cstdint>
#include <functional>

#include "widgets/control.h"

namespace lumarex {

// A range slider: a left and a right thumb on one scale, Min <= Left <= Right <= Max. A thumb
// moved past the other pushes it along, so the pair never crosses. The change handler runs
// once for every set that really moved a thumb, whether the operator or the program set it.
class RangeSlider final : public Control {
 public:
  using ChangeHandler = std::function<void()>;

  RangeSlider(int32_t min = 0, int32_t max = 100, int32_t left = 0, int32_t right = 100);

  int32_t Min() const { return min_; }
  int32_t Max() const { return max_; }
  int32_t Left() const { return left_; }
  int32_t Right() const { return right_; }

  void SetRange(int32_t min, int32_t max);
  void SetLeft(int32_t left);
  void SetRight(int32_t right);
  // Puts a saved pair back: both thumbs at once (a left thumb past the right one takes the
  // right along), then the handler once, moved or not, so that the pair always passes the
  // handler's checks. Setting one thumb after the other would run the handler on a half-set
  // pair, whose corrections then depend on where the thumbs stood before.
  void SetThumbs(int32_t left, int32_t right);
  // For a handler that corrects its own slider: clamps and stores without running any handler.
  void SetLeftQuietly(int32_t left);
  void SetRightQuietly(int32_t right);
  // The operator's drag of one thumb: ignored while the slider is hidden or disabled.
  void MoveLeftByOperator(int32_t left);
  void MoveRightByOperator(int32_t right);

  void OnChange(ChangeHandler handler) { onChange_ = std::move(handler); }

 private:
  bool StoreLeft(int32_t left);
  bool StoreRight(int32_t right);
  void Changed();

  int32_t min_;
  int32_t max_;
  int32_t left_;
  int32_t right_;
  ChangeHandler onChange_;
};

}  // namespace lumarex
