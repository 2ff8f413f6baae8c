#include <CLI/CLI.hpp>
#include <algorithm>
#include <utility>

#include "app/cli_context.h"
#include "platform/memory_policy.h"

namespace lumarex::cli {

namespace {

std::vector<std::pair<int, AddCommandFunction>>& Registry() {
  static std::vector<std::pair<int, AddCommandFunction>> registry;
  return registry;
}

}  // namespace

CommandRegistration::CommandRegistration(int order, AddCommandFunction add) {
  Registry().emplace_back(order, add);
}

std::vector<AddCommandFunction> RegisteredCommands() {
  auto sorted = Registry();
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<AddCommandFunction> out;
  for (const auto& entry : sorted) out.push_back(entry.second);
  return out;
}

}  // namespace lumarex::cli

int main(int argc, char** argv) {
  lumarex::KeepFreedShowMemory();
  lumarex::cli::CliContext context;
  CLI::App app{"lumarex-cli: Lumarex's laser-show tools for batch and headless work"};
  app.require_subcommand(1);
  app.footer(
      "Exit status: 0 when the command did what it was asked; 1 when it ran and failed (a show\n"
      "that did not load, a file not written, a device that could not be opened or never\n"
      "became ready, music that could not be opened); 2 for bad usage. The output is the same\n"
      "either way; convert and optimise write nothing after a failed read.");
  app.add_flag("--verbose", context.verbose, "Print the start-up steps and the device probe");
  for (const auto add : lumarex::cli::RegisteredCommands()) add(app, context);
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
  context.Finish();
  return context.exitCode;
}
