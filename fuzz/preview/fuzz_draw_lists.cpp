// Random frames and modes through every picture builder: nothing may read or write out of
// bounds, and each picture must hold exactly the vertices its rules give.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "preview/comparison_picture.h"
#include "preview/frame_picture.h"
#include "preview/output_picture.h"
#include "preview/start_animation.h"

namespace {

using lumarex::Batch;
using lumarex::DrawList;
using lumarex::Primitive;
using lumarex::ShowPoint;

void Check(bool condition) {
  if (!condition) std::abort();
}

uint32_t VerticesOf(const DrawList& list, Primitive primitive) {
  uint32_t n = 0;
  for (const Batch& b : list.Batches()) n += b.primitive == primitive ? b.count : 0;
  return n;
}

void CheckFramePicture(const lumarex::ShowStore& store, uint8_t mode, DrawList& list) {
  const bool drawn = lumarex::BuildPreviewPicture(store, 0, mode, list);
  const auto pts = store.Frame(0);
  Check(drawn == (store.FrameCount != 0 || !pts.empty()));
  uint32_t lit = 0, litAfterFirst = 0, litPairs = 0;
  for (size_t k = 0; k < pts.size(); ++k) {
    const bool on = pts[k].Visible != 0;
    lit += on ? 1 : 0;
    litAfterFirst += on && k > 0 ? 1 : 0;
    litPairs += on && k + 1 < pts.size() && pts[k + 1].Visible != 0 ? 1 : 0;
  }
  for (const Batch& b : list.Batches()) Check(b.count > 0);
  switch (mode) {
    case 0:
      Check(VerticesOf(list, Primitive::kLines) == 2 * litAfterFirst);
      Check(VerticesOf(list, Primitive::kQuads) == 4 * lit);
      break;
    case 3:
      Check(VerticesOf(list, Primitive::kQuads) == 4 * pts.size());
      Check(VerticesOf(list, Primitive::kLines) == (pts.empty() ? 0 : 2 * (pts.size() - 1)));
      break;
    case 1:
    case 2:
    case 4: {
      const uint32_t beams = VerticesOf(list, Primitive::kLineStrip);
      Check(beams % 3 == 0 && beams <= 3 * lit);
      Check(VerticesOf(list, Primitive::kTriangles) == (mode == 4 ? 0 : 3 * litPairs));
      break;
    }
    default:
      Check(list.Batches().empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto store = [] {
    auto s = std::make_unique<lumarex::ShowStore>();
    s->AppendEmptyFrame();
    return s;
  }();
  static DrawList list;
  static lumarex::StartAnimation animation;
  if (size < 4) return 0;
  const uint8_t mode = data[0] % 6;
  const bool emptyShow = (data[1] & 1) != 0;
  const auto angle = static_cast<uint16_t>(data[2] | (data[3] << 8));
  const auto pointer = static_cast<int8_t>(data[1]);
  const bool spin = (data[1] & 2) != 0;  // the ball is slow beside the rest
  data += 4;
  size -= 4;

  std::vector<ShowPoint> points(size / 8);
  std::vector<lumarex::DacPoint> dac(size / 8);
  for (size_t k = 0; k < points.size(); ++k) {
    const uint8_t* p = data + k * 8;
    ShowPoint& s = points[k];
    s.X = static_cast<int16_t>(p[0] | (p[1] << 8));
    s.Y = static_cast<int16_t>(p[2] | (p[3] << 8));
    s.R = p[4];
    s.G = p[5];
    s.B = p[6];
    s.Visible = p[7] & 1;
    dac[k] = {static_cast<uint16_t>(p[0] | (p[1] << 8)),
              static_cast<uint16_t>(p[2] | (p[3] << 8)),
              p[4],
              p[5],
              p[6],
              p[7],
              {}};
  }
  if (points.size() > lumarex::ShowStore::kMaxPointsPerFrame) return 0;

  store->ClearShow();
  store->FrameCount = 0;
  if (!emptyShow) {
    store->AppendEmptyFrame();
    if (points.size() >= 2) store->ReplaceFrame(0, points);
  }
  CheckFramePicture(*store, mode, list);

  const size_t half = points.size() / 2;
  lumarex::BuildComparisonPicture({points.data(), half},
                                  {points.data() + half, points.size() - half}, list);
  Check(list.Batches().size() <= 9);

  const lumarex::OutputPictureCounts counts =
      lumarex::BuildOutputPicture(dac, lumarex::OutputWindowOf(0.5, 100, 0.75, -100), list);
  Check(counts.litSegments + counts.blankedMoves < std::max<size_t>(dac.size(), 1));

  if (!spin) return 0;
  animation.AnimationStep(angle, lumarex::TiltFromPointer(pointer * 8), list);
  for (uint32_t i = 1; i <= lumarex::kSpherePoints; ++i) {
    const auto& p = animation.Rotated()[i];
    const int64_t r2 = int64_t{p.X} * p.X + int64_t{p.Y} * p.Y + int64_t{p.Z} * p.Z;
    Check(r2 <= 30000LL * 30000);
  }
  return 0;
}
