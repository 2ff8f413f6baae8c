#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "app/cli_context.h"
#include "app/cli_load.h"
#include "app/cli_output.h"

namespace lumarex::cli {

namespace {

struct SaveOptions {
  std::string out;
  std::optional<int> rate;
  std::optional<int> previewMode;
  CalibrationOptions calibration;
};

struct ShowOptions {
  std::string file;
  bool showFile = false;
  bool protect = false;
  bool powerLock = false;
  bool json = false;
};

void Save(const SaveOptions& o, CliContext& context) {
  OutputRig rig(context, false);
  if (!rig.ApplyCalibration(o.calibration)) {
    context.exitCode = kExitUsage;
    return;
  }
  Tform1& form = rig.form;
  if (o.rate) form.Player.Irq_Speed.SetPosition(*o.rate);
  if (o.previewMode) form.OGL_Effekt.SetPosition(*o.previewMode);
  const std::optional<std::string> written = form.SaveProjectorFile(o.out);
  if (!written) {
    std::cerr << "lumarex-cli: cannot write " << o.out << ": " << form.Store.IoStatus << '\n';
    context.Failed();
    return;
  }
  std::cout << *written << '\n';
}

nlohmann::json Range(const RangeSlider& slider) {
  return {slider.Left(), slider.Right()};
}

void Show(const ShowOptions& o, CliContext& context) {
  Tform1& form = context.Window();
  if (o.protect) form.Parameter_Auf.Click();
  if (o.powerLock) form.Output.Schloss_Auf.Click();
  const size_t messagesBefore = context.desktop.messages.size();
  // A file that was not taken leaves the controls at the start-up's positions, which are
  // printed all the same; the exit code tells.
  const bool applied = o.showFile ? form.Parameters.LoadShowParameterFile(o.file)
                                  : form.LoadProjectorFile(o.file) == ProjectorLoad::kApplied;
  if (!applied) context.Failed();
  const LaserAusgabe& out = form.Output;
  const nlohmann::ordered_json controls = {
      {"Scanspeed", out.Scanspeed.Position()},
      {"FrameChangeMode", out.FrameChangeMode},
      {"Farbverschiebung", out.Farbverschiebung.Position()},
      {"Extrapoints", out.Extrapoints.Position()},
      {"Orientation", out.Scanner_Invers.Position()},
      {"Achse_X", Range(out.Achse_X)},
      {"Achse_Y", Range(out.Achse_Y)},
      {"Rot_to_Laser", Range(out.Rot_to_Laser)},
      {"Gruen_to_Laser", Range(out.Gruen_to_Laser)},
      {"Blau_to_Laser", Range(out.Blau_to_Laser)},
      {"Dimmen_RGB", out.Dimmen_RGB.Position()},
      {"Irq_Speed", form.Player.Irq_Speed.Position()},
      {"OGL_Effekt", form.OGL_Effekt.Position()},
  };
  if (o.json) {
    nlohmann::ordered_json json;
    json["messages"] = nlohmann::json(std::vector<std::string>(
        context.desktop.messages.begin() + static_cast<long>(messagesBefore),
        context.desktop.messages.end()));
    for (const auto& [key, value] : controls.items()) json[key] = value;
    std::cout << json.dump() << '\n';
    return;
  }
  std::cout << "Framewechsel: " << out.Framewechsel.Caption() << '\n';
  for (const auto& [key, value] : controls.items())
    std::cout << key << ": " << value.dump() << '\n';
}

void AddParamsCommand(CLI::App& app, CliContext& context) {
  CLI::App* params =
      app.add_subcommand("params", "Write and read projector parameter files (.PRO, .SHW)");
  params->require_subcommand(1);

  auto save = std::make_shared<SaveOptions>();
  CLI::App* saveCmd = params->add_subcommand(
      "save", "Save the start-up calibration, moved by the options, as a projector file");
  saveCmd->add_option("OUT", save->out, "File name (.PRO is appended unless it ends so)")
      ->required();
  saveCmd->add_option("--rate", save->rate, "Output rate, 1..50")->check(CLI::Range(1, 50));
  saveCmd->add_option("--preview-mode", save->previewMode, "Preview mode, 0..3")
      ->check(CLI::Range(0, 3));
  AddCalibrationOptions(*saveCmd, save->calibration, false);
  saveCmd->callback([save, &context] { Save(*save, context); });

  auto show = std::make_shared<ShowOptions>();
  CLI::App* showCmd = params->add_subcommand(
      "show", "Load a projector file onto the start-up controls and print where they stand");
  showCmd->add_option("FILE", show->file, "Projector (.PRO) or show (.SHW) parameter file")
      ->required();
  showCmd->add_flag("--show-file", show->showFile,
                    "Load it as a show's parameter file (the overwrite protection applies)");
  showCmd->add_flag("--protect", show->protect, "Overwrite protection on");
  showCmd->add_flag("--power-lock", show->powerLock, "Power locked");
  showCmd->add_flag("--json", show->json, "Print the message texts and positions as JSON");
  showCmd->callback([show, &context] { Show(*show, context); });
}

const CommandRegistration kRegistration{65, AddParamsCommand};

}  // namespace

}  // namespace lumarex::cli
