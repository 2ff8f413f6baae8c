#include "preview/draw_list.h"

#include <algorithm>
#include <cstring>

namespace lumarex {

const char* PrimitiveName(Primitive primitive) {
  switch (primitive) {
    case Primitive::kLines:
      return "lines";
    case Primitive::kQuads:
      return "quads";
    case Primitive::kLineStrip:
      return "line_strip";
    case Primitive::kTriangles:
      return "triangles";
  }
  return "lines";
}

void DrawList::Reserve(uint32_t vertices, uint32_t batches) {
  if (vertices > vertexCapacity_) {
    // Doubling keeps a list that grows picture by picture from reallocating often.
    vertices = std::max(vertices, vertexCapacity_ * 2);
    auto grown = std::make_unique_for_overwrite<Vertex[]>(vertices);
    if (vertexCount_ > 0) std::memcpy(grown.get(), vertices_.get(), vertexCount_ * sizeof(Vertex));
    vertices_ = std::move(grown);
    vertexCapacity_ = vertices;
  }
  if (batches > batchCapacity_) {
    batches = std::max(batches, batchCapacity_ * 2);
    auto grown = std::make_unique_for_overwrite<Batch[]>(batches);
    if (batchCount_ > 0) std::memcpy(grown.get(), batches_.get(), batchCount_ * sizeof(Batch));
    batches_ = std::move(grown);
    batchCapacity_ = batches;
  }
}

void DrawList::CopyFrom(const DrawList& other) {
  if (&other == this) return;
  Reset(other.clear_);
  Reserve(other.vertexCount_, other.batchCount_);
  if (other.vertexCount_ > 0) {
    std::memcpy(vertices_.get(), other.vertices_.get(), other.vertexCount_ * sizeof(Vertex));
  }
  if (other.batchCount_ > 0) {
    std::memcpy(batches_.get(), other.batches_.get(), other.batchCount_ * sizeof(Batch));
  }
  vertexCount_ = other.vertexCount_;
  batchCount_ = other.batchCount_;
}

void DrawList::SplitOpenBatch(uint32_t count, uint32_t verticesEach) {
  const Batch open = batches_[batchCount_ - 1];
  const uint32_t at = batchCount_ - 1;
  const uint32_t pieces = (count + verticesEach - 1) / verticesEach;
  Reserve(0, at + pieces);
  batchCount_ = at + pieces;
  Batch* out = batches_.get() + at;
  Batch each = open;
  each.count = verticesEach;
  for (uint32_t k = 0; k + 1 < pieces; ++k, each.first += verticesEach) out[k] = each;
  each.count = count - (pieces - 1) * verticesEach;
  out[pieces - 1] = each;
}

}  // namespace lumarex
