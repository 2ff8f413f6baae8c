#pragma once

#include <cstdint>

#include "widgets/value_control.h"

namespace lumarex {

// A scroll bar: a position on a range that the operator moves by its arrows (SmallChange) or
// by clicking the track (LargeChange), as well as by dragging.
class ScrollBar final : public ValueControl {
 public:
  ScrollBar(int32_t min = 0, int32_t max = 100, int32_t position = 0)
      : ValueControl(min, max, position) {}

  int32_t SmallChange = 1;
  int32_t LargeChange = 1;

  // The operator's arrow or track click; `steps` is negative towards Min.
  void StepByOperator(int32_t steps, bool large = false) {
    const int64_t target =
        int64_t{Position()} + int64_t{steps} * (large ? LargeChange : SmallChange);
    MoveByOperator(static_cast<int32_t>(
        target < INT32_MIN ? INT32_MIN : (target > INT32_MAX ? INT32_MAX : target)));
  }
};

}  // namespace lumarex
