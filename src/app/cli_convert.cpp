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
    std::string layout = "lds";
    std::string palette;
  };
  auto options = std::make_shared<Options>();
  CLI::App* cmd =
      app.add_subcommand("convert", "Load a show and write it in the format of OUT's extension");
  cmd->add_option("IN", options->in, "Show file to read")->required();
  cmd->add_option("OUT", options->out, "Show file to write (.ild, .cat or .ulf)")->required();
  cmd->add_option("--first", options->first, "First frame to write (default: 0)");
  cmd->add_option("--last", options->last, "Last frame to write (default: the show's last)");
  cmd->add_option("--layout", options->layout,
                  "Layout of a .cat file: lds (LDS 2008 RGB, the default) or phoenix (Phoenix RGB)")
      ->check(CLI::IsMember({"lds", "phoenix"}));
  cmd->add_option("--palette", options->palette,
                  "LDS/Phoenix palette (.pal) loaded before the show, for indexed Cat and Pic");
  cmd->callback([options, &context] {
    const std::optional<ShowWriter> writer =
        WriterForFileName(options->out, options->layout == "phoenix");
    if (!writer) {
      std::cerr << "lumarex-cli: no writer for the file type of " << options->out << '\n';
      context.exitCode = kExitUsage;
      return;
    }
    if (options->layout != "lds" && *writer != ShowWriter::kPhoenixCat) {
      std::cerr << "lumarex-cli: --layout applies to .cat files only\n";
      context.exitCode = kExitUsage;
      return;
    }
    if (!LoadPalette(context, options->palette)) return;
    if (!LoadWithMerges(context, options->in, {})) return;
    ShowStore& store = context.Store();
    if (context.loadFailed) {
      // What was read of a broken file must not stand in for a show, nor replace OUT.
      std::cout << store.IoStatus << '\n';
      return;
    }
    const int32_t first = options->first.value_or(store.SaveRangeStart);
    const int32_t last = options->last.value_or(store.SaveRangeEnd);
    // An empty show is refused by the Cat and ULF writers with a message on stderr.
    if (!SaveShow(store, *writer, options->out, first, last, context.desktop)) {
      context.Failed();
      return;
    }
    if (!WriteSucceeded(store.IoStatus)) context.Failed();
    std::cout << store.IoStatus << '\n';
  });
}

const CommandRegistration kRegistration{20, AddConvertCommand};

}  // namespace

}  // namespace lumarex::cli
