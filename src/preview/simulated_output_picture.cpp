#include "preview/simulated_output_picture.h"

#include <cmath>

namespace lumarex {

namespace {

constexpr int32_t kFieldCentre = 32768;
constexpr uint8_t kMoveGrey = 96;

inline int32_t PanelCoordinate(float v) {
  return static_cast<int32_t>(std::lround(v)) - kFieldCentre;
}

inline bool SamePlace(const BeamSample& a, const BeamSample& b) {
  return std::fabs(a.x - b.x) < 0.5f && std::fabs(a.y - b.y) < 0.5f;
}

uint32_t DwellPlaces(std::span<const DacPoint> points) {
  uint32_t places = 0;
  for (size_t k = 0; k < points.size();) {
    size_t end = k + 1;
    while (end < points.size() && points[end].x == points[k].x && points[end].y == points[k].y) {
      ++end;
    }
    if (end - k > 1) ++places;
    k = end;
  }
  return places;
}

}  // namespace

OutputPictureCounts SimulatedOutputPicture::Build(std::span<const DacPoint> points,
                                                  uint32_t pointRate, const ScannerRating& rating,
                                                  const std::optional<OutputWindow>& window,
                                                  DrawList& out,
                                                  const ProjectionStage* projection) {
  OutputPictureCounts counts;
  samples_.clear();
  const auto sampleCount = static_cast<uint32_t>(points.size()) * kSamplesPerPoint;
  out.Reset(true);
  out.Reserve(sampleCount * 4 + 80, 8);
  AddOutputOutlines(window, projection, out);
  if (points.empty() || pointRate == 0) return counts;

  ScannerModel model(rating);
  model.Reset(points.back().x, points.back().y);
  // The first pass brings the mirrors and the colour delay to where the frame leaves them;
  // the picture starts from its last sample.
  model.Simulate(points, pointRate, samples_, kSamplesPerPoint);
  const BeamSample start = samples_.back();
  samples_.clear();
  model.Simulate(points, pointRate, samples_, kSamplesPerPoint);

  Vertex* w = out.Begin(Primitive::kLines, 1.0f, false, false, sampleCount * 2);
  bool inMove = false;
  for (size_t k = 0; k < samples_.size(); ++k) {
    const BeamSample& s = samples_[k];
    const BeamSample& from = k == 0 ? start : samples_[k - 1];
    if (s.i != 0 || SamePlace(s, from)) {
      inMove = false;
      continue;
    }
    w = Put(w, PanelCoordinate(from.x), PanelCoordinate(from.y), kMoveGrey, kMoveGrey, kMoveGrey);
    w = Put(w, PanelCoordinate(s.x), PanelCoordinate(s.y), kMoveGrey, kMoveGrey, kMoveGrey);
    if (!inMove) ++counts.blankedMoves;
    inMove = true;
  }
  out.End(w);

  w = out.Begin(Primitive::kLines, 1.0f, false, false, sampleCount * 2);
  for (size_t k = 0; k < samples_.size(); ++k) {
    const BeamSample& s = samples_[k];
    if (s.i == 0) continue;
    const BeamSample& from = k == 0 ? start : samples_[k - 1];
    w = Put(w, PanelCoordinate(from.x), PanelCoordinate(from.y), s.r, s.g, s.b);
    w = Put(w, PanelCoordinate(s.x), PanelCoordinate(s.y), s.r, s.g, s.b);
    ++counts.litSegments;
  }
  out.End(w);
  counts.dwellPoints = DwellPlaces(points);
  return counts;
}

}  // namespace lumarex
