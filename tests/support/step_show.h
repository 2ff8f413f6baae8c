#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "show/show_files.h"
#include "show/show_store.h"
#include "tests/support/frame_builder.h"
#include "tests/support/test_files.h"

namespace lumarex::test {

// A show of `frames` frames for the player's tests, written as ILDA to `path` (its folder
// made): frame n is a blanked start and one red point a step further right, so a frame on
// the laser tells which one it was. False when it could not be written.
inline bool WriteStepShow(const std::string& path, uint32_t frames) {
  ShowStore store;
  for (uint32_t n = 0; n < frames; ++n) {
    const auto slot = store.NewFrame(2);
    slot[0] = Blanked(0, 0);
    slot[1] = Lit(static_cast<int16_t>(100 * (n % 300)), 0, 255, 0, 0);
    store.CommitFrame(1, FrameTail::kAllReal);
  }
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  RecordingDesktop quiet;
  return SaveShowFile(store, path, 0, static_cast<int32_t>(frames) - 1, quiet);
}

}  // namespace lumarex::test
