#include "app/cli_analyse.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "analysis/load_plot.h"
#include "app/cli_context.h"
#include "app/cli_load.h"
#include "gl/png_file.h"

namespace lumarex::cli {

ShowAnalysis AnalyseShow(OutputRig& rig, const ScannerRating& rating) {
  const ShowStore& store = rig.form.Store;
  ShowAnalysis show;
  show.kpps = rating.kpps;
  show.frames.reserve(store.FrameCount);
  for (uint32_t n = 0; n < store.FrameCount; ++n) {
    rig.output.OutputFrame(static_cast<uint16_t>(n));
    FrameAnalysis frame = AnalyseFrame(rig.output.LastDacPoints(),
                                       static_cast<uint32_t>(rig.output.LastWriteRate()), rating);
    frame.frame = n;
    AddToShow(show, frame);
  }
  return show;
}

namespace {

std::string Fixed(double value, int decimals) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// The frames over the rating as "3 7-9 12".
std::string OverRatedList(const ShowAnalysis& show) {
  std::string list;
  const auto& frames = show.frames;
  for (size_t k = 0; k < frames.size(); ++k) {
    if (!frames[k].overRated) continue;
    size_t end = k;
    while (end + 1 < frames.size() && frames[end + 1].overRated) ++end;
    list += (list.empty() ? "" : " ") + std::to_string(frames[k].frame);
    if (end > k) list += "-" + std::to_string(frames[end].frame);
    k = end;
  }
  return list;
}

}  // namespace

void PrintShowTotals(std::ostream& out, const char* title, const ShowAnalysis& show) {
  out << title << "lit " << Fixed(show.litLength, 2) << ", blanked " << Fixed(show.blankLength, 2)
      << " field widths, " << show.blanks << " blanked moves, scan time "
      << Fixed(show.scanTimeMs, 1) << " ms, " << show.overRatedFrames
      << (show.overRatedFrames == 1 ? " frame" : " frames") << " over the rating at "
      << Fixed(show.kpps, 0) << " kpps\n";
}

namespace {

struct AnalyseOptions {
  std::string file;
  double kpps = 30.0;
  bool json = false;
  std::optional<std::string> plot;
  CalibrationOptions calibration;
};

nlohmann::ordered_json FrameJson(const FrameAnalysis& f) {
  return {{"frame", f.frame},
          {"points", f.points},
          {"litLength", f.litLength},
          {"blankLength", f.blankLength},
          {"blanks", f.blanks},
          {"dwellPoints", f.dwellPoints},
          {"scanTimeMs", f.scanTimeMs},
          {"refreshHz", f.refreshHz},
          {"peakVelocity", f.peakVelocity},
          {"peakAcceleration", f.peakAcceleration},
          {"trackingError", f.trackingError},
          {"scannerLoad", f.scannerLoad},
          {"overRated", f.overRated}};
}

// Written a frame at a time, the same text as one dump of the whole object: a show of 65535
// frames does not build a tree of a million nodes first.
void PrintJson(const ShowAnalysis& show, int32_t pointRate) {
  std::string text = "{\"kpps\":" + nlohmann::ordered_json(show.kpps).dump() + ",\"frames\":[";
  nlohmann::ordered_json overRated = nlohmann::ordered_json::array();
  for (const FrameAnalysis& f : show.frames) {
    if (&f != show.frames.data()) text += ',';
    text += FrameJson(f).dump();
    if (f.overRated) overRated.push_back(f.frame);
  }
  const nlohmann::ordered_json totals = {{"frames", show.frames.size()},
                                         {"pointRate", pointRate},
                                         {"points", show.points},
                                         {"litLength", show.litLength},
                                         {"blankLength", show.blankLength},
                                         {"blanks", show.blanks},
                                         {"dwellPoints", show.dwellPoints},
                                         {"scanTimeMs", show.scanTimeMs},
                                         {"peakVelocity", show.peakVelocity},
                                         {"peakAcceleration", show.peakAcceleration},
                                         {"trackingError", show.worstTrackingError},
                                         {"scannerLoad", show.worstScannerLoad},
                                         {"worstFrame", show.worstFrame},
                                         {"overRatedFrames", show.overRatedFrames},
                                         {"overRated", overRated}};
  text += "],\"show\":" + totals.dump() + "}\n";
  std::cout << text;
}

void PrintTable(const ShowAnalysis& show, int32_t pointRate) {
  std::printf("%6s %6s %8s %8s %6s %6s %8s %8s %8s %9s %8s %8s\n", "frame", "points", "lit",
              "blanked", "blanks", "dwell", "scan ms", "refresh", "v peak", "a peak", "error",
              "load %");
  for (const FrameAnalysis& f : show.frames) {
    std::printf("%6u %6u %8.3f %8.3f %6u %6u %8.3f %8.1f %8.3f %9.2f %8.4f %7.1f%s\n", f.frame,
                f.points, f.litLength, f.blankLength, f.blanks, f.dwellPoints, f.scanTimeMs,
                f.refreshHz, f.peakVelocity, f.peakAcceleration, f.trackingError, f.scannerLoad,
                f.overRated ? "!" : "");
  }
  std::fflush(stdout);
  PrintShowTotals(std::cout, "Show: ", show);
  std::cout << show.frames.size() << (show.frames.size() == 1 ? " frame" : " frames") << " at "
            << pointRate << " points per second for scanners of " << Fixed(show.kpps, 1) << " kpps";
  if (show.frames.empty()) {
    std::cout << '\n';
    return;
  }
  std::cout << ": worst load " << Fixed(show.worstScannerLoad, 1) << " % in frame "
            << show.worstFrame << "; ";
  if (show.overRatedFrames == 0) {
    std::cout << "no frame over the rating\n";
  } else {
    std::cout << show.overRatedFrames << (show.overRatedFrames == 1 ? " frame" : " frames")
              << " over the rating: " << OverRatedList(show) << '\n';
  }
}

void Analyse(const AnalyseOptions& o, CliContext& context) {
  if (!LoadWithMerges(context, o.file, {})) return;
  if (context.loadFailed) {
    std::cerr << "lumarex-cli: " << o.file << ": " << context.Store().IoStatus << '\n';
  }
  OutputRig rig(context, false);
  if (!rig.ApplyCalibration(o.calibration)) {
    context.exitCode = kExitUsage;
    return;
  }
  ScannerRating rating;
  rating.kpps = o.kpps;
  const ShowAnalysis show = AnalyseShow(rig, rating);
  const int32_t pointRate = rig.output.Scanspeed.Position() * 1000;
  if (o.json) {
    PrintJson(show, pointRate);
  } else {
    PrintTable(show, pointRate);
  }
  if (o.plot) {
    std::string error;
    if (!WritePng(*o.plot, DrawLoadPlot(show), error)) {
      std::cerr << "lumarex-cli: " << error << '\n';
      context.Failed();
    }
  }
}

void AddAnalyseCommand(CLI::App& app, CliContext& context) {
  auto o = std::make_shared<AnalyseOptions>();
  CLI::App* cmd = app.add_subcommand(
      "analyse",
      "Measure every frame of a show as the output sends it: lengths, blanked moves, scan time, "
      "peaks and the scanner load against a rating");
  cmd->add_option("SHOW", o->file, "Show file")->required();
  cmd->add_option("--kpps", o->kpps,
                  "Scanner rating in K points per second at the ILDA test angle (default 30)")
      ->check(CLI::Range(1.0, 200.0));
  cmd->add_flag("--json", o->json, "Print the figures as one JSON object");
  cmd->add_option("--plot", o->plot,
                  "Write a PNG of the scanner load and scan time of every frame");
  AddCalibrationOptions(*cmd, o->calibration);
  cmd->callback([o, &context] { Analyse(*o, context); });
}

const CommandRegistration kRegistration{57, AddAnalyseCommand};

}  // namespace

}  // namespace lumarex::cli
