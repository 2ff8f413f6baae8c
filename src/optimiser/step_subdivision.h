#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace lumarex {

// How a move from A to B is cut into steps of at most `width` per axis: `count` intermediate
// points, point k at A + k * (stepX, stepY). The count is held in 8 bits, as the scanner
// code always has; the widths the controls allow (768 and more) need at most 85.
struct StepPlan {
  uint8_t count = 0;
  int32_t stepX = 0;
  int32_t stepY = 0;
};

inline StepPlan PlanSteps(int32_t ax, int32_t ay, int32_t bx, int32_t by, uint16_t width) {
  StepPlan plan;
  if (width == 0) return plan;  // no width, no steps (never divide by zero)
  const int32_t dx = bx - ax;
  const int32_t dy = by - ay;
  const auto qx = static_cast<uint8_t>(std::abs(dx / width));
  const auto qy = static_cast<uint8_t>(std::abs(dy / width));
  plan.count = std::max(qx, qy);
  if (plan.count == 0) return plan;
  plan.stepX = dx / (plan.count + 1);
  plan.stepY = dy / (plan.count + 1);
  return plan;
}

}  // namespace lumarex
