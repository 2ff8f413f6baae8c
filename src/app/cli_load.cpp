#include "app/cli_load.h"

#include <iostream>

namespace lumarex::cli {

namespace {

bool Load(CliContext& context, const std::string& name, bool merge) {
  if (LoadShowFile(context.store, context.readers, name, merge, context.desktop)) return true;
  std::cerr << "lumarex-cli: no reader for the file type of " << name << '\n';
  context.exitCode = kExitUsage;
  return false;
}

}  // namespace

bool LoadWithMerges(CliContext& context, const std::string& file,
                    const std::vector<std::string>& merges) {
  if (!Load(context, file, false)) return false;
  for (const std::string& merge : merges) {
    if (!Load(context, merge, true)) return false;
  }
  return true;
}

}  // namespace lumarex::cli
