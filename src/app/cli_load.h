#pragma once

#include <string>
#include <vector>

#include "app/cli_context.h"

namespace lumarex::cli {

// Loads `file` with merge off, then each of `merges` with merge on, as the load and merge
// commands do. On an extension without a reader it reports on stderr, sets the usage exit
// code and returns false.
bool LoadWithMerges(CliContext& context, const std::string& file,
                    const std::vector<std::string>& merges);

}  // namespace lumarex::cli
