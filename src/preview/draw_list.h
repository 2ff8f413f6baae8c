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
  Primitive primitive = Primitive::kLines;
  float lineWidth = 1.0f;
  bool blend = false;   // source-alpha / one: additive light
  bool smooth = false;  // colours interpolated along the primitive
  uint32_t first = 0;   // into the list's vertices
  uint32_t count = 0;

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
    batches_.clear();
    vertexCount_ = 0;
  }
  void Reserve(uint32_t vertices, uint32_t batches);

  // Opens a batch; vertices added until End belong to it. A batch left without vertices is
  // dropped at End, so the list holds only primitives that draw something.
  void Begin(Primitive primitive, float lineWidth, bool blend, bool smooth) {
    batches_.push_back(Batch{primitive, lineWidth, blend, smooth, vertexCount_, 0});
  }
  void Add(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    if (vertexCount_ == vertexCapacity_) Grow();
    vertices_[vertexCount_++] = Vertex{x, y, r, g, b, a};
  }
  void End() {
    Batch& open = batches_.back();
    open.count = vertexCount_ - open.first;
    if (open.count == 0) batches_.pop_back();
  }

  bool Clears() const { return clear_; }
  std::span<const Batch> Batches() const { return batches_; }
  std::span<const Vertex> Vertices() const { return {vertices_.get(), vertexCount_}; }
  std::span<const Vertex> VerticesOf(const Batch& batch) const {
    return {vertices_.get() + batch.first, batch.count};
  }

 private:
  void Grow();

  bool clear_ = false;
  std::vector<Batch> batches_;
  std::unique_ptr<Vertex[]> vertices_;
  uint32_t vertexCount_ = 0;
  uint32_t vertexCapacity_ = 0;
};

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
