#pragma once

#include <string>

#include "platform/desktop_services.h"
#include "show/show_store.h"

namespace lumarex {

// Pangolin QM32 object files (.LDB): big-endian, a palette, a table of frame descriptors
// and then the point records of every frame, of a kind given per frame. A file without the
// Pangolin magic and a frame of an unknown kind are reported in a message box, and also in
// store.IoStatus so that the load status does not claim success. Replaces the show, or
// appends when merging; frames read before a failure stay.
void ReadPangolin(ShowStore& store, const std::string& fileName, bool merge,
                  DesktopServices& desktop);

}  // namespace lumarex
