#pragma once

#include "show/show_store.h"

namespace lumarex {

// Fills the store with Lumarex's own demo show: a test pattern, then turning and morphing
// shapes in changing colours, each frame entered and left by blanked moves.
void BuildDemoShow(ShowStore& store);

inline constexpr int kDemoShowFrames = 301;

}  // namespace lumarex
