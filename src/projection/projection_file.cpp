#include "projection/projection_file.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/atomic_file.h"
#include "projection/homography.h"

namespace lumarex {

namespace {

using nlohmann::json;

// A reading that fails at the first field at fault, with its path.
struct Fault {
  std::string text;
};

double Number(const json& value, const std::string& field, double low, double high) {
  if (!value.is_number()) throw Fault{field + ": a number"};
  const double v = value.get<double>();
  if (!(v >= low && v <= high)) {
    throw Fault{field + ": " + std::to_string(static_cast<long long>(low)) + ".." +
                std::to_string(static_cast<long long>(high))};
  }
  return v;
}

FieldPoint Point(const json& value, const std::string& field, double low, double high) {
  if (!value.is_array() || value.size() != 2) throw Fault{field + ": [x, y]"};
  return {Number(value[0], field + "[0]", low, high), Number(value[1], field + "[1]", low, high)};
}

constexpr double kMax = Projection::kFieldMax;

Projection FromJson(const json& doc) {
  if (!doc.is_object()) throw Fault{"the file: a JSON object"};
  Projection p;
  for (const auto& [key, value] : doc.items()) {
    if (key != "corners" && key != "grid" && key != "masks" && key != "safeArea") {
      throw Fault{key + ": not a field of a projection"};
    }
  }
  if (doc.contains("corners")) {
    const json& corners = doc["corners"];
    if (!corners.is_array() || corners.size() != 4) throw Fault{"corners: four [x, y]"};
    for (size_t k = 0; k < 4; ++k) {
      p.corners[k] = Point(corners[k], "corners[" + std::to_string(k) + "]", 0, kMax);
    }
    if (!Homography::FromCorners(p.corners)) {
      throw Fault{
          "corners: not a convex quadrilateral in the order top left, top right, "
          "bottom right, bottom left"};
    }
  }
  if (doc.contains("grid")) {
    const json& g = doc["grid"];
    if (!g.is_object()) throw Fault{"grid: an object"};
    WarpGrid grid;
    grid.cols = static_cast<uint32_t>(Number(g.value("cols", json(2)), "grid.cols", 2, 9));
    grid.rows = static_cast<uint32_t>(Number(g.value("rows", json(2)), "grid.rows", 2, 9));
    if (g.value("cols", json(2)).get<double>() != grid.cols ||
        g.value("rows", json(2)).get<double>() != grid.rows) {
      throw Fault{"grid: cols and rows are whole numbers"};
    }
    const json offsets = g.value("offsets", json::array());
    if (!offsets.is_array() || offsets.size() != size_t{grid.cols} * grid.rows) {
      throw Fault{"grid.offsets: cols x rows = " + std::to_string(grid.cols * grid.rows) +
                  " [dx, dy]"};
    }
    for (size_t k = 0; k < offsets.size(); ++k) {
      grid.offsets.push_back(
          Point(offsets[k], "grid.offsets[" + std::to_string(k) + "]", -kMax, kMax));
    }
    p.grid = std::move(grid);
  }
  if (doc.contains("masks")) {
    const json& masks = doc["masks"];
    if (!masks.is_array()) throw Fault{"masks: a list"};
    for (size_t m = 0; m < masks.size(); ++m) {
      const std::string name = "masks[" + std::to_string(m) + "]";
      const json& mask = masks[m];
      if (!mask.is_object() || !mask.contains("polygon"))
        throw Fault{name + ": {\"polygon\": ...}"};
      const json& polygon = mask["polygon"];
      if (!polygon.is_array() || polygon.size() < 3 || polygon.size() > 64) {
        throw Fault{name + ".polygon: 3 to 64 vertices"};
      }
      ProjectionMask out;
      for (size_t k = 0; k < polygon.size(); ++k) {
        out.polygon.push_back(
            Point(polygon[k], name + ".polygon[" + std::to_string(k) + "]", 0, kMax));
      }
      if (mask.contains("limit") && !mask["limit"].is_null()) {
        out.limit = Number(mask["limit"], name + ".limit", 0, 100);
      }
      p.masks.push_back(std::move(out));
    }
    if (p.masks.size() > 32) throw Fault{"masks: at most 32"};
  }
  if (doc.contains("safeArea")) {
    const json& s = doc["safeArea"];
    if (!s.is_array() || s.size() != 4) throw Fault{"safeArea: [x0, y0, x1, y1]"};
    SafeArea area{Number(s[0], "safeArea[0]", 0, kMax), Number(s[1], "safeArea[1]", 0, kMax),
                  Number(s[2], "safeArea[2]", 0, kMax), Number(s[3], "safeArea[3]", 0, kMax)};
    if (area.x0 >= area.x1 || area.y0 >= area.y1) throw Fault{"safeArea: x0 < x1 and y0 < y1"};
    p.safeArea = area;
  }
  return p;
}

json PointJson(FieldPoint p) {
  return json::array({p.x, p.y});
}

}  // namespace

ProjectionRead ParseProjection(const std::string& text) {
  ProjectionRead read;
  const json doc = json::parse(text, nullptr, false);
  if (doc.is_discarded()) {
    read.error = "the file: not JSON";
    return read;
  }
  try {
    read.projection = FromJson(doc);
    read.ok = true;
  } catch (const Fault& fault) {
    read.error = fault.text;
  }
  return read;
}

ProjectionRead ReadProjectionFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ProjectionRead read;
    read.error = "cannot open " + path;
    return read;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseProjection(text.str());
}

std::string ProjectionJson(const Projection& p) {
  json doc = json::object();
  json corners = json::array();
  for (const FieldPoint& c : p.corners) corners.push_back(PointJson(c));
  doc["corners"] = corners;
  if (p.grid) {
    json offsets = json::array();
    for (const FieldPoint& o : p.grid->offsets) offsets.push_back(PointJson(o));
    doc["grid"] = {{"cols", p.grid->cols}, {"rows", p.grid->rows}, {"offsets", offsets}};
  }
  json masks = json::array();
  for (const ProjectionMask& m : p.masks) {
    json polygon = json::array();
    for (const FieldPoint& v : m.polygon) polygon.push_back(PointJson(v));
    masks.push_back({{"polygon", polygon}, {"limit", m.limit ? json(*m.limit) : json(nullptr)}});
  }
  doc["masks"] = masks;
  if (p.safeArea) {
    doc["safeArea"] = {p.safeArea->x0, p.safeArea->y0, p.safeArea->x1, p.safeArea->y1};
  }
  return doc.dump(2) + "\n";
}

bool WriteProjectionFile(const std::string& path, const Projection& projection) {
  const std::string text = ProjectionJson(projection);
  AtomicFile file;
  return file.Open(path) && file.Write(text.data(), text.size()) && file.Commit();
}

}  // namespace lumarex
