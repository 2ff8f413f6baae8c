// projection check FILE: validates a projection file and tells what it holds.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "app/cli_context.h"
#include "projection/projection_file.h"

namespace lumarex::cli {

namespace {

std::string PointText(FieldPoint p) {
  char text[48];
  std::snprintf(text, sizeof text, "(%g, %g)", p.x, p.y);
  return text;
}

void CheckProjection(CliContext& context, const std::string& path) {
  const ProjectionRead read = ReadProjectionFile(path);
  if (!read.ok) {
    std::cerr << "lumarex-cli: " << path << ": " << read.error << '\n';
    context.Failed();
    return;
  }
  const Projection& p = read.projection;
  std::cout << "Corners:";
  for (const FieldPoint& c : p.corners) std::cout << ' ' << PointText(c);
  std::cout << '\n';
  if (p.grid) std::cout << "Warp grid: " << p.grid->cols << " x " << p.grid->rows << '\n';
  for (size_t m = 0; m < p.masks.size(); ++m) {
    const ProjectionMask& mask = p.masks[m];
    std::cout << "Mask " << m + 1 << ": " << mask.polygon.size() << " vertices, ";
    if (mask.limit) {
      std::cout << "limit " << *mask.limit << " %";
    } else {
      std::cout << "blank";
    }
    std::cout << ':';
    for (const FieldPoint& v : mask.polygon) std::cout << ' ' << PointText(v);
    std::cout << '\n';
  }
  if (p.safeArea) {
    std::cout << "Safe area: " << PointText({p.safeArea->x0, p.safeArea->y0}) << " to "
              << PointText({p.safeArea->x1, p.safeArea->y1}) << '\n';
  }
}

void AddProjectionCommand(CLI::App& app, CliContext& context) {
  CLI::App* projection =
      app.add_subcommand("projection", "Projection files (corners, warp, masks, safe area)");
  projection->require_subcommand(1);
  auto path = std::make_shared<std::string>();
  CLI::App* check = projection->add_subcommand(
      "check", "Validate a projection file and print its corners and masks");
  check->add_option("FILE", *path, "The *.projection.json file")->required();
  check->callback([path, &context] { CheckProjection(context, *path); });
}

const CommandRegistration kRegistration{75, AddProjectionCommand};

}  // namespace

}  // namespace lumarex::cli
