#pragma once

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "mainwindow/preview_surface.h"
#include "mainwindow/tform1.h"
#include "platform/clock.h"
#include "platform/desktop_services.h"
#include "platform/ui_dispatcher.h"
#include "platform/ui_timer.h"
#include "player/sva_ui_timer.h"
#include "show/show_files.h"
#include "show/show_store.h"

namespace CLI {
class App;
}

namespace lumarex::cli {

// Exit codes: 0 when the command did what it was asked; 1 when it ran and failed (a show that
// did not load, a write that failed, a device that could not be opened or never became
// ready, music that could not be opened); 2 for bad usage. The output is the same either way.
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Message boxes of the core become lines on stderr, kept in order for the commands that
// report them; a question is answered No (nothing is removed without an operator).
class StderrDesktopServices final : public DesktopServices {
 public:
  void ShowMessage(const std::string& text) override {
    std::cerr << text << '\n';
    messages.push_back(text);
  }
  std::vector<std::string> messages;
};

// The main window as the command line runs it: the same start-up as the window's, with the
// frame clock on the precision timer and the user-interface thread being the command's own,
// which drains `dispatcher`. There is no start animation to watch: its timer never fires, and
// every command ends it anyway.
class CliWindow {
 public:
  CliWindow(DesktopServices& desktop, bool withDevices, bool withAudio);
  ~CliWindow();

  QueueDispatcher dispatcher;
  SteadyClock clock;
  ManualTimer startTimer;
  SvaUiTimer showplayTimer{dispatcher};
  CountingPreview preview;
  std::unique_ptr<Tform1> form;
  StartOutcome outcome = StartOutcome::kRunning;
};

// What every command works on: the main window's objects, built through its start-up on
// first use.
class CliContext {
 public:
  StderrDesktopServices desktop;
  int exitCode = 0;
  bool verbose = false;
  // A show load or merge of this command ended with a reader's failure in IoStatus.
  bool loadFailed = false;

  // The command ran and failed: exit 1, unless bad usage was found already.
  void Failed() {
    if (exitCode == 0) exitCode = kExitFailed;
  }

  // The main window, started on first use; with `withDevices` the start-up binds the DAC
  // library and opens device 0, as the window does (commands that only read or write files
  // leave the library alone), and with `withAudio` the music plays to the sound card (else
  // silently, on time: only `play` has music to be heard).
  Tform1& Window(bool withDevices = false, bool withAudio = false);
  bool Started() const { return window_ != nullptr; }
  CliWindow& Cli() {
    Window();
    return *window_;
  }
  ShowStore& Store() { return Window().Store; }
  ShowReaders& Readers() { return Window().Readers; }
  // The end of the run, as the window's: output off, and under --verbose the close message.
  void Finish();

 private:
  std::unique_ptr<CliWindow> window_;
};

// Each command lives in a cli_<command>.cpp of its own and registers itself there with a
// file-scope CommandRegistration; main adds the registered commands in `order`.
using AddCommandFunction = void (*)(CLI::App& app, CliContext& context);

struct CommandRegistration {
  CommandRegistration(int order, AddCommandFunction add);
};

// The registered commands, sorted by their order.
std::vector<AddCommandFunction> RegisteredCommands();

}  // namespace lumarex::cli
