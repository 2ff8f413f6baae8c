#include "platform/memory_policy.h"

#include <malloc.h>

namespace lumarex {

void KeepFreedShowMemory() {
  // The largest frame (65536 points of 12 bytes) stays well below this.
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  // Never trim the top of the heap: the next show reuses it.
  mallopt(M_TRIM_THRESHOLD, -1);
}

}  // namespace lumarex
