#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>

#include "app/cli_context.h"
#include "app/cli_load.h"

namespace lumarex::cli {

namespace {

void AddConvertCommand(CLI::App& app, CliContext& context) {
  struct Options {
    std::string in;
    std::string out;
    std::optional<int32_t> first;
    std::optional<int32_t> last;
  };
  auto options = std::make_shared<Options>();
  CLI::App* cmd =
      app.add_subcommand("convert", "Load a show and write it in the format of OUT's extension");
  cmd->add_option("IN", options->in, "Show file to read")->required();
  cmd->add_option("OUT", options->out, "Show file to write (.ild)")->required();
  cmd->add_option("--first", options->first, "First frame to write (default: 0)");
  cmd->add_option("--last", options->last, "Last frame to write (default: the show's last)");
  cmd->callback([options, &context] {
    if (!LoadWithMerges(context, options->in, {})) return;
    ShowStore& store = context.store;
    const int32_t first = options->first.value_or(store.SaveRangeStart);
    const int32_t last = options->last.value_or(store.SaveRangeEnd);
    if (!SaveShowFile(store, options->out, first, last, context.desktop)) {
      std::cerr << "lumarex-cli: no writer for the file type of " << options->out << '\n';
      context.exitCode = kExitUsage;
      return;
    }
    std::cout << store.IoStatus << '\n';
  });
}

const CommandRegistration kRegistration{20, AddConvertCommand};

}  // namespace

}  // namespace lumarex::cli
