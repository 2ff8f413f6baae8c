#include "app/cli_pictures.h"

#include <iostream>

#include "gl/gl_replay.h"
#include "gl/png_file.h"

namespace lumarex::cli {

nlohmann::json BatchesJson(const DrawList& list) {
  nlohmann::json batches = nlohmann::json::array();
  for (const Batch& batch : list.Batches()) {
    nlohmann::json vertices = nlohmann::json::array();
    for (const Vertex& v : list.VerticesOf(batch)) {
      vertices.push_back({v.x, v.y, v.r, v.g, v.b, v.a});
    }
    batches.push_back({{"primitive", PrimitiveName(batch.primitive)},
                       {"lineWidth", batch.lineWidth},
                       {"blend", batch.blend},
                       {"smooth", batch.smooth},
                       {"vertices", std::move(vertices)}});
  }
  return batches;
}

void PrintBatchSummary(const DrawList& list) {
  for (const Batch& batch : list.Batches()) {
    std::cout << "  " << PrimitiveName(batch.primitive) << ": " << batch.count
              << " vertices, width " << batch.lineWidth << (batch.blend ? ", additive" : "")
              << (batch.smooth ? ", smooth" : "") << '\n';
  }
}

bool RenderPng(const DrawList& list, const OrthoView& view, int size, const std::string& path) {
  HeadlessContext context(size, size);
  if (!context.Ready()) {
    std::cerr << "lumarex-cli: no OpenGL for the picture: " << context.Error() << '\n';
    return false;
  }
  ApplyView(view, size, size);
  ReplayDrawList(list);
  std::string error;
  if (!WritePng(path, context.ReadPixels(), error)) {
    std::cerr << "lumarex-cli: " << error << '\n';
    return false;
  }
  return true;
}

}  // namespace lumarex::cli
