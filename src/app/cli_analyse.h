#pragma once

#include <ostream>

#include "analysis/show_analysis.h"
#include "app/cli_output.h"

namespace lumarex::cli {

// Every frame of the loaded show sent once through the rig's output calibration and
// projection, to no device, as send and play would send it, and measured on the DacPoint list
// of that write for scanners of `rating`.
ShowAnalysis AnalyseShow(OutputRig& rig, const ScannerRating& rating);

// One line of show totals: lit and blanked length, blanked moves, scan time and the frames
// over the rating.
void PrintShowTotals(std::ostream& out, const char* title, const ShowAnalysis& show);

}  // namespace lumarex::cli
