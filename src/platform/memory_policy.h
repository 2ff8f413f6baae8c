#pragma once

namespace lumarex {

// Keeps the heap that a released show used for the next one. A show of hundreds of
// megabytes is released and loaded again as a whole; handing its pages back to the kernel
// and faulting them in again costs more than the reading itself (about 90 ms of 200 ms for
// a 200 MB show here). Frames stay on the heap rather than in mappings of their own for
// the same reason. Call once at the start of main.
void KeepFreedShowMemory();

}  // namespace lumarex
