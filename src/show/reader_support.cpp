#include "show/reader_support.h"

#include <vector>

namespace lumarex {

bool StartShowRead(ShowStore& store, bool merge) {
  if (!merge) {
    store.ClearShow();
    store.FrameCount = 0;
    return true;
  }
  if (!store.HasRoomForFrame()) {
    store.IoStatus = kTooManyFrames;
    return false;
  }
  store.AppendEmptyFrame();  // the gap between the two shows
  return true;
}

void DropTrailingEmptyFrames(ShowStore& store, uint32_t keep) {
  uint32_t count = store.FrameCount;
  while (count > keep && store.LastPointIndex[count - 1] == 0) {
    --count;
    FrameArray().swap(store.FramePoints[count]);
    store.Tail[count] = FrameTail::kEmpty;
  }
  store.FrameCount = static_cast<uint16_t>(count);
}

}  // namespace lumarex
