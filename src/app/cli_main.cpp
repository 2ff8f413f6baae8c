#include <CLI/CLI.hpp>

#include "app/cli_context.h"

int main(int argc, char** argv) {
  lumarex::cli::CliContext context;
  CLI::App app{"lumarex-cli: Lumarex's laser-show tools for batch and headless work"};
  app.require_subcommand(1);
  lumarex::cli::AddInfoCommand(app, context);
  lumarex::cli::AddConvertCommand(app, context);
  lumarex::cli::AddDemoCommand(app, context);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return lumarex::cli::kExitUsage;
  }
  return context.exitCode;
}
