#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "analysis/show_analysis.h"
#include "app/cli_analyse.h"
#include "app/cli_context.h"
#include "app/cli_load.h"
#include "app/cli_output.h"
#include "optimiser/optimiser_session.h"
#include "optimiser/show_measure.h"

namespace lumarex::cli {

namespace {

struct OptimiseOptions {
  std::string in;
  std::string out;
  std::string osa;
  std::optional<int32_t> seekStart;
  std::optional<int32_t> blankStart;
  std::optional<int32_t> seekEnd;
  std::optional<int32_t> blankEnd;
  std::optional<int32_t> interpolationBlank;
  std::optional<int32_t> interpolationSeek;
  std::optional<int32_t> minPoints;
  std::optional<int32_t> search;
};

std::string Metres(long double metres) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2Lf", metres);
  return text;
}

void PrintMeasure(const char* title, const FrameMeasure& m) {
  std::cout << title << "lit " << Metres(m.LitLength()) << " m, blanked "
            << Metres(m.BlankedLength()) << " m, " << m.litPoints << " lit points, "
            << m.blankedPoints << " blanked points\n";
}

void PrintPositions(const OptimiserControls& c) {
  std::cout << "Parameters: seek-start " << c.Seek_Start.Position() << ", blank-start "
            << c.Blank_Start.Position() << ", seek-end " << c.Seek_End.Position() << ", blank-end "
            << c.Blank_End.Position() << ", interpolation-blank "
            << c.Interpolation_Geblankt.Position() << ", interpolation-seek "
            << c.Interpolation_Seek.Position() << ", min-points " << c.Min_Points.Position()
            << ", search " << c.Suchraster.Position() << '\n';
}

void RunOptimise(CliContext& context, const OptimiseOptions& o) {
  if (!LoadWithMerges(context, o.in, {})) return;
  ShowStore& store = context.Store();
  std::cout << "Loaded " << store.FrameCount << " frames: " << store.IoStatus << '\n';
  // As convert: a show read only in part is not written over OUT.
  if (context.loadFailed) return;
  // What the scanners make of the show, before and after: sent through the calibration as
  // play would send it, against a 30 kpps pair.
  OutputRig rig(context, false);
  const ScannerRating rating;
  const ShowAnalysis scannedBefore = AnalyseShow(rig, rating);

  uint16_t currentFrame = 0;
  auto session = std::make_unique<OptimiserSession>(store, context.desktop, currentFrame);
  session->Open();
  OptimiserControls& controls = session->Controls;
  if (!o.osa.empty() && !controls.LoadParameterSet(o.osa)) {
    std::cerr << "lumarex-cli: could not load the optimisation set " << o.osa << '\n';
    context.Failed();
    return;
  }
  // Options after the set override it, each clamped to its control's range as in the window.
  const auto apply = [](TrackBar& bar, const std::optional<int32_t>& position) {
    if (position) bar.SetPosition(*position);
  };
  apply(controls.Seek_Start, o.seekStart);
  apply(controls.Blank_Start, o.blankStart);
  apply(controls.Seek_End, o.seekEnd);
  apply(controls.Blank_End, o.blankEnd);
  apply(controls.Interpolation_Geblankt, o.interpolationBlank);
  apply(controls.Interpolation_Seek, o.interpolationSeek);
  apply(controls.Min_Points, o.minPoints);
  apply(controls.Suchraster, o.search);
  PrintPositions(controls);

  const FrameMeasure before = MeasureShow(store);
  // The whole show, from frame 0.
  session->Bildposition.SetPosition(0);
  const WholeFileRun run = session->RunWholeFile(true);
  const FrameMeasure after = MeasureShow(store);
  const ShowAnalysis scannedAfter = AnalyseShow(rig, rating);
  PrintMeasure("Before: ", before);
  PrintMeasure("After:  ", after);
  std::cout << "Frames optimised: " << run.framesStored << " of " << store.FrameCount << " ("
            << run.framesInOwnOrder << " in their own path order, which travels less)\n";
  if (!run.leftUnchanged.empty()) {
    std::cout << "Left unchanged (more than 4048 paths or 65536 points):";
    for (uint32_t f : run.leftUnchanged) std::cout << ' ' << f;
    std::cout << '\n';
  }

  if (!SaveShowFile(store, o.out, store.SaveRangeStart, store.SaveRangeEnd, context.desktop)) {
    std::cerr << "lumarex-cli: no writer for the file type of " << o.out << '\n';
    context.exitCode = kExitUsage;
    return;
  }
  if (!WriteSucceeded(store.IoStatus)) context.Failed();
  std::cout << "Saved: " << store.IoStatus << '\n';
  PrintShowTotals(std::cout, "Scanned before: ", scannedBefore);
  PrintShowTotals(std::cout, "Scanned after:  ", scannedAfter);
}

void AddOptimiseCommand(CLI::App& app, CliContext& context) {
  auto o = std::make_shared<OptimiseOptions>();
  CLI::App* cmd = app.add_subcommand(
      "optimise", "Optimise the scan paths of every frame of a show and write it to OUT");
  cmd->add_option("IN", o->in, "Show file to read")->required();
  cmd->add_option("OUT", o->out, "Show file to write (its extension selects the writer)")
      ->required();
  cmd->add_option("--osa", o->osa, "Optimisation set loaded first; later options override it");
  cmd->add_option("--seek-start", o->seekStart, "Seek_Start position 0..10 (lit start dwell 10-P)");
  cmd->add_option("--blank-start", o->blankStart,
                  "Blank_Start position 0..10 (blanked dwell after a path 10-P)");
  cmd->add_option("--seek-end", o->seekEnd, "Seek_End position 0..10 (lit end dwell P)");
  cmd->add_option("--blank-end", o->blankEnd,
                  "Blank_End position 0..10 (blanked dwell before a path P)");
  cmd->add_option("--interpolation-blank", o->interpolationBlank,
                  "Interpolation_Geblankt position 6..32 (blank step P x 128)");
  cmd->add_option("--interpolation-seek", o->interpolationSeek,
                  "Interpolation_Seek position 6..34 (lit step P x 128; 34 leaves lit segments)");
  cmd->add_option("--min-points", o->minPoints,
                  "Min_Points position 0..5 (0, 1, 25, 50, 100, 200 points)");
  cmd->add_option("--search", o->search,
                  "Suchraster position 0..3 (0/2 from the frame start, 1/3 from the centre; "
                  "2/3 with centre moves)");
  cmd->callback([o, &context] { RunOptimise(context, *o); });
}

const CommandRegistration kRegistration{40, AddOptimiseCommand};

}  // namespace

}  // namespace lumarex::cli
