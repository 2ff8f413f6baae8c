#pragma once

#include <string>

#include "projection/projection.h"

namespace lumarex {

// A projection file (*.projection.json):
//   {"corners": [[x, y] x 4], "grid": {"cols": c, "rows": r, "offsets": [[dx, dy], ...]},
//    "masks": [{"polygon": [[x, y], ...], "limit": null | percent}], "safeArea": [x0, y0, x1, y1]}
// every field optional, positions in DAC units (0..65535).
struct ProjectionRead {
  bool ok = false;
  std::string error;  // names the field at fault: "masks[1].polygon: at least three vertices"
  Projection projection;
};

ProjectionRead ParseProjection(const std::string& text);
ProjectionRead ReadProjectionFile(const std::string& path);
std::string ProjectionJson(const Projection& projection);
// Written whole or not at all; false when it could not be.
bool WriteProjectionFile(const std::string& path, const Projection& projection);

}  // namespace lumarex
