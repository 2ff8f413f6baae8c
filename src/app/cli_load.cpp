#include "app/cli_load.h"

#include <iostream>

#include "platform/clock.h"

namespace lumarex::cli {

namespace {

constexpr const char kPaletteLoaded[] = "Pal muß vor dem *.Cat File geladen werden !";

bool Load(CliContext& context, const std::string& name, bool merge, const AfterLoad& afterLoad) {
  const SteadyClock clock;
  const LoadResult result =
      LoadShow(context.Store(), context.Readers(), name, merge, context.desktop, clock);
  if (!result.readerRan) {
    std::cerr << "lumarex-cli: no reader for the file type of " << name << '\n';
    context.exitCode = kExitUsage;
    return false;
  }
  if (!LoadSucceeded(context.Store().IoStatus)) {
    context.loadFailed = true;
    context.Failed();
  }
  if (afterLoad) afterLoad(result);
  return true;
}

}  // namespace

bool LoadWithMerges(CliContext& context, const std::string& file,
                    const std::vector<std::string>& merges, const AfterLoad& afterLoad) {
  if (!Load(context, file, false, afterLoad)) return false;
  for (const std::string& merge : merges) {
    if (!Load(context, merge, true, afterLoad)) return false;
  }
  return true;
}

bool LoadPalette(CliContext& context, const std::string& palette) {
  if (palette.empty()) return true;
  if (!LoadPaletteFile(context.Store(), palette)) {
    std::cerr << "lumarex-cli: not a palette file (.pal): " << palette << '\n';
    context.exitCode = kExitUsage;
    return false;
  }
  if (context.Store().IoStatus != kPaletteLoaded) {
    std::cerr << "lumarex-cli: " << palette << ": " << context.Store().IoStatus << '\n';
  }
  return true;
}

bool LoadProjectorParameters(CliContext& context, const std::string& path) {
  if (context.Window().LoadProjectorFile(path) == ProjectorLoad::kApplied) return true;
  context.Failed();
  return false;
}

}  // namespace lumarex::cli
