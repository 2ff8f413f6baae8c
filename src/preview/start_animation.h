#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "output/dac_point.h"
#include "preview/draw_list.h"
#include "show/show_point.h"

namespace lumarex {

// A point of the ball, on a sphere of radius 30000 whose axis is X.
struct SpherePoint {
  int16_t X = 0;
  int16_t Y = 0;
  int16_t Z = 0;

  friend bool operator==(const SpherePoint&, const SpherePoint&) = default;
};

inline constexpr uint32_t kSpherePoints = 1440;
// Indices 1..1440; entry 0 is unused.
using SphereTable = std::array<SpherePoint, kSpherePoints + 1>;

// The spiral wound 24 times round the sphere from one pole to the other.
SphereTable BuildSphereTable();

// The colour chain along the spiral (128 entries, constant).
extern const std::array<RgbColour, 128> SphereColours;

// The index into SphereColours of spiral point i.
uint32_t SphereColourIndex(uint32_t i);

// The steering strip: the pointer's height below the window's top edge minus this offset is
// the pointer's place in a strip about as high as the preview panel.
inline constexpr int32_t kSteeringStripTop = 68;
inline constexpr int32_t kSteeringStripHeight = 680;

// The tilt in degrees for the pointer d pixels below the strip's top edge: +90 above it,
// -90 below it, and -85..+85 across it (0 in the middle).
int32_t TiltFromPointer(int32_t d);

// The turning ball of the start-up: one picture per step, drawn for the preview and staged
// for the laser. Builds its table once; a step allocates nothing.
class StartAnimation {
 public:
  StartAnimation();

  // Rotates the ball by spin angle `angle` and tilt `tilt` (degrees) and draws its front half
  // into `out` (reset first, clearing the panel).
  void AnimationStep(uint16_t angle, int32_t tilt, DrawList& out);

  // The last step's points for the output transform, 1440 entries into `staged` (which must
  // hold them): the back half and both ends blanked. Returns the number staged.
  uint32_t StagePoints(std::span<SequencePoint> staged) const;

  const SphereTable& Table() const { return table_; }
  // The last step's rotated points, indices 1..1440.
  const SphereTable& Rotated() const { return rotated_; }

 private:
  SphereTable table_;
  SphereTable rotated_{};
};

}  // namespace lumarex
