#pragma once

#include <cstddef>

namespace lumarex {

// Keeps the heap that a released show used for the next one. A show of hundreds of
// megabytes is released and loaded again as a whole; handing its pages back to the kernel
// and faulting them in again costs more than the reading itself (about 90 ms of 200 ms for
// a 200 MB show here). Call once at the start of main.
void KeepFreedShowMemory();

// The memory of the shows' frame arrays (any thread). It is cut from regions of 32 MiB that
// ask the kernel for transparent huge pages: faulting in the points of a fresh 270 MB show
// page by page took about 110 ms here, in 2 MiB pages about 35 ms, and a process ending with
// such a show unmapped it in 0.6 ms instead of 10-20 ms. Arrays are cut one after the other;
// a region whose arrays are all released is used again from its start, and released regions
// stay with the process for the next show, as the heap does. Under the address sanitizer
// every array comes from the ordinary heap, so that it keeps its bounds checks.
void* AllocateShowMemory(std::size_t bytes);
void ReleaseShowMemory(void* memory, std::size_t bytes) noexcept;

}  // namespace lumarex
