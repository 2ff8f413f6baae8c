#pragma once

#include <cstdint>
#include <span>

#include "preview/draw_list.h"
#include "show/show_point.h"

namespace lumarex {

// Where the two halves of the optimiser's comparison view sit (X shift; Y is not shifted).
inline constexpr int32_t kUnoptimisedShiftX = -33468;
inline constexpr int32_t kOptimisedShiftX = 33467;

// The optimiser's comparison view, drawn in kComparisonView: the unoptimised frame
// (`unoptimised`, points 0..N, empty for a frame with last index 0) on the left, its
// optimisation (`optimised`, points 0..M) on the right, a grey divider between them. With an
// empty unoptimised frame only the divider is drawn.
void BuildComparisonPicture(std::span<const ShowPoint> unoptimised,
                            std::span<const ShowPoint> optimised, DrawList& out);

}  // namespace lumarex
