#pragma once

#include <iostream>
#include <string>

#include "platform/desktop_services.h"
#include "show/show_files.h"
#include "show/show_store.h"

namespace CLI {
class App;
}

namespace lumarex::cli {

// Message boxes of the core become lines on stderr.
class StderrDesktopServices final : public DesktopServices {
 public:
  void ShowMessage(const std::string& text) override { std::cerr << text << '\n'; }
};

// What every command works on: the same objects the main window owns.
struct CliContext {
  ShowStore store;
  ShowReaders readers;
  StderrDesktopServices desktop;
  int exitCode = 0;
};

// Exit codes: 0 when the command ran (a reader's failure is in IoStatus), 2 for bad usage.
inline constexpr int kExitUsage = 2;

// Each command registers itself on the application; its callback runs the command.
void AddInfoCommand(CLI::App& app, CliContext& context);
void AddConvertCommand(CLI::App& app, CliContext& context);
void AddDemoCommand(CLI::App& app, CliContext& context);

}  // namespace lumarex::cli
