#pragma once

#include <cstdint>
#include <string_view>

#include "preview/draw_list.h"
#include "show/show_store.h"

namespace lumarex {

// The preview's drawing modes, as the track bar OGL_Effekt selects them (0..3 on the form;
// the renderer takes 4 as well).
inline constexpr uint8_t kPreviewModeCount = 5;

// The label of a mode on the status image, padded with blanks to 26 characters so that it
// overwrites a longer one; empty for a mode the renderer does not know.
std::string_view PreviewModeLabel(uint8_t mode);

// The picture of frame n of the show in `mode`, written into `out` (the list is reset first).
// Returns false, with nothing to clear, draw or present, for an empty show whose frame n is
// empty; otherwise the list clears the panel and draws the frame's points (none for an empty
// frame or an unknown mode). The caller keeps n within the store's slots.
bool BuildPreviewPicture(const ShowStore& store, uint16_t n, uint8_t mode, DrawList& out);

// The beam picture's fixed source, where every beam starts.
inline constexpr int32_t kBeamSourceX = 0;
inline constexpr int32_t kBeamSourceY = 10000;

}  // namespace lumarex
