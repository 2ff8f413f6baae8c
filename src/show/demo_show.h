#pragma once

#include <array>

#include "show/show_store.h"

namespace lumarex {

// Fills the store with Lumarex's own demo show: a test pattern, then turning and morphing
// shapes in changing colours, each frame entered and left by blanked moves.
void BuildDemoShow(ShowStore& store);

// The demo show's scenes in order, so that its music can mark each change.
struct DemoScene {
  int firstFrame;
  int frameCount;
};
inline constexpr std::array<DemoScene, 4> kDemoScenes = {{
    {0, 1},      // test pattern
    {1, 100},    // turning star
    {101, 100},  // circle morphing into a square and back
    {201, 100},  // Lissajous figure
}};

inline constexpr int kDemoShowFrames =
    kDemoScenes.back().firstFrame + kDemoScenes.back().frameCount;

}  // namespace lumarex
