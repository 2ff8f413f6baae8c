#include "qt/program.h"

#include <QApplication>
#include <QElapsedTimer>
#include <iostream>

namespace lumarex::qt {

void WaitProcessingEvents(int ms) {
  QElapsedTimer elapsed;
  elapsed.start();
  while (elapsed.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents,
                                std::max(1, ms - static_cast<int>(elapsed.elapsed())));
  }
}

Program::Program(const Options& options)
    : options_(options),
      main_(std::make_unique<MainWindow>()),
      optimiser_(std::make_unique<OptimiserWindow>()) {
  desktop_.SetOwner(main_.get());
  desktop_.SetMainWindow(main_.get());
  desktop_.beforeEvents = [this] { main_->ShowProgress(); };
  form_ = std::make_unique<Tform1>(Tform1Services{desktop_, clock_, startTimer_, showplayTimer_,
                                                  main_->Zeichenflaeche(), &main_->OutputView(),
                                                  &optimiser_->Show_Frame()});
  // The hand-over between the windows, as the model asks for it.
  form_->OnShowOptimiserWindow = [this] {
    main_->hide();
    optimiser_->show();
    desktop_.SetOwner(optimiser_.get());
  };
  form_->OnShowMainWindow = [this] {
    optimiser_->hide();
    WaitProcessingEvents(100);
    main_->show();
    WaitProcessingEvents(100);
    desktop_.SetOwner(main_.get());
  };
}

Program::~Program() {
  form_->FormClose();
  showplayTimer_.SetEnabled(false);
  desktop_.beforeEvents = nullptr;
  optimiser_.reset();
  main_.reset();
  form_.reset();
}

StartOutcome Program::Start(SingleInstanceGuard* guard) {
  const StartOutcome outcome = form_->ProgramStart(guard, options_.startup);
  if (options_.verbose) {
    std::cerr << "Lumarex: DAC library " << (form_->Dac.DacLibraryLoaded() ? "bound" : "missing")
              << ", " << form_->Devices.DeviceCount << " device(s)";
    for (int32_t i = 0; i < std::min(form_->Devices.DeviceCount, DeviceSelection::kTableSize);
         ++i) {
      const DeviceEntry& e = form_->Devices.DeviceTable[static_cast<size_t>(i)];
      std::cerr << (i == 0 ? ": " : ", ") << e.FriendlyName << " (" << e.MaxSpeed / 1000 << " K)";
    }
    std::cerr << "; audio " << (outcome == StartOutcome::kAudioFailed ? "failed" : "bound")
              << (outcome == StartOutcome::kAnotherInstance ? "; another copy runs" : "") << '\n';
  }
  if (outcome != StartOutcome::kRunning) return outcome;
  main_->Bind(*form_);
  optimiser_->Bind(form_->Optimiser);
  main_->show();
  return outcome;
}

}  // namespace lumarex::qt
