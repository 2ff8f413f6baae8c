#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "app/cli_context.h"
#include "app/cli_load.h"
#include "show/beside_files.h"
#include "show/load_status.h"

namespace lumarex::cli {

namespace {

nlohmann::ordered_json FrameJson(const ShowStore& store, uint32_t n, bool withPoints) {
  const FrameStats s = store.FrameStatistics(n);
  nlohmann::ordered_json frame;
  frame["LastPointIndex"] = store.LastPointIndex[n];
  frame["dimension"] = s.Dimension();
  frame["paths"] = s.paths;
  frame["vectors"] = s.vectors;
  frame["visible"] = s.visible;
  frame["blanked"] = s.blanked;
  if (withPoints) {
    nlohmann::ordered_json points = nlohmann::ordered_json::array();
    for (const ShowPoint& p : store.Frame(n)) {
      points.push_back({p.X, p.Y, p.Z, p.R, p.G, p.B, p.Visible, p.ColourIndex});
    }
    frame["points"] = std::move(points);
  }
  return frame;
}

void PrintJson(CliContext& c, bool withPoints) {
  nlohmann::ordered_json out;
  out["IoStatus"] = c.Store().IoStatus;
  out["SourceFormatCode"] = c.Store().SourceFormatCode;
  out["FrameCount"] = c.Store().FrameCount;
  out["ShowFileSize"] = c.Store().ShowFileSize;
  out["IldaFormatsSeen"] = c.Readers().ilda.IldaFormatsSeen;
  nlohmann::ordered_json frames = nlohmann::ordered_json::array();
  for (uint32_t n = 0; n < c.Store().FrameCount; ++n)
    frames.push_back(FrameJson(c.Store(), n, withPoints));
  out["frames"] = std::move(frames);
  // Invalid UTF-8 (never produced here, but file names may carry it) must not abort output.
  std::cout << out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

// The load command's status lines as the main window draws them, one text line per row.
void PrintStatusLines(const std::vector<StatusText>& lines) {
  for (size_t i = 0; i < lines.size(); ++i) {
    std::cout << lines[i].text;
    if (i + 1 == lines.size() || lines[i + 1].y != lines[i].y) std::cout << '\n';
  }
}

// The status lines of one load or merge, printed while the store shows its outcome.
void PrintLoadStatus(CliContext& c, const LoadResult& load) {
  if (!load.merge) {
    PrintStatusLines(
        LoadStatusLines(c.Store(), c.Readers().ilda.IldaFormatsSeen, load, std::nullopt));
    return;
  }
  std::vector<StatusText> lines = MergeStatusLines(c.Store());
  std::erase_if(lines, [](const StatusText& t) {
    return t.text.find_first_not_of(' ') == std::string::npos;
  });
  PrintStatusLines(lines);
}

void PrintSummary(CliContext& c, bool withPoints) {
  const ShowStore& s = c.Store();
  const std::string& shown = s.ShowFileName;
  if (const auto music = FindMusicBeside(shown)) std::cout << "Music: " << *music << '\n';
  if (const auto parameters = FindShowParametersBeside(shown)) {
    std::cout << "Show parameters: " << *parameters << '\n';
  }
  uint64_t points = 0, visible = 0, paths = 0;
  uint32_t frames3D = 0;
  for (uint32_t n = 0; n < s.FrameCount; ++n) {
    const FrameStats f = s.FrameStatistics(n);
    points += f.vectors;
    visible += f.visible;
    paths += f.paths;
    frames3D += f.is3D ? 1 : 0;
  }
  std::cout << "Points: " << points << " (" << visible << " visible, " << points - visible
            << " blanked), paths: " << paths << ", 3D frames: " << frames3D << '\n';
  if (!withPoints) return;
  for (uint32_t n = 0; n < s.FrameCount; ++n) {
    const FrameStats f = s.FrameStatistics(n);
    std::cout << "Frame " << n << ": " << f.Dimension() << ", " << f.paths << " paths, "
              << f.vectors << " vectors, " << f.visible << " visible, " << f.blanked
              << " blanked\n";
    for (const ShowPoint& p : s.Frame(n)) {
      std::cout << "  " << p.X << ' ' << p.Y << ' ' << p.Z << "  " << int{p.R} << ' ' << int{p.G}
                << ' ' << int{p.B} << "  " << (p.Visible ? "lit" : "blanked") << ' '
                << int{p.ColourIndex} << '\n';
    }
  }
}

void AddInfoCommand(CLI::App& app, CliContext& context) {
  struct Options {
    std::string file;
    std::vector<std::string> merges;
    bool points = false;
    bool json = false;
    std::string palette;
  };
  auto options = std::make_shared<Options>();
  CLI::App* cmd =
      app.add_subcommand("info", "Load a show (and merge others onto it) and describe it");
  cmd->add_option("FILE", options->file, "Show file")->required();
  cmd->add_option("--merge", options->merges, "Show file merged onto the end, repeatable");
  cmd->add_flag("--points", options->points, "List every point of every frame");
  cmd->add_flag("--json", options->json, "Print one JSON object");
  cmd->add_option("--palette", options->palette,
                  "LDS/Phoenix palette (.pal) loaded before the show, for indexed Cat and Pic");
  cmd->callback([options, &context] {
    if (!LoadPalette(context, options->palette)) return;
    AfterLoad printStatus;
    if (!options->json)
      printStatus = [&context](const LoadResult& r) { PrintLoadStatus(context, r); };
    if (!LoadWithMerges(context, options->file, options->merges, printStatus)) return;
    if (options->json) {
      PrintJson(context, options->points);
    } else {
      PrintSummary(context, options->points);
    }
  });
}

const CommandRegistration kRegistration{10, AddInfoCommand};

}  // namespace

}  // namespace lumarex::cli
