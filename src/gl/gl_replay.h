#pragma once

#include "preview/draw_list.h"

namespace lumarex {

// Sets the view on the current OpenGL context: projection = identity followed by `view`,
// viewport (0, 0, width, height), depth test off. Pictures are drawn in this view.
void ApplyView(const OrthoView& view, int width, int height);

// Replays a draw list on the current context in OpenGL 1.1 immediate mode: the clear, then each
// batch with its line width, blending (source alpha / one) and shading. Leaves blending off.
// Presenting the picture is the caller's.
void ReplayDrawList(const DrawList& list);

}  // namespace lumarex
