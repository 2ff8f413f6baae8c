#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "app/cli_context.h"
#include "app/cli_load.h"
#include "app/cli_output.h"
#include "app/cli_pictures.h"
#include "preview/frame_picture.h"
#include "preview/output_picture.h"
#include "preview/simulated_output_picture.h"

namespace lumarex::cli {

namespace {

struct PreviewOptions {
  std::string file;
  std::string palette;
  int frame = 0;
  int mode = 0;
  bool json = false;
  std::optional<std::string> png;
  int size = 680;
  bool outputView = false;
  std::optional<double> scannerKpps;  // the output view as scanners of this rating draw it
  CalibrationOptions calibration;
};

// The output view: frame n sent once through the calibration, to no device, and the
// DacPoint list of that write drawn, or the beam path the scanner model makes of it.
bool BuildOutputView(const PreviewOptions& o, CliContext& context, DrawList& list,
                     OutputPictureCounts& counts) {
  OutputRig rig(context, false);
  if (!rig.ApplyCalibration(o.calibration)) return false;
  rig.output.OutputFrame(static_cast<uint16_t>(o.frame));
  const LaserAusgabe& out = rig.output;
  const OutputWindow window = OutputWindowOf(out.ScaleX, out.OffsetX, out.ScaleY, out.OffsetY);
  if (o.scannerKpps) {
    ScannerRating rating;
    rating.kpps = *o.scannerKpps;
    SimulatedOutputPicture simulated;
    counts = simulated.Build(out.LastDacPoints(), static_cast<uint32_t>(out.LastWriteRate()),
                             rating, window, list, &out.OutputProjection);
  } else {
    counts = BuildOutputPicture(out.LastDacPoints(), window, list, &out.OutputProjection);
  }
  return true;
}

void Preview(const PreviewOptions& o, CliContext& context) {
  if (!LoadPalette(context, o.palette)) return;
  if (!LoadWithMerges(context, o.file, {})) return;
  const ShowStore& store = context.Store();
  // Frame 0 of an empty show is a fair question (the picture is then nothing at all).
  if (o.frame < 0 || (o.frame >= store.FrameCount && o.frame != 0)) {
    std::cerr << "lumarex-cli: frame " << o.frame << " is not in the show (" << store.FrameCount
              << " frames; " << store.IoStatus << ")\n";
    // After a failed load the frame is missing because the show is: that is the failure.
    if (!context.loadFailed) context.exitCode = kExitUsage;
    return;
  }
  const auto n = static_cast<uint16_t>(o.frame);
  const auto mode = static_cast<uint8_t>(o.mode);

  DrawList list;
  bool drawn = true;
  OutputPictureCounts counts;
  if (o.outputView) {
    if (!BuildOutputView(o, context, list, counts)) {
      context.exitCode = kExitUsage;
      return;
    }
  } else {
    drawn = BuildPreviewPicture(store, n, mode, list);
  }

  if (o.png && !RenderPng(list, kPreviewView, o.size, *o.png)) {
    context.Failed();
    return;
  }
  if (o.json) {
    nlohmann::json out = {{"frame", o.frame}, {"mode", o.mode}};
    if (o.outputView) {
      out["view"] = "output";
      if (o.scannerKpps) out["scanner"] = *o.scannerKpps;
      out["litSegments"] = counts.litSegments;
      out["blankedMoves"] = counts.blankedMoves;
      out["dwellPoints"] = counts.dwellPoints;
    } else {
      out["label"] = std::string(PreviewModeLabel(mode));
    }
    out["drawn"] = drawn;
    out["batches"] = BatchesJson(list);
    std::cout << out.dump() << '\n';
    return;
  }
  if (o.outputView) {
    if (o.scannerKpps) {
      std::cout << "Output of frame " << o.frame << " through scanners of " << *o.scannerKpps
                << " kpps: " << counts.litSegments << " lit steps, " << counts.blankedMoves
                << " blanked moves, " << counts.dwellPoints << " dwell places\n";
    } else {
      std::cout << "Output of frame " << o.frame << ": " << counts.litSegments << " lit vectors, "
                << counts.blankedMoves << " blanked moves, " << counts.dwellPoints
                << " dwell places\n";
    }
  } else if (!drawn) {
    std::cout << "Nothing to draw: the show is empty\n";
  } else {
    std::cout << "Frame " << o.frame << " in mode " << o.mode << " \"" << PreviewModeLabel(mode)
              << "\"\n";
  }
  PrintBatchSummary(list);
}

void AddPreviewCommand(CLI::App& app, CliContext& context) {
  auto o = std::make_shared<PreviewOptions>();
  CLI::App* cmd = app.add_subcommand("preview", "Draw one frame of a show as the preview does");
  cmd->add_option("SHOW", o->file, "Show file")->required();
  cmd->add_option("--frame", o->frame, "Frame number")->required();
  cmd->add_option("--mode", o->mode, "Drawing mode 0..4")->check(CLI::Range(0, 4));
  cmd->add_flag("--json", o->json, "Print the draw list as one JSON object");
  cmd->add_option("--png", o->png, "Write the picture as PNG, rendered with OpenGL");
  cmd->add_option("--size", o->size, "Side of the PNG in pixels (default 680)")
      ->check(CLI::Range(16, 8192));
  CLI::Option* outputView =
      cmd->add_flag("--output-view", o->outputView,
                    "Draw what the laser draws: the frame through the output calibration");
  cmd->add_option("--scanner", o->scannerKpps,
                  "With --output-view: draw the beam path of scanners rated at KPPS thousand "
                  "points a second (at the ILDA test angle)")
      ->type_name("KPPS")
      ->check(CLI::Range(1.0, 200.0))
      ->needs(outputView);
  cmd->add_option("--palette", o->palette, "Palette (.pal) loaded before the show");
  AddCalibrationOptions(*cmd, o->calibration);
  cmd->callback([o, &context] { Preview(*o, context); });
}

const CommandRegistration kRegistration{56, AddPreviewCommand};

}  // namespace

}  // namespace lumarex::cli
