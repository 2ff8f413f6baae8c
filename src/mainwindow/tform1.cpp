#include "mainwindow/tform1.h"

#include <vector>

#include "preview/comparison_picture.h"
#include "preview/frame_picture.h"
#include "preview/output_picture.h"

namespace lumarex {

namespace {

ParameterControls ControlsOf(Tform1& f) {
  LaserAusgabe& o = f.Output;
  return ParameterControls{
      o.Scanspeed,      o.Framewechsel, o.FrameChangeMode, o.Farbverschiebung, o.Extrapoints,
      o.Scanner_Invers, o.Achse_X,      o.Achse_Y,         o.Rot_to_Laser,     o.Gruen_to_Laser,
      o.Blau_to_Laser,  o.Dimmen_RGB,   o.PowerUnlocked,   f.Player.Irq_Speed, f.OGL_Effekt,
      f.Parameter_Auf,  f.Parameter_Zu, f.Parameter};
}

// Everything that reads, changes or replaces the show, plays it, or halts the player (a halt
// draws frame 0 and enables the file menus). The output's calibration, the output view and
// Info touch neither and stay.
std::vector<Control*> HeldDuringLoads(Tform1& f) {
  ShowPlayer& p = f.Player;
  return {&f.Lade_File,
          &f.Merge_File,
          &f.Speichern,
          &f.Save_LDS_Cat_2008,
          &f.Save_PHO_Cat_2008,
          &f.Ilda_True_Save,
          &f.ULF1,
          &f.Load_Farben,
          &f.Exit1,
          &f.Load_Parameter,
          &f.SaveParameter,
          &f.SaveParameter1,
          &f.Kill_Frame_2_4,
          &f.Optimiereaufscannerwege1,
          &f.Wiederholen,
          &p.Play,
          &p.Stop,
          &p.Ruecklauf,
          &p.Vorlauf,
          &p.Framescroll,
          &p.Irq_Speed,
          &f.OGL_Effekt,
          &f.Filestart,
          &f.Fileende,
          &f.Devices.Suche_Device,
          &f.Devices.Ausgabedevice};
}

}  // namespace

Tform1::Tform1(const Tform1Services& services)
    : Output(Store, Dac, Scanninfo, DeviceFenster),
      Devices(Dac, Output, DeviceFenster),
      AudioEntries(Audio),
      Player(ShowPlayer::Links{Store, Dac, Output, *this, services.clock, services.showplayTimer,
                               Statusfenster, DeviceFenster, Musik, CurrentFrame, Loading,
                               MusicLoaded},
             nullptr),
      Optimiser(Store, services.desktop, CurrentFrame),
      Parameters(ControlsOf(*this), Store, services.desktop),
      Projectors(Store, Dac, Output, ControlsOf(*this), Devices, Scanninfo, DeviceFenster),
      desktop_(services.desktop),
      clock_(services.clock),
      startTimer_(services.startTimer),
      showplayTimer_(services.showplayTimer),
      preview_(services.preview),
      outputView_(services.outputView),
      comparisonView_(services.comparisonView),
      loadHold_(HeldDuringLoads(*this)) {
  Statusfenster.SetHint("Showinput");
  OGL_Effekt.SetHint("OpenGL Ausgabemodus");
  Parameter_Auf.SetHint("kein Überschreibschutz ");
  Parameter_Zu.SetHint("Überschreibschutz gesetzt");
  Parameter.SetHint("Parametersatz zur Show wurde gefunden");
  Filestart.SetHint("Setzt Aktuelle Pos als erste Speicherposition");
  Fileende.SetHint("Setzt Aktuelle Position als letzte Speicherposition");
  Kill_Frame_2_4.SetHint("Löscht jedes 2te Frame vom gesamten File");
  Devices.Suche_Device.SetHint("Suche Ausgabemedium");

  startTimer_.SetEnabled(false);
  startTimer_.OnTimer = [this] { Start_TimerTimer(); };
  Devices.SetStopPlayback([this] { Player.HaltForDeviceSearch(); });

  OGL_Effekt.OnChange([this] { OGL_EffektChange(); });
  Parameter_Auf.OnClick([this] { Parameter_AufClick(); });
  Parameter_Zu.OnClick([this] { Parameter_ZuClick(); });
  Filestart.OnClick([this] { FilestartClick(); });
  Fileende.OnClick([this] { FileendeClick(); });
  Lade_File.OnClick([this] { Lade_FileClick(); });
  Merge_File.OnClick([this] { Merge_FileClick(); });
  Save_LDS_Cat_2008.OnClick([this] { Save_LDS_Cat_2008Click(); });
  Save_PHO_Cat_2008.OnClick([this] { Save_PHO_Cat_2008Click(); });
  Ilda_True_Save.OnClick([this] { Ilda_True_SaveClick(); });
  ULF1.OnClick([this] { ULF1Click(); });
  Load_Farben.OnClick([this] { Load_FarbenClick(); });
  Exit1.OnClick([this] { Exit1Click(); });
  Load_Parameter.OnClick([this] { Load_ParameterClick(); });
  SaveParameter.OnClick([this] { SaveParameterClick(); });
  SaveParameter1.OnClick([this] { SaveParameter1Click(); });
  Kill_Frame_2_4.OnClick([this] { Kill_Frame_2_4Click(); });
  Optimiereaufscannerwege1.OnClick([this] { Optimiereaufscannerwege1Click(); });
  Info.OnClick([this] { InfoClick(); });
  Wiederholen.OnClick([this] {
    Wiederholen.SetChecked(!Wiederholen.Checked());
    Player.Repeat = Wiederholen.Checked();
  });
  Ausgabeansicht.SetVisible(outputView_ != nullptr);
  Ausgabeansicht.OnClick([this] {
    Ausgabeansicht.SetChecked(!Ausgabeansicht.Checked());
    DrawOutputView();
  });
  Scanner_Simulation.OnClick([this] {
    Scanner_Simulation.SetChecked(!Scanner_Simulation.Checked());
    DrawOutputView();
  });
  Scanner_Kpps.SetHint("Scanner-Nennleistung in kpps");
  Scanner_Kpps.OnChange([this] {
    if (Scanner_Simulation.Checked()) DrawOutputView();
  });
  Output.OnWritten = [this] {
    if (Projectors.Selected() == 1) DrawOutputView();
  };
  Projectors.OnWritten = [this](int k) {
    if (Projectors.Selected() == k) DrawOutputView();
  };
  Projectors.OnSelectionChanged = [this] {
    DrawOutputView();
    if (OnSelectedOutputChanged) OnSelectedOutputChanged();
  };
  Player.PrepareFurtherOutputs = [this](uint16_t frame) { Projectors.BeginFrame(frame); };
  Player.SendToFurtherOutputs = [this](uint16_t frame) { Projectors.SendFrame(frame); };
  Optimiser.OnReturnToPlayer = [this] { ReturnFromOptimiser(); };
  Optimiser.OnDrawComparison([this](uint32_t frame, uint16_t lastIndex) {
    if (comparisonView_ == nullptr) return;
    const std::span<const ShowPoint> optimised = Optimiser.Core().Optimised();
    BuildComparisonPicture(Store.Frame(frame),
                           optimised.first(std::min<size_t>(optimised.size(), lastIndex + 1u)),
                           comparisonPicture_);
    comparisonView_->Present(comparisonPicture_);
  });
}

Tform1::~Tform1() {
  startTimer_.SetEnabled(false);
  showplayTimer_.SetEnabled(false);
  startTimer_.OnTimer = nullptr;
  showplayTimer_.OnTimer = nullptr;
  Player.SetMusic(nullptr);
}

StartOutcome Tform1::ProgramStart(SingleInstanceGuard* guard, const StartupOptions& options) {
  if (options.bindDevices) {
    if (options.driverFolder.empty()) {
      Dac.Bind(desktop_);
    } else {
      Dac.BindFrom(options.driverFolder, desktop_);
    }
  }
  Devices.StartupProbe();
  AudioEntries.Bind();
  if (guard != nullptr && guard->AnotherInstanceRuns()) return StartOutcome::kAnotherInstance;

  // The music component is part of the window and made with it.
  Audio.SetSilent(!options.audioOutput);
  Music = std::make_unique<TBassdllPlayer>(AudioEntries.Table(), desktop_);
  if (Music->StartupFailed()) return StartOutcome::kAudioFailed;
  Player.SetMusic(Music.get());
  FormCreate();
  return StartOutcome::kRunning;
}

void Tform1::FormCreate() {
  // 1. The process priority stays as the system gave it.
  // 2. The preview surface belongs to the front end and is ready before the window is.
  Output.PowerUnlocked = true;
  DrawStatusFrame();
  Loading = false;
  DrawScanninfoFrame();
  Output.ApplyStartupSettings();
  DrawSavefromFrame();
  DrawDeviceFensterFrame();
  Store.LoadDefaultPalette();
  Player.Speedanzeige.SetCaption("Speed : Frames je Sek: 25");
  PreviewBusy = false;
  CurrentFrame = 0;
  Output.Orientation = 0;
  ClearPreview();
  Output.Schloss_Auf.SetVisible(true);
  Output.Schloss_Zu.SetVisible(false);
  Parameters.ShowStartupProtection();
  Merge_File.SetEnabled(false);
  ScopeTrace.fill(100);
  ClearScope();
  Parameter.SetVisible(false);
  Musik.SetVisible(false);
  Player.TickCount = 0;
  Store.SaveRangeStart = 0;
  Store.SaveRangeEnd = 0;
  AnimationAngle = 0;
  Dac.jmLaserStartOutput(Dac.DeviceHandle);
  Player.PlayStartTime = 0;
  if (!created_) startTimer_.SetInterval(20);
  created_ = true;
  startTimer_.SetEnabled(true);
}

void Tform1::FormClose() {
  showplayTimer_.SetEnabled(false);
  startTimer_.SetEnabled(false);
  Dac.jmLaserStopOutput(Dac.DeviceHandle);
}

void Tform1::StopStartAnimation() {
  testPattern_ = false;
  startTimer_.SetEnabled(false);
}

void Tform1::SetFileMenusEnabled(bool enabled) {
  for (MenuItem* item : {&Lade_File, &Merge_File, &Speichern, &Load_Farben,
                         &Optimiereaufscannerwege1, &Load_Parameter, &SaveParameter}) {
    loadHold_.SetEnabled(*item, enabled);
  }
}

void Tform1::ProcessPendingMessages() {
  desktop_.ProcessPendingMessages();
}

void Tform1::DrawPreviewFrame(uint16_t n) {
  if (!BuildPreviewPicture(Store, n, PreviewMode, picture_)) return;
  Player.Framescroll.SetPosition(n);
  DrawFrameInformation(n);
  preview_.Present(picture_);
}

void Tform1::DrawOutputView() {
  if (outputView_ == nullptr) return;
  if (!Ausgabeansicht.Checked()) {
    outputPicture_.Reset(true);
  } else {
    const LaserAusgabe& o = Projectors.Output(Projectors.Selected());
    const OutputWindow window = OutputWindowOf(o.ScaleX, o.OffsetX, o.ScaleY, o.OffsetY);
    if (Scanner_Simulation.Checked()) {
      ScannerRating rating;
      rating.kpps = Scanner_Kpps.Position();
      const int32_t rate =
          o.LastWriteRate() > 0 ? o.LastWriteRate() : o.Scanspeed.Position() * 1000;
      simulatedOutput_.Build(o.LastDacPoints(), static_cast<uint32_t>(rate), rating, window,
                             outputPicture_, &o.OutputProjection);
    } else {
      BuildOutputPicture(o.LastDacPoints(), window, outputPicture_, &o.OutputProjection);
    }
  }
  outputView_->Present(outputPicture_);
}

bool Tform1::KeyPressed(Key key) {
  if (Loading) return false;
  switch (key) {
    case Key::kSpace:
      if (Player.Playing()) {
        Player.Stop.ClickByOperator();
      } else {
        Player.Play.ClickByOperator();
      }
      return true;
    case Key::kLeft:
      Player.Ruecklauf.ClickByOperator();
      return Player.Ruecklauf.TakesInput();
    case Key::kRight:
      Player.Vorlauf.ClickByOperator();
      return Player.Vorlauf.TakesInput();
    case Key::kEscape:
      Player.HaltPlayback();
      return true;
  }
  return false;
}

void Tform1::ClearPreview() {
  picture_.Reset(true);
  preview_.Present(picture_);
}

void Tform1::OGL_EffektChange() {
  StopStartAnimation();
  PreviewMode = static_cast<uint8_t>(OGL_Effekt.Position());
  Statusfenster.TextOut(60, 195, PreviewModeLabel(PreviewMode));
  if (!PreviewBusy) DrawPreviewFrame(CurrentFrame);
}

void Tform1::Start_TimerTimer() {
  if (testPattern_) {
    SendTestPattern();
    return;
  }
  ++Player.TickCount;
  if (Player.TickCount % 2 == 1) return;
  if (!PreviewBusy) {
    PreviewBusy = true;
    // The ball leans with the pointer's height over a strip about as high as the panel.
    const int32_t d = desktop_.PointerScreenY() - (desktop_.MainWindowTop() + kSteeringStripTop);
    animation_.AnimationStep(AnimationAngle, TiltFromPointer(d), picture_);
    preview_.Present(picture_);
    // The open device, as the player asks it (not device 0, whose handle may be another's).
    const uint32_t staged = animation_.StagePoints(Output.StagedPoints());
    if (Dac.jmLaserIsDeviceReady(Dac.DeviceHandle) == 1) Output.TransformAndSend(staged);
    Projectors.SendStaged(Output.StagedPoints().first(staged));
    PreviewBusy = false;
  }
  if (AnimationAngle >= 360) AnimationAngle = 0;
  ++AnimationAngle;
}

void Tform1::Exit1Click() {
  Dac.jmLaserStopOutput(Dac.DeviceHandle);
  Store.ClearShow();
  startTimer_.SetEnabled(false);
  showplayTimer_.SetEnabled(false);
  if (OnCloseWindow) OnCloseWindow();
}

const char* Tform1::InfoText() {
  return "Lumarex\n\nLasershow-Player für Linux: lädt Shows aus ILDA, Cat, ULF, PHO, Bilda, "
         "Pangolin, LaserPainter, Pic, Grabben und Mamba Black, spielt sie zeitgenau mit Musik "
         "auf einem Laser-DAC ab und optimiert Scannerpfade.";
}

void Tform1::InfoClick() {
  desktop_.ShowMessage(InfoText());
}

void Tform1::Optimiereaufscannerwege1Click() {
  StopStartAnimation();
  showplayTimer_.SetEnabled(false);
  Dac.jmLaserStopOutput(Dac.DeviceHandle);
  ClearPreview();
  if (Store.FrameCount == 0 && Store.LastPointIndex[0] == 0) {
    desktop_.ShowMessage("Kein File geladen :-(");
    return;
  }
  preview_.Release();
  if (OnShowOptimiserWindow) OnShowOptimiserWindow();
  Optimiser.Open();
}

void Tform1::ReturnFromOptimiser() {
  Optimiser.Close();
  if (OnShowMainWindow) OnShowMainWindow();
  RestoreMainDisplays();
  ProcessPendingMessages();
  CurrentFrame = 0;
  Player.Framescroll.SetPosition(0);
  DrawPreviewFrame(0);
}

}  // namespace lumarex
