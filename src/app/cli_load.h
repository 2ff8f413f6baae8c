#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/cli_context.h"
#include "show/show_files.h"

namespace lumarex::cli {

using lumarex::LoadSucceeded;
using lumarex::WriteSucceeded;

// Called after each load or merge with what it did, while the store shows its outcome.
using AfterLoad = std::function<void(const LoadResult&)>;

// Loads `file` with merge off, then each of `merges` with merge on, as the load and merge
// commands do. On an extension without a reader it reports on stderr, sets the usage exit
// code and returns false. A reader's failure is left in IoStatus for the output, and sets
// `loadFailed` and the failure exit code.
bool LoadWithMerges(CliContext& context, const std::string& file,
                    const std::vector<std::string>& merges, const AfterLoad& afterLoad = {});

// "Load Pal for Cat": loads a palette before the show. An empty name does nothing. False
// (usage exit code set) for a name without "PAL" in its extension; a palette that cannot be
// read is reported on stderr and the show is then read with the palette it had.
bool LoadPalette(CliContext& context, const std::string& palette);

// "Load projector parameters" of a file named on the command line, through the main window's
// handler; false (failure exit code set) when the file was refused, its message box on stderr.
bool LoadProjectorParameters(CliContext& context, const std::string& path);

}  // namespace lumarex::cli
