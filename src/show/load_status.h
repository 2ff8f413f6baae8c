#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "show/show_files.h"
#include "show/show_store.h"

namespace lumarex {

// A text at a pixel position of a status image.
struct StatusText {
  int x = 0;
  int y = 0;
  std::string text;

  friend bool operator==(const StatusText&, const StatusText&) = default;
};

// The load command's report on the status image Statusfenster, in drawing order: file name
// (cut to 25 characters with its " \"Protect\"" mark), size in KB, the ILDA section kinds
// for an ILDA file, IoStatus with duration and frame count, and the music's length when
// music was found for the show.
std::vector<StatusText> LoadStatusLines(const ShowStore& store,
                                        const std::array<std::string, 6>& ildaFormatsSeen,
                                        const LoadResult& load,
                                        std::optional<uint32_t> musicLengthSeconds);

// The merge command's report on Statusfenster: the show's new last frame number.
std::vector<StatusText> MergeStatusLines(const ShowStore& store);

// The save range after a load or merge, on the image Savefrom; nothing for an empty show.
std::vector<StatusText> SaveRangeLines(const ShowStore& store, bool merge);

}  // namespace lumarex
