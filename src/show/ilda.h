#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/desktop_services.h"
#include "show/save_progress.h"
#include "show/show_store.h"

namespace lumarex {

// Reads ILDA image data transfer files (sections of formats 0 to 5). Its true-colour table
// and the list of section kinds met live from one read to the next.
class IldaReader {
 public:
  IldaReader();

  // Replaces the show with the file's frames, or appends them when merging. The outcome is
  // in store.IoStatus; frames read before a failure stay.
  void ReadIlda(ShowStore& store, const std::string& fileName, bool merge,
                DesktopServices& desktop);

  // One text per format code 0..5: empty, or a blank and the digit once a section of that
  // code was met in the last read.
  std::array<std::string, 6> IldaFormatsSeen;

 private:
  std::unique_ptr<std::array<RgbColour, 65536>> TrueColourTable;
};

// Writes frames first..last of the store as ILDA format 4 (frames with depth) or 5, with the
// closing section. Appends ".ILD" when the name has another extension. The outcome is in
// store.IoStatus.
void WriteIlda(ShowStore& store, const std::string& fileName, int32_t firstFrame, int32_t lastFrame,
               DesktopServices& desktop, SaveProgress* progress = nullptr);

}  // namespace lumarex
