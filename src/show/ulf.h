#pragma once

#include <cstdint>
#include <string>

#include "platform/desktop_services.h"
#include "show/save_progress.h"
#include "show/show_store.h"

namespace lumarex {

// JoJo ULF files (JMLaser) and Phoenix PHO frame files: 24-byte frame headers, each followed
// by 8-byte 2D true-colour records (X, Y with Y growing downwards, red, green, blue, and a
// visibility byte 0xFF for a lit point). PHO differs in its magic and in the word order of
// the data size.

// Replace the show with the file's frames, or append them when merging. Each point takes
// the visibility byte of its own record. The outcome is in store.IoStatus; frames read
// before a failure stay.
void ReadUlf(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop);
void ReadPho(ShowStore& store, const std::string& fileName, bool merge, DesktopServices& desktop);

// Writes frames first..last as ULF, each point's beam state in its own record, so a file
// written here reads back unchanged. ".ULF" is appended to a name with another extension.
void WriteUlf(ShowStore& store, const std::string& fileName, int32_t firstFrame, int32_t lastFrame,
              DesktopServices& desktop, SaveProgress* progress = nullptr);

}  // namespace lumarex
