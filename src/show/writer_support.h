#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "show/file_names.h"
#include "show/show_store.h"

namespace lumarex {

// Shared steps of the writers other than ILDA; not part of the layer's interface.

// The name a writer really writes: `extension` (upper case, with its dot) is appended
// unless the name already ends in it, compared in upper case.
inline std::string WithWriterExtension(const std::string& fileName, const char* extension) {
  return UpperExtension(fileName) == extension ? fileName : fileName + extension;
}

// The slots a save range covers, clamped to the store's slots.
struct FrameRange {
  int64_t first;
  int64_t last;  // below first for an empty range
};

inline FrameRange ClampedRange(int32_t firstFrame, int32_t lastFrame) {
  return {std::max<int64_t>(firstFrame, 0),
          std::min<int64_t>(lastFrame, ShowStore::kSlotCount - 1)};
}

// The records a writer stores for frame n: its real points, limited by the 16-bit counts
// of the file formats.
inline uint32_t WrittenPointCount(const ShowStore& store, uint32_t n) {
  return std::min<uint32_t>(store.RealPointCount(n), 65535);
}

}  // namespace lumarex
