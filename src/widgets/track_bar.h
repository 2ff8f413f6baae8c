#pragma once

#include <cstdint>

#include "widgets/value_control.h"

namespace lumarex {

// A track bar: one thumb on a range, for a calibration or playback value.
class TrackBar final : public ValueControl {
 public:
  TrackBar(int32_t min = 0, int32_t max = 10, int32_t position = 0)
      : ValueControl(min, max, position) {}
};

}  // namespace lumarex
