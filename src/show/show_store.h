#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/memory_policy.h"
#include "show/show_point.h"

namespace lumarex {

// How a frame's stored points relate to the points its file held. Writers use it so that
// saving a show loses no point: some readers append a zero point after the file's points.
enum class FrameTail : uint8_t {
  kAllReal,            // points 0..LastPointIndex all came from the file
  kAppendedZeroPoint,  // the point at LastPointIndex is a zero point the reader added
  kEmpty,              // no real points (LastPointIndex 0, or the two-zero-point empty form)
};

struct FrameStats {
  bool is3D = false;
  uint32_t paths = 0;    // visible points whose predecessor is blanked (or absent)
  uint32_t vectors = 0;  // all points
  uint32_t visible = 0;
  uint32_t blanked = 0;

  const char* Dimension() const { return is3D ? "3D" : "2D"; }
};

using PaletteTable = std::array<RgbColour, 256>;

// The allocator of the frame arrays: their memory comes from the show memory of
// platform/memory_policy.h. An instance made `forOverwrite` leaves the points of a resize
// unset, for a reader that writes every point itself; writing the whole array twice (zeroes,
// then the points) was a third of a large show's reading time. Instances compare equal
// whatever the flag, so arrays swap and move freely.
template <typename T>
class FrameAllocator {
 public:
  using value_type = T;

  FrameAllocator() = default;
  explicit FrameAllocator(bool forOverwrite) : forOverwrite_(forOverwrite) {}
  template <typename U>
  FrameAllocator(const FrameAllocator<U>& other) noexcept : forOverwrite_(other.ForOverwrite()) {}

  T* allocate(size_t n) { return static_cast<T*>(AllocateShowMemory(n * sizeof(T))); }
  void deallocate(T* p, size_t n) noexcept { ReleaseShowMemory(p, n * sizeof(T)); }

  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) == 0) {
      if (forOverwrite_) return;
    }
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  bool ForOverwrite() const { return forOverwrite_; }
  template <typename U>
  friend bool operator==(const FrameAllocator&, const FrameAllocator<U>&) {
    return true;
  }

 private:
  bool forOverwrite_ = false;
};

using FrameArray = std::vector<ShowPoint, FrameAllocator<ShowPoint>>;

// The one in-memory show: frames of points, the palette and the state of the last file
// operation. The application owns one; readers fill it, writers, the player and the
// optimiser read it. Used from the user-interface thread only.
class ShowStore {
 public:
  static constexpr uint32_t kSlotCount = 65536;
  static constexpr uint32_t kMaxFrames = 65535;  // the width of FrameCount
  static constexpr uint32_t kMaxPointsPerFrame = 65536;

  ShowStore();

  uint16_t FrameCount = 0;
  // Frame n is FramePoints[n][0..LastPointIndex[n]]; a frame with LastPointIndex 0 counts
  // as empty and its array may be absent. Every array holds at least LastPointIndex+1 points.
  std::vector<FrameArray> FramePoints;
  std::vector<uint16_t> LastPointIndex;
  std::vector<FrameTail> Tail;
  PaletteTable Palette{};
  uint8_t SourceFormatCode = 0;
  std::string ShowFileName;
  uint32_t ShowFileSize = 0;
  std::string IoStatus;
  int32_t SaveRangeStart = 0;
  int32_t SaveRangeEnd = 0;

  // Empties the store before a load that does not merge: every slot released, FrameCount 1
  // (the reader then sets it to 0 before its first frame).
  void ClearShow();
  // The 64 colours of the ILDA standard palette, then black.
  void LoadDefaultPalette();

  // True while one more frame fits.
  bool HasRoomForFrame() const { return FrameCount < kMaxFrames; }

  // Appending: NewFrame gives the zeroed array of frame FrameCount with `elements` points
  // (1..kMaxPointsPerFrame); CommitFrame sets its last index and tail and counts it.
  // Callers check HasRoomForFrame first.
  std::span<ShowPoint> NewFrame(uint32_t elements);
  // As NewFrame, but the points are left unset: the caller writes every one of them before
  // anything reads the frame.
  std::span<ShowPoint> NewFrameForOverwrite(uint32_t elements);
  void CommitFrame(uint16_t lastPointIndex, FrameTail tail);
  // Appends the stored empty form of the ILDA reader and the optimiser: two zero points.
  void AppendTwoPointEmptyFrame();
  // Appends a frame with LastPointIndex 0 and no array.
  void AppendEmptyFrame();

  // Replaces frame n with `points` (ColourIndex cleared). No points stores the two-point
  // empty form.
  void ReplaceFrame(uint32_t n, std::span<const ShowPoint> points);
  // Removes frames first..last (inclusive, clamped to the show) and closes the gap.
  void RemoveFrames(uint32_t first, uint32_t last);
  // Keeps frames 0 and 1 and then every odd frame (3, 5, 7, ...), moved down in order; the
  // slots left over are emptied. A show of fewer than 3 frames stays as it is.
  void RemoveEverySecondFrame();

  // Points 0..LastPointIndex of frame n; empty for an empty frame or a slot beyond the show.
  std::span<const ShowPoint> Frame(uint32_t n) const;
  // The number of points of frame n that came from its file and that a writer stores.
  uint32_t RealPointCount(uint32_t n) const;
  FrameStats FrameStatistics(uint32_t n) const;

 private:
  void ReleaseSlot(uint32_t n);
  void NoteSlotUsed(uint32_t n) { slotsTouched_ = n + 1 > slotsTouched_ ? n + 1 : slotsTouched_; }

  // One past the highest slot that may hold an array, so that clearing a small show does not
  // walk all 65536 slots (it did 3 ms a clear under the sanitizers).
  uint32_t slotsTouched_ = 0;
};

// The ILDA standard's default palette (entries 0..63; 64..255 black).
const PaletteTable& DefaultPalette();

}  // namespace lumarex
