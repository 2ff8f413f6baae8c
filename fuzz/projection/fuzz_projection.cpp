// Two inputs in one target, chosen by the first byte:
// '{' and on: a projection file's text through the reader; what it reads is written and read
//   back the same.
// anything else: the bytes make a projection (corners, up to three masks or zones of up to
//   eight vertices, a safe area) and a frame (6 bytes a point), and the projected frame must
//   keep every promise of the stage: no light in a blank mask or through one, no zone above
//   its limit, nothing outside the safe area.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "projection/projection_file.h"
#include "projection/projection_stage.h"
#include "tests/projection/projection_checks.h"

namespace {

using namespace lumarex;

struct Bytes {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  uint8_t U8() { return at < size ? data[at++] : 0; }
  double Unit() { return static_cast<double>(U8() | U8() << 8); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0 && data[0] == '{') {
    const ProjectionRead read =
        ParseProjection(std::string(reinterpret_cast<const char*>(data), size));
    if (!read.ok) return 0;
    const ProjectionRead again = ParseProjection(ProjectionJson(read.projection));
    if (!again.ok || !(again.projection == read.projection)) __builtin_trap();
    return 0;
  }
  Bytes in{data, size};
  Projection p;
  for (FieldPoint& corner : p.corners) corner = {in.Unit(), in.Unit()};
  if (!Homography::FromCorners(p.corners)) p.corners = Projection{}.corners;
  const uint8_t shape = in.U8();
  for (int m = 0; m < (shape & 3); ++m) {
    ProjectionMask mask;
    const int vertices = 3 + in.U8() % 6;
    for (int v = 0; v < vertices; ++v) mask.polygon.push_back({in.Unit(), in.Unit()});
    const uint8_t limit = in.U8();
    if (limit <= 100) mask.limit = limit;
    p.masks.push_back(std::move(mask));
  }
  if (shape & 4) {
    const double x0 = in.Unit(), y0 = in.Unit(), x1 = in.Unit(), y1 = in.Unit();
    if (x0 < x1 && y0 < y1) p.safeArea = SafeArea{x0, y0, x1, y1};
  }
  std::vector<DacPoint> frame;
  while (in.at + 6 <= in.size && frame.size() < 4000) {
    DacPoint point;
    point.x = static_cast<uint16_t>(in.Unit());
    point.y = static_cast<uint16_t>(in.Unit());
    const uint8_t level = in.U8();
    const uint8_t lit = in.U8() & 1;
    point.r = point.g = point.b = point.i = lit ? level : 0;
    frame.push_back(point);
  }
  ProjectionStage stage;
  if (!stage.Set(p)) __builtin_trap();
  const auto out = stage.Apply(frame);
  if (out.size() < frame.size()) __builtin_trap();
  if (!test::ProjectionFault(p, frame, out).empty()) __builtin_trap();
  return 0;
}
