#include "qt/program.h"

#include <QApplication>
#include <QElapsedTimer>
#include <iostream>

#include "control/event_stream.h"
#include "projection/projection_file.h"

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
  // Nothing arrives from outside once the program closes.
  main_->ReleaseTools();
  remotePanel_.reset();
  projectionEditor_.reset();
  showClock_.reset();
  inputs_.reset();
  setListPanel_.reset();
  registry_.reset();
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
  registry_ = std::make_unique<ControlRegistry>(*form_, dispatcher_);
  if (options_.verbose) {
    registry_->AddCommandListener(
        [](const CommandRecord& r) { std::cerr << "Lumarex: " << CommandLogLine(r) << '\n'; });
  }
  inputs_ = std::make_unique<RemoteInputs>(*registry_, dispatcher_);
  setListPanel_ = std::make_unique<SetListPanel>(*registry_, desktop_);
  main_->Bind(*form_, *registry_);
  main_->BindSetList(*setListPanel_);
  optimiser_->Bind(form_->Optimiser);
  main_->show();
  if (!options_.setList.empty()) {
    const SetList::ReadResult read =
        registry_->OpenSetList(options_.setList, CommandSource::kWidget);
    if (!read.ok) Complain(options_.setList + ": " + read.error);
  }
  std::string error;
  if (!inputs_->Start(options_.inputs, error)) Complain(error);
  if (!options_.rig.empty()) {
    const std::string fault = form_->Projectors.Load(options_.rig);
    if (!fault.empty()) Complain(options_.rig + ": " + fault);
  }
  if (!options_.projection.empty()) {
    const ProjectionRead read = ReadProjectionFile(options_.projection);
    if (read.ok) {
      form_->Output.OutputProjection.Set(read.projection);
    } else {
      Complain(options_.projection + ": " + read.error);
    }
  }
  showClock_ = std::make_unique<ShowClock>(*form_, *registry_, dispatcher_, clock_);
  if (!showClock_->Apply(options_.clock, error)) Complain("Uhr: " + error);
  remotePanel_ = std::make_unique<RemotePanel>(*inputs_, *registry_, desktop_, options_.inputs);
  remotePanel_->BindClock(showClock_.get());
  main_->BindRemote(*remotePanel_);
  projectionEditor_ = std::make_unique<ProjectionEditor>(form_->Projectors, desktop_);
  main_->BindProjection(*projectionEditor_);
  return outcome;
}

void Program::Complain(const std::string& text) {
  std::cerr << "Lumarex: " << text << '\n';
  desktop_.ShowMessage(text);
}

}  // namespace lumarex::qt
