#pragma once

#include <cstdint>

namespace lumarex {

// What a writer reports while it saves, so the main window can show the frame information
// panel ("Save Frame Nr" and the statistics of each frame written).
class SaveProgress {
 public:
  virtual ~SaveProgress() = default;
  virtual void SaveStarted() {}
  virtual void FrameSaved(uint32_t /*frame*/) {}
};

}  // namespace lumarex
