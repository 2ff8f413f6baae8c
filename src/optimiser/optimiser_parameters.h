#pragma once

#include <cstdint>

namespace lumarex {

// The values the path optimiser applies, as the optimiser's controls derive them from their
// positions. The defaults are what the optimiser window applies when it opens.
struct OptimiserParameters {
  // Lit segments are cut into steps of at most this width per axis; kVisibleStepAsIs leaves
  // them as they are.
  uint16_t VisibleStep = 65000;
  // Width of the steps of a blanked move between two paths.
  uint16_t BlankStep = 4096;
  // Width of the steps of the blanked moves out of and back to the origin; 0 = no such moves.
  uint16_t CenterStep = 0;
  uint8_t SeekStartCount = 0;   // lit dwell at the start of a path
  uint8_t SeekEndCount = 0;     // lit dwell at the end of a path
  uint8_t BlankStartCount = 2;  // blanked dwell where a blank phase starts (after a path)
  uint8_t BlankEndCount = 2;    // blanked dwell where a blank phase ends (before a path)
  uint16_t MinPoints = 1;
  // 0 and 2 order from the frame's first path, 1 and 3 from the origin.
  uint8_t SearchMode = 0;
  // Nearest-endpoint ordering is greedy and can leave far stragglers: a frame whose own path
  // order travels less blanked (as the statistics measure it) keeps its own order.
  bool KeepShorterFrameOrder = true;

  static constexpr uint16_t kVisibleStepAsIs = 65000;

  friend bool operator==(const OptimiserParameters&, const OptimiserParameters&) = default;
};

}  // namespace lumarex
