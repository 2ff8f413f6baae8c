#pragma once

#include <string>

#include "platform/desktop_services.h"
#include "show/show_store.h"

namespace lumarex {

// Grabben files (.GR1): frames of 8-byte 2D true-colour points (Y growing upwards) with a
// beam byte, no file header. Sets SourceFormatCode 22; replaces the show, or appends when
// merging. A frame whose points do not all arrive is not stored; the outcome is in
// store.IoStatus.
void ReadGrabben(ShowStore& store, const std::string& fileName, bool merge,
                 DesktopServices& desktop);

}  // namespace lumarex
