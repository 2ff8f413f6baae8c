#include "platform/memory_policy.h"

#include <malloc.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define LUMAREX_PLAIN_SHOW_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMAREX_PLAIN_SHOW_MEMORY 1
#endif
#endif

namespace lumarex {

void KeepFreedShowMemory() {
  // The largest frame (65536 points of 12 bytes) stays well below this.
  mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
  // Never trim the top of the heap: the next show reuses it.
  mallopt(M_TRIM_THRESHOLD, -1);
}

#ifdef LUMAREX_PLAIN_SHOW_MEMORY

void* AllocateShowMemory(std::size_t bytes) {
  return ::operator new(bytes);
}

void ReleaseShowMemory(void* memory, std::size_t) noexcept {
  ::operator delete(memory);
}

#else

namespace {

constexpr std::size_t kRegionBytes = std::size_t{32} << 20;
// Frames are at most 786 KB; anything above a quarter region would waste too much of one.
constexpr std::size_t kLargestCut = kRegionBytes / 4;
// Cache-line steps: arrays converted on different cores never share a line.
constexpr std::size_t kStep = 64;

class ShowMemory {
 public:
  void* Allocate(std::size_t bytes) {
    bytes = (bytes + kStep - 1) / kStep * kStep;
    std::lock_guard lock(mutex_);
    if (current_ == nullptr || current_->used + bytes > kRegionBytes) current_ = NextRegion();
    void* memory = reinterpret_cast<void*>(current_->base + current_->used);
    current_->used += bytes;
    ++current_->live;
    return memory;
  }

  void Release(void* memory) noexcept {
    const auto base = reinterpret_cast<std::uintptr_t>(memory) & ~(kRegionBytes - 1);
    std::lock_guard lock(mutex_);
    Region& region = regions_.at(base);
    if (--region.live != 0) return;
    region.used = 0;
    // Even the current region waits with the others: regions are taken again in the order
    // they were made, so that the next show of the same size covers the same pages and the
    // process does not grow.
    if (&region == current_) current_ = nullptr;
    idle_.push_back(&region);
  }

 private:
  struct Region {
    std::uintptr_t base = 0;
    std::size_t order = 0;  // made as the order-th region
    std::size_t used = 0;
    std::size_t live = 0;  // arrays cut from it and not yet released
  };

  Region* NextRegion() {
    if (!idle_.empty()) {
      const auto first = std::min_element(idle_.begin(), idle_.end(),
                                          [](Region* a, Region* b) { return a->order < b->order; });
      Region* region = *first;
      idle_.erase(first);
      return region;
    }
    // Twice the size, so that an aligned region fits; the rest goes back at once.
    void* mapping = mmap(nullptr, 2 * kRegionBytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapping);
    const std::uintptr_t base = (start + kRegionBytes - 1) & ~(kRegionBytes - 1);
    if (base > start) munmap(mapping, base - start);
    const std::uintptr_t end = start + 2 * kRegionBytes;
    if (end > base + kRegionBytes) {
      munmap(reinterpret_cast<void*>(base + kRegionBytes), end - base - kRegionBytes);
    }
    // Only a wish: a kernel without transparent huge pages for this mapping gives small ones.
    madvise(reinterpret_cast<void*>(base), kRegionBytes, MADV_HUGEPAGE);
    Region& region = regions_[base];
    region.base = base;
    region.order = regions_.size();
    idle_.reserve(regions_.size());  // so that Release never allocates
    return &region;
  }

  std::mutex mutex_;
  // Node-based, so that the Region pointers stay valid as regions are added.
  std::unordered_map<std::uintptr_t, Region> regions_;
  std::vector<Region*> idle_;
  Region* current_ = nullptr;
};

ShowMemory& TheShowMemory() {
  // Never destroyed: frame arrays of static stores may be released after main returns.
  static ShowMemory* const memory = new ShowMemory;
  return *memory;
}

}  // namespace

void* AllocateShowMemory(std::size_t bytes) {
  if (bytes == 0 || bytes > kLargestCut) return ::operator new(bytes);
  return TheShowMemory().Allocate(bytes);
}

void ReleaseShowMemory(void* memory, std::size_t bytes) noexcept {
  if (memory == nullptr) return;
  if (bytes == 0 || bytes > kLargestCut) {
    ::operator delete(memory);
    return;
  }
  TheShowMemory().Release(memory);
}

#endif

}  // namespace lumarex
