#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "optimiser/endpoint_search.h"
#include "optimiser/optimiser_parameters.h"
#include "optimiser/path_tables.h"
#include "show/show_point.h"
#include "show/show_store.h"

namespace lumarex {

// What became of the last frame given to the optimiser.
enum class FrameOutcome : uint8_t {
  kOptimised,      // OptiBuffer holds the optimised frame
  kNoPaths,        // no lit points: nothing written, the optimised frame is empty
  kTooManyPaths,   // more paths than the tables hold: nothing written, frame to be left alone
  kTooManyPoints,  // the optimised frame would not fit OptiBuffer: frame to be left alone
};

// The path optimiser core: cuts one frame into lit paths, orders them greedily by nearest
// endpoint and rebuilds the frame for galvanometer scanners in OptiBuffer. Owns its work
// tables, reserved once for the largest frame; a run allocates nothing. Never writes the
// show. Use from one thread at a time.
class Optiframe {
 public:
  static constexpr uint32_t kBufferPoints = 65536;

  Optiframe();
  Optiframe(const Optiframe&) = delete;
  Optiframe& operator=(const Optiframe&) = delete;

  // Cuts frame `frame` of the store (or the points 0..LastPointIndex of a frame) into paths;
  // returns PathCount. A frame with more than kMaxPaths paths yields 0 with LastOutcome
  // kTooManyPaths.
  uint16_t ExtractPaths(const ShowStore& store, uint32_t frame);
  uint16_t ExtractPaths(std::span<const ShowPoint> points);

  // Fill the order list and OrderedPaths for paths 1..pathCount.
  void OrderFromFrameStart(uint16_t pathCount);
  void OrderFromCenter(uint16_t pathCount);

  // Writes OptiBuffer from OrderedPaths; returns OptiLastIndex (0 when nothing was written or
  // the frame would overflow the buffer, see LastOutcome).
  uint16_t BuildOptimisedFrame(uint16_t pathCount, const OptimiserParameters& parameters);

  // The whole optimisation of one frame in the callers' order: extraction, the ordering that
  // parameters.SearchMode selects, the rebuild. With KeepShorterFrameOrder, the frame's own
  // path order (each path forward) replaces the greedy one when it travels less blanked.
  FrameOutcome OptimiseFrame(const ShowStore& store, uint32_t frame,
                             const OptimiserParameters& parameters);
  FrameOutcome OptimiseFrame(std::span<const ShowPoint> points,
                             const OptimiserParameters& parameters);

  // The blanked travel of the built frame for the present order list, in the statistics'
  // units (each step of every blanked move measured on the grid of 4).
  uint64_t BlankedTravel(uint16_t pathCount, const OptimiserParameters& parameters) const;
  // True when the last OptimiseFrame kept the frame's own path order.
  bool KeptFrameOrder() const { return keptFrameOrder_; }

  uint16_t PathCount() const { return pathCount_; }
  uint16_t OptiLastIndex() const { return optiLastIndex_; }
  FrameOutcome LastOutcome() const { return outcome_; }
  // True when the store's frame should receive OptiBuffer (optimised, or empty for a frame
  // without lit points).
  bool HasStorableResult() const {
    return outcome_ == FrameOutcome::kOptimised || outcome_ == FrameOutcome::kNoPaths;
  }

  // OptiBuffer points 0..OptiLastIndex; empty when nothing was written.
  std::span<const ShowPoint> Optimised() const;
  // Path table, order list and OrderedPaths of the last run, slot 0 unused.
  std::span<const PathEntry> Paths() const { return {paths_.data(), pathCount_ + 1u}; }
  std::span<const PathVertex> PathVertices(uint16_t path) const;
  std::span<const OrderEntry> Order() const { return {order_.data(), pathCount_ + 1u}; }
  std::span<const PathVertex> OrderedPath(uint16_t position) const;

 private:
  // A frame's lit points plus one switch-on vertex per path.
  static constexpr uint32_t kMaxVertices = kBufferPoints + kPathSlots;

  void CopyOrderedPaths(uint16_t pathCount);
  void Place(uint32_t position, uint16_t path, uint8_t reversed);

  std::vector<PathVertex> vertices_;
  std::vector<uint32_t> vertexStart_;  // path k: vertices_[vertexStart_[k] ..]
  std::vector<PathEntry> paths_;
  std::vector<OrderEntry> order_;
  std::vector<OrderEntry> greedyOrder_;
  std::vector<PathVertex> orderedVertices_;
  std::vector<uint32_t> orderedStart_;
  std::vector<ShowPoint> optiBuffer_;
  std::unique_ptr<EndpointSearch> search_;
  uint16_t pathCount_ = 0;
  uint16_t optiLastIndex_ = 0;
  FrameOutcome outcome_ = FrameOutcome::kNoPaths;
  bool keptFrameOrder_ = false;
};

}  // namespace lumarex
