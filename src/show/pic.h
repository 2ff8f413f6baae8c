#pragma once

#include <string>

#include "platform/desktop_services.h"
#include "show/show_store.h"

namespace lumarex {

// LDS Pic frame files (.PIC). The first byte selects the variant: 0 indexed (big-endian
// records coloured from store.Palette, each point taking its beam state and colour from the
// record before it), 4 RGB (the Cat RGB record). Other variants read no frames. Trailing
// empty frames are dropped. Replaces the show, or appends when merging; the outcome is in
// store.IoStatus.
void ReadPic(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop);

}  // namespace lumarex
