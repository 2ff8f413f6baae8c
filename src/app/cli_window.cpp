#include <iostream>

#include "app/cli_context.h"

namespace lumarex::cli {

CliWindow::CliWindow(DesktopServices& desktop, bool withDevices, bool withAudio) {
  form =
      std::make_unique<Tform1>(Tform1Services{desktop, clock, startTimer, showplayTimer, preview});
  outcome = form->ProgramStart(nullptr, StartupOptions{withDevices, withAudio, {}});
}

CliWindow::~CliWindow() {
  // The frame clock stops before the window it ticks goes.
  showplayTimer.SetEnabled(false);
  form.reset();
}

Tform1& CliContext::Window(bool withDevices, bool withAudio) {
  if (!window_) {
    window_ = std::make_unique<CliWindow>(desktop, withDevices, withAudio);
    if (verbose) {
      std::cerr << "Start-up: " << (withDevices ? "DAC library bound, " : "")
                << window_->form->Devices.DeviceCount << " device(s), audio "
                << (window_->outcome == StartOutcome::kRunning ? "ready" : "failed") << '\n';
    }
  }
  return *window_->form;
}

void CliContext::Finish() {
  if (!window_) return;
  window_->form->FormClose();
  window_.reset();
  if (verbose) std::cerr << Tform1::kCloseMessage << '\n';
}

}  // namespace lumarex::cli
