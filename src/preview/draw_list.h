#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace lumarex {

enum class Primitive : uint8_t { kLines, kQuads, kLineStrip, kTriangles };

// "lines", "quads", "line_strip", "triangles".
const char* PrimitiveName(Primitive primitive);

// One vertex as the pictures give it: whole-number coordinates of the view and a colour of
// unsigned bytes (alpha 255 where the picture draws opaque).
struct Vertex {
  int32_t x;
  int32_t y;
  uint8_t r;
  uint8_t g;
  uint8_t b;
  uint8_t a;

  friend bool operator==(const Vertex&, const Vertex&) = default;
};

// One primitive group with the drawing state it is drawn in.
struct Batch {
  uint32_t first;  // into the list's vertices
  uint32_t count;
  float lineWidth;
  Primitive primitive;
  bool blend;   // source-alpha / one: additive light
  bool smooth;  // colours interpolated along the primitive

  friend bool operator==(const Batch&, const Batch&) = default;
};

// The ordered OpenGL work of one picture: whether the colour buffer is cleared first, then the
// batches. The builders write into a list that is reused from picture to picture, so once it
// has grown to a frame's size nothing is allocated per point.
class DrawList {
 public:
  DrawList() = default;

  // Forgets the picture, keeping the memory.
  void Reset(bool clear) {
    clear_ = clear;
    batchCount_ = 0;
    vertexCount_ = 0;
  }
  // Makes this list the same picture as `other`, reusing this list's memory (a view keeps its
  // own copy of the last picture to repaint from).
  void CopyFrom(const DrawList& other);
  // Grows the memory to `vertices` and `batches` in all, keeping what is there.
  void Reserve(uint32_t vertices, uint32_t batches);

  // Opens a batch with room for up to `maxVertices` and answers where they go; the builder
  // writes through the pointer (with Put) and hands the end back to End. Writing through a
  // local pointer keeps the per-vertex work free of reloads: byte stores may alias anything,
  // the list's own members included.
  Vertex* Begin(Primitive primitive, float lineWidth, bool blend, bool smooth,
                uint32_t maxVertices) {
    if (vertexCapacity_ - vertexCount_ < maxVertices) Reserve(vertexCount_ + maxVertices, 0);
    if (batchCount_ == batchCapacity_) Reserve(0, batchCount_ + 1);
    batches_[batchCount_++] = Batch{vertexCount_, 0, lineWidth, primitive, blend, smooth};
    return vertices_.get() + vertexCount_;
  }
  // Closes the open batch at `end`; a batch left without vertices is dropped, so the list
  // holds only primitives that draw something. With `verticesEach`, the vertices written
  // become one batch for each `verticesEach` of them: primitives of their own.
  void End(const Vertex* end, uint32_t verticesEach = 0) {
    const Batch open = batches_[batchCount_ - 1];
    const auto count = static_cast<uint32_t>(end - (vertices_.get() + open.first));
    vertexCount_ = open.first + count;
    if (count == 0) {
      --batchCount_;
    } else if (verticesEach == 0 || count <= verticesEach) {
      batches_[batchCount_ - 1].count = count;
    } else {
      SplitOpenBatch(count, verticesEach);
    }
  }

  bool Clears() const { return clear_; }
  std::span<const Batch> Batches() const { return {batches_.get(), batchCount_}; }
  std::span<const Vertex> Vertices() const { return {vertices_.get(), vertexCount_}; }
  std::span<const Vertex> VerticesOf(const Batch& batch) const {
    return {vertices_.get() + batch.first, batch.count};
  }

 private:
  void SplitOpenBatch(uint32_t count, uint32_t verticesEach);

  bool clear_ = false;
  // Plain arrays rather than vectors: a picture writes up to a batch and six vertices a
  // point, and neither needs initialising before it is written.
  std::unique_ptr<Batch[]> batches_;
  uint32_t batchCount_ = 0;
  uint32_t batchCapacity_ = 0;
  std::unique_ptr<Vertex[]> vertices_;
  uint32_t vertexCount_ = 0;
  uint32_t vertexCapacity_ = 0;
};

// Writes one vertex and answers the place of the next.
inline Vertex* Put(Vertex* at, int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b,
                   uint8_t a = 255) {
  *at = Vertex{x, y, r, g, b, a};
  return at + 1;
}

// An orthographic view: the coordinates that land on the panel's edges.
struct OrthoView {
  double left;
  double right;
  double bottom;
  double top;
  double nearPlane;
  double farPlane;
};

// The preview panel: show coordinates used directly, the full range filling the panel.
inline constexpr OrthoView kPreviewView{-32768.0, 32767.0, -32768.0, 32767.0, 0.0, 128.0};
// The optimiser's comparison view: two frames side by side, each end scaled by 1.02.
inline constexpr OrthoView kComparisonView{-66846.72, 66844.68, -33423.36, 33422.34, 0.0, 128.0};

}  // namespace lumarex
