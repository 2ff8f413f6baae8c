#pragma once

#include <memory>
#include <string>

#include "mainwindow/tform1.h"
#include "platform/clock.h"
#include "platform/single_instance.h"
#include "player/sva_ui_timer.h"
#include "qt/main_window.h"
#include "qt/optimiser_window.h"
#include "qt/qt_platform.h"

namespace lumarex::qt {

// The desktop program put together: the Qt services, both windows and the main window's model,
// started in the program's order. The program's main and the window tests use it alike.
class Program {
 public:
  struct Options {
    StartupOptions startup;
    bool verbose = false;
  };

  explicit Program(const Options& options);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The start-up (library binding, device probe, audio binding, the guard, the windows); the
  // main window is shown when it ends running.
  StartOutcome Start(SingleInstanceGuard* guard);

  Tform1& Form() { return *form_; }
  MainWindow& Main() { return *main_; }
  OptimiserWindow& Optimiser() { return *optimiser_; }
  QtDesktopServices& Desktop() { return desktop_; }
  SvaUiTimer& FrameClock() { return showplayTimer_; }
  QtUiTimer& StartTimer() { return startTimer_; }

 private:
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
};

// Waits `ms` milliseconds while the window keeps working.
void WaitProcessingEvents(int ms);

}  // namespace lumarex::qt
