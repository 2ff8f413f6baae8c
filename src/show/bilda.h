#pragma once

#include <string>

#include "platform/desktop_services.h"
#include "show/show_store.h"

namespace lumarex {

// Bilda files (.LF, .SLF): a flat stream of 8-byte 2D true-colour points after an 8-byte
// header; a flag in the points marks the last point of each frame. Points after the last
// marked one are dropped. Replaces the show, or appends when merging; the outcome is in
// store.IoStatus.
void ReadBilda(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop);

}  // namespace lumarex
