#include <CLI/CLI.hpp>
#include <iostream>

#include "app/cli_context.h"
#include "show/demo_show.h"
#include "show/ilda.h"

namespace lumarex::cli {

namespace {

void AddDemoCommand(CLI::App& app, CliContext& context) {
  auto out = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand("demo", "Write Lumarex's built-in demo show as an ILDA file");
  cmd->add_option("OUT", *out, "ILDA file to write")->required();
  cmd->callback([out, &context] {
    BuildDemoShow(context.store);
    WriteIlda(context.store, *out, 0, context.store.FrameCount - 1, context.desktop);
    std::cout << context.store.IoStatus << '\n';
  });
}

const CommandRegistration kRegistration{30, AddDemoCommand};

}  // namespace

}  // namespace lumarex::cli
