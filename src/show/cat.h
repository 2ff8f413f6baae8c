#pragma once

#include <cstdint>
#include <string>

#include "platform/desktop_services.h"
#include "show/save_progress.h"
#include "show/show_store.h"

namespace lumarex {

// The Cat family of the LDS and Phoenix systems: palette-indexed LDS frames, RGB frames
// ("LDS 2008") and the Phoenix RGB layout with its file header, all little-endian with Y
// growing downwards, plus the 576-byte LDS/Phoenix palette files.

// Replaces the show with the file's frames, or appends them when merging. Sets
// SourceFormatCode to 2, 3 (RGB sections), 16 or 17 (Phoenix header with or without the
// "aC" mark). Indexed frames take their colours from store.Palette. Trailing empty frames
// are dropped. The outcome is in store.IoStatus; frames read before a failure stay.
void ReadCat(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop);

// Write frames first..last as an LDS 2008 RGB Cat file (which starts with one empty frame)
// or as a Phoenix RGB Cat file. ".CAT" is appended to a name with another extension. The
// outcome is in store.IoStatus.
void WriteCat2008(ShowStore& store, const std::string& fileName, int32_t firstFrame,
                  int32_t lastFrame, DesktopServices& desktop, SaveProgress* progress = nullptr);
void WritePhoenixCat(ShowStore& store, const std::string& fileName, int32_t firstFrame,
                     int32_t lastFrame, DesktopServices& desktop, SaveProgress* progress = nullptr);

// Sets store.Palette entries 0..63 from an LDS/Phoenix palette file; the other entries stay.
// On success IoStatus is the reminder that the palette belongs before the Cat file.
void ReadPal(ShowStore& store, const std::string& fileName);

}  // namespace lumarex
