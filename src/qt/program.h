#pragma once

#include <memory>
#include <string>

#include "control/control_registry.h"
#include "control/set_list_panel.h"
#include "mainwindow/tform1.h"
#include "platform/clock.h"
#include "platform/single_instance.h"
#include "player/sva_ui_timer.h"
#include "qt/main_window.h"
#include "qt/optimiser_window.h"
#include "qt/qt_platform.h"
#include "remote/remote_inputs.h"
#include "remote/remote_panel.h"
#include "remote/show_clock.h"
#include "rig/projection_editor.h"

namespace lumarex::qt {

// The desktop program put together: the Qt services, both windows and the main window's model,
// started in the program's order. The program's main and the window tests use it alike.
class Program {
 public:
  struct Options {
    StartupOptions startup;
    bool verbose = false;
    // The remote inputs switched on once the windows run, and a set list whose first entry
    // is cued then.
    RemoteInputOptions inputs;
    std::string setList;
    // What the show's time is counted on: the system clock, the music's, or timecode.
    ClockSettings clock;
    // A projection file for the output (empty: none).
    std::string projection;
    // A rig file: the projectors to play to (empty: output 1 alone).
    std::string rig;
  };

  explicit Program(const Options& options);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The start-up (library binding, device probe, audio binding, the guard, the windows); the
  // main window is shown when it ends running. A set list or a remote input that fails to
  // open is told on stderr and in a message; the program runs on without it.
  StartOutcome Start(SingleInstanceGuard* guard);

  Tform1& Form() { return *form_; }
  MainWindow& Main() { return *main_; }
  OptimiserWindow& Optimiser() { return *optimiser_; }
  QtDesktopServices& Desktop() { return desktop_; }
  SvaUiTimer& FrameClock() { return showplayTimer_; }
  QtUiTimer& StartTimer() { return startTimer_; }
  // The registry and the inputs exist once Start has run into the running program.
  ControlRegistry& Registry() { return *registry_; }
  RemoteInputs& Inputs() { return *inputs_; }
  SetListPanel& SetListTool() { return *setListPanel_; }
  RemotePanel& RemoteTool() { return *remotePanel_; }
  ProjectionEditor& ProjectionTool() { return *projectionEditor_; }
  ShowClock& Clock() { return *showClock_; }

 private:
  void Complain(const std::string& text);

  Options options_;
  QtDispatcher dispatcher_;
  SteadyClock clock_;
  QtUiTimer startTimer_;
  SvaUiTimer showplayTimer_{dispatcher_};
  QtDesktopServices desktop_;
  // The windows are made before the model, which draws into their panels from its start-up
  // on, and go before it, since their widgets hold on to its controls.
  std::unique_ptr<MainWindow> main_;
  std::unique_ptr<OptimiserWindow> optimiser_;
  std::unique_ptr<Tform1> form_;
  std::unique_ptr<ControlRegistry> registry_;
  std::unique_ptr<SetListPanel> setListPanel_;
  std::unique_ptr<RemoteInputs> inputs_;
  std::unique_ptr<RemotePanel> remotePanel_;
  std::unique_ptr<ProjectionEditor> projectionEditor_;
  std::unique_ptr<ShowClock> showClock_;
};

// Waits `ms` milliseconds while the window keeps working.
void WaitProcessingEvents(int ms);

}  // namespace lumarex::qt
