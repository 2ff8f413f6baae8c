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
    auto grown = std::make_unique_for_overwrite<Vertex[]>(vertices);
    if (vertexCount_ > 0) std::memcpy(grown.get(), vertices_.get(), vertexCount_ * sizeof(Vertex));
    vertices_ = std::move(grown);
    vertexCapacity_ = vertices;
  }
  batches_.reserve(batches);
}

void DrawList::Grow() {
  Reserve(std::max<uint32_t>(1024, vertexCapacity_ * 2), 0);
}

}  // namespace lumarex
