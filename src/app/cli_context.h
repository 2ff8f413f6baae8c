#pragma once

#include <iostream>
#include <string>
#include <vector>

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

// Each command lives in a cli_<command>.cpp of its own and registers itself there with a
// file-scope CommandRegistration; main adds the registered commands in `order`.
using AddCommandFunction = void (*)(CLI::App& app, CliContext& context);

struct CommandRegistration {
  CommandRegistration(int order, AddCommandFunction add);
};

// The registered commands, sorted by their order.
std::vector<AddCommandFunction> RegisteredCommands();

}  // namespace lumarex::cli
