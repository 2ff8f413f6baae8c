#include <CLI/CLI.hpp>
#include <iostream>

#include "app/cli_context.h"
#include "app/cli_load.h"
#include "show/beside_files.h"
#include "show/demo_music.h"
#include "show/demo_show.h"
#include "show/file_names.h"
#include "show/ilda.h"

namespace lumarex::cli {

namespace {

void AddDemoCommand(CLI::App& app, CliContext& context) {
  auto out = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand(
      "demo", "Write Lumarex's built-in demo show as an ILDA file, with its music beside it");
  cmd->add_option("OUT", *out, "ILDA file to write; its music goes beside it as .wav")->required();
  cmd->callback([out, &context] {
    BuildDemoShow(context.Store());
    WriteIlda(context.Store(), *out, 0, context.Store().FrameCount - 1, context.desktop);
    std::cout << context.Store().IoStatus << '\n';
    if (!WriteSucceeded(context.Store().IoStatus)) context.Failed();
    // Beside the name the writer really used, so that loading the show finds its music.
    const std::string show = UpperExtension(*out) == ".ILD" ? *out : *out + ".ILD";
    const std::string music = BesidePath(show, "wav");
    if (WriteDemoMusic(music)) {
      std::cout << music << '\n';
    } else {
      std::cerr << "Could not write " << music << '\n';
      context.Failed();
    }
  });
}

const CommandRegistration kRegistration{30, AddDemoCommand};

}  // namespace

}  // namespace lumarex::cli
