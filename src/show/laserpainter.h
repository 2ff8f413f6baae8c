#pragma once

#include <string>

#include "platform/desktop_services.h"
#include "show/show_store.h"

namespace lumarex {

// LaserPainter files: .FLX ("Laserpainter") and .FLA ("LaserPainter (Avantar)") share one
// frame layout of 11-byte points with unsigned coordinates centred on 32768 and Y growing
// downwards; they differ in the file header's length and in their messages. Both set
// SourceFormatCode 14, replace the show or append when merging, and report in
// store.IoStatus.
void ReadFla(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop);
void ReadFlx(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop);

}  // namespace lumarex
