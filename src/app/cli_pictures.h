#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "gl/headless_context.h"
#include "preview/draw_list.h"

namespace lumarex::cli {

// The batches of a draw list as the commands print them: primitive, line width, blending,
// shading and every vertex as [x, y, r, g, b, a].
nlohmann::json BatchesJson(const DrawList& list);

// One line a batch, for reading on a terminal.
void PrintBatchSummary(const DrawList& list);

// Draws `list` in `view` on a headless OpenGL context of size x size pixels through the
// same replay the windows use and writes it as PNG. False (reason on stderr) when there is
// no OpenGL or the file cannot be written.
bool RenderPng(const DrawList& list, const OrthoView& view, int size, const std::string& path);

}  // namespace lumarex::cli
