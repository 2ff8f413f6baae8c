#pragma once

#include <cstdint>
#include <string>

#include "platform/desktop_services.h"
#include "show/file_names.h"
#include "show/ilda.h"
#include "show/save_progress.h"
#include "show/show_store.h"

namespace lumarex {

// The readers whose state lives from one read to the next, owned with the store.
struct ShowReaders {
  IldaReader ilda;
};

// Loads a show file by its extension: replaces the show, or appends it when merging. Sets
// ShowFileName, SourceFormatCode and the save range (the whole show) and leaves the
// reader's outcome in store.IoStatus. False when no reader takes the extension.
bool LoadShowFile(ShowStore& store, ShowReaders& readers, const std::string& fileName, bool merge,
                  DesktopServices& desktop);

// Writes frames first..last with the writer that the extension of fileName selects. False
// when no writer takes the extension; the writer's outcome is in store.IoStatus.
bool SaveShowFile(ShowStore& store, const std::string& fileName, int32_t firstFrame,
                  int32_t lastFrame, DesktopServices& desktop, SaveProgress* progress = nullptr);

}  // namespace lumarex
