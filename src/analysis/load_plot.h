#pragma once

#include "analysis/show_analysis.h"
#include "platform/rgba_image.h"

namespace lumarex {

// The scanner load of every frame of a show as a picture, drawn in software (no OpenGL, the
// same pixels on every machine): load per frame as bars against the left axis (percent), the
// 100 % line dashed, the frames over the rating in red with a mark above the plot, and the
// scan time per frame as a line against the right axis (ms); frame numbers along the bottom.
// Where there are more frames than columns, a column shows its highest load and scan time.
RgbaImage DrawLoadPlot(const ShowAnalysis& show, int width = 800, int height = 400);

}  // namespace lumarex
