#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "mainwindow/command_hold.h"
#include "mainwindow/preview_surface.h"
#include "music/audio_binding.h"
#include "music/audio_engine.h"
#include "music/bassdll_player.h"
#include "optimiser/optimiser_session.h"
#include "output/device_selection.h"
#include "output/jm_laser.h"
#include "output/laser_ausgabe.h"
#include "params/parameter_files.h"
#include "platform/clock.h"
#include "platform/desktop_services.h"
#include "platform/single_instance.h"
#include "platform/ui_timer.h"
#include "player/show_player.h"
#include "preview/draw_list.h"
#include "preview/simulated_output_picture.h"
#include "preview/start_animation.h"
#include "rig/projector_rig.h"
#include "show/save_progress.h"
#include "show/show_files.h"
#include "show/show_store.h"
#include "widgets/button.h"
#include "widgets/image.h"
#include "widgets/menu_item.h"
#include "widgets/status_image.h"
#include "widgets/track_bar.h"

namespace lumarex {

// What the main window gets from the front end it runs in.
struct Tform1Services {
  DesktopServices& desktop;
  const Clock& clock;
  UiTimer& startTimer;     // Start_Timer: the start animation, 20 ms
  UiTimer& showplayTimer;  // Showplay_Timer: the frame clock, 5 ms
  PreviewSurface& preview;
  // Where the output view goes (what the laser draws); none: no output view.
  PreviewSurface* outputView = nullptr;
  // The optimiser window's comparison view Show_Frame; none: nothing is drawn.
  PreviewSurface* comparisonView = nullptr;
};

// What a front end wants of the start-up beyond the window's own steps.
struct StartupOptions {
  bool bindDevices = true;  // bind the DAC library and probe the devices
  bool audioOutput = true;  // play music to the sound card (else silently, on time)
  // The folder of the DAC library (ending in '/'); empty: beside the program.
  std::string driverFolder;
};

// How the program start ended.
enum class StartOutcome : uint8_t {
  kRunning,          // the main window is ready and the start animation runs
  kAnotherInstance,  // a copy of the program runs already: end at once, silently
  kAudioFailed,      // the audio library failed its checks (the error box has been shown)
};

// The main window without its window: it owns the process-wide state (the show and its
// readers, the output transform and its calibration, the DAC binding and device table, the
// player, the music component, the optimiser session, the status images and every control and
// menu item) and all the main window's handlers. The Qt window and lumarex-cli build it through
// the same start-up and only bind their views to it. User-interface thread only.
class Tform1 final : public PlayerWindow, private SaveProgress {
 public:
  static constexpr const char* kInstanceName = "NameDerExe";
  static constexpr const char* kCloseMessage = "Close Lumarex .....";
  static constexpr int32_t kWidth = 1250;
  static constexpr int32_t kHeight = 760;

  explicit Tform1(const Tform1Services& services);
  ~Tform1() override;
  Tform1(const Tform1&) = delete;
  Tform1& operator=(const Tform1&) = delete;

  // The program start in its order: DAC library binding, device probe, audio binding, the
  // single-instance guard (none for the command line), then the main window's creation and
  // the optimiser session. Without `bindDevices` every device call answers -999, as without
  // the library: the command line's file work has no use for lasers.
  StartOutcome ProgramStart(SingleInstanceGuard* guard, const StartupOptions& options = {});
  // The end of the run: timers and output off. The caller releases the guard and shows
  // kCloseMessage.
  void FormClose();

  // --- The show and its files ---
  ShowStore Store;
  ShowReaders Readers;

  // --- Status images ---
  StatusImage Statusfenster{255, 220};
  StatusImage Savefrom{255, 60};
  StatusImage DeviceFenster{250, 243};
  StatusImage Scanninfo{250, 430};
  StatusImage Oszilloskop{255, 180};
  std::array<uint8_t, 256> ScopeTrace{};

  // --- Laser output ---
  JMLaser Dac;
  LaserAusgabe Output;
  DeviceSelection Devices;

  // --- Music ---
  AudioEngine Audio;
  AudioBinding AudioEntries;
  std::unique_ptr<TBassdllPlayer> Music;  // made by the start-up

  // --- Shared state ---
  uint16_t CurrentFrame = 0;
  // Set for the whole of a load or merge, dialog included; meanwhile the commands that could
  // reach the store or the player are disabled, and keys and dropped files are refused.
  bool Loading = false;
  bool MusicLoaded = false;
  bool PreviewBusy = false;
  uint8_t PreviewMode = 0;
  uint16_t AnimationAngle = 0;
  uint32_t LoadDurationMs = 0;

  // --- Player ---
  ShowPlayer Player;

  // --- Preview and further controls ---
  TrackBar OGL_Effekt{0, 3, 0};
  Image Parameter_Auf{"Parameter_Auf"};
  Image Parameter_Zu{"Parameter_Zu"};
  Image Parameter{"Parameter"};
  Image Musik{"Musik"};
  Button Filestart{"Set Akt Pos"};
  Button Fileende{"Set Akit Pos"};

  // --- Menus ---
  MenuItem Files{"Files"};
  MenuItem Lade_File{"Load File"};
  MenuItem Merge_File{"Merge File"};
  MenuItem Speichern{"Save File @"};
  MenuItem Save_LDS_Cat_2008{"LDS 2008 RGB *.Cat"};
  MenuItem Save_PHO_Cat_2008{"Phoenix RGB *.Cat"};
  MenuItem Ilda_True_Save{"Ilda True Color *.ILD"};
  MenuItem ULF1{"ULF @JMLaser"};
  MenuItem Load_Farben{"Load Pal for Cat"};
  MenuItem Exit1{"Exit"};
  MenuItem Projektorparameter{"Projektorparameter"};
  MenuItem Load_Parameter{"Load"};
  MenuItem SaveParameter{"Save"};
  MenuItem Showparameter{"Showparameter"};
  MenuItem SaveParameter1{"Save Showparameter"};
  MenuItem Extras{"Extras"};
  MenuItem Kill_Frame_2_4{"Frames kill 2..4..6 usw "};
  MenuItem Optimiereaufscannerwege1{"Optimiere auf Scannerpfade"};
  MenuItem Info{"Info"};
  // Beyond the classic menus: play the show over and over, and show what the laser draws.
  MenuItem Wiederholen{"Wiederholen"};
  MenuItem Ausgabeansicht{"Ausgabeansicht"};
  // In the output view: the beam path the scanner model draws, for scanners rated at
  // Scanner_Kpps thousand points a second, in place of the commanded points.
  MenuItem Scanner_Simulation{"Scanner-Simulation"};
  TrackBar Scanner_Kpps{5, 100, 30};

  // --- The optimiser window's behaviour ---
  OptimiserSession Optimiser;

  // --- Parameter files ---
  ParameterFiles Parameters;

  // --- Projectors: output 1 is Output on the open device, further ones beside it ---
  ProjectorRig Projectors;
  // Set by the view: the selected projector changed, so the calibration controls it shows
  // belong to another output (Projectors.Output(Projectors.Selected())).
  std::function<void()> OnSelectedOutputChanged;

  // --- Handlers: files ---
  void Lade_FileClick();
  void Merge_FileClick();
  void Save_LDS_Cat_2008Click();
  void Save_PHO_Cat_2008Click();
  void Ilda_True_SaveClick();
  void ULF1Click();
  void Load_FarbenClick();
  // "Load File" of a file chosen elsewhere (the command line, a dropped file): the same steps
  // with the dialog's answer given.
  void LoadFile(const std::string& path);
  // A file dropped onto the window is loaded when "Load File" could be chosen (not during a
  // load or while the show plays); false when it is refused.
  bool TakesDroppedFiles() const { return Lade_File.TakesInput(); }
  bool DropFile(const std::string& path);

  // What a running load has read so far: the frames it brought and the share of its file, in
  // thousandths. Zero before its reader has had a first break.
  struct LoadProgress {
    uint32_t frames = 0;
    uint32_t permille = 0;
  };
  LoadProgress Progress() const;

  // --- Handlers: parameters ---
  void Load_ParameterClick();
  void SaveParameterClick();
  void SaveParameter1Click();
  void Parameter_AufClick();
  void Parameter_ZuClick();
  // "Load projector parameters" of a file chosen elsewhere.
  ProjectorLoad LoadProjectorFile(const std::string& path);
  // "Save projector parameters" under a name chosen elsewhere; the name written, if any.
  std::optional<std::string> SaveProjectorFile(const std::string& path);

  // --- Handlers: frame editing ---
  void FilestartClick();
  void FileendeClick();
  void Kill_Frame_2_4Click();

  // --- Handlers: window ---
  void OGL_EffektChange();
  void Start_TimerTimer();
  void Exit1Click();
  void InfoClick();
  void Optimiereaufscannerwege1Click();
  // The optimiser window's return to the player ("Exit to Player" or closing it).
  void ReturnFromOptimiser();

  // --- Keys of the window ---
  enum class Key : uint8_t { kSpace, kLeft, kRight, kEscape };
  // Space toggles Play and Stop, Left and Right step, Escape stops (the laser goes dark at
  // once, during the start animation too). True when the key did something; during a load
  // no key does anything (the load has stopped the output already).
  bool KeyPressed(Key key);

  // --- Preview ---
  void DrawPreviewFrame(uint16_t n) override;
  void ClearPreview() override;
  // The picture last drawn for the panel, and for the output view.
  const DrawList& PreviewPicture() const { return picture_; }
  const DrawList& OutputPicture() const { return outputPicture_; }
  const StartAnimation& Animation() const { return animation_; }

  // --- Status displays ---
  void DrawStatusLabels() override;
  void DrawStatusFrame();
  void ClearScope() override;
  void DrawScope(const WaveBuffer& wave) override;
  void RestoreMainDisplays();
  // The frame information panel: FrameStatistics of frame n and the play time.
  void DrawFrameInformation(uint32_t n);

  // --- The window's own part, set by the front end ---
  // Closes the main window (Exit).
  std::function<void()> OnCloseWindow;
  // Hides the main window and shows the optimiser window.
  std::function<void()> OnShowOptimiserWindow;
  // Hides the optimiser window and shows the main window again.
  std::function<void()> OnShowMainWindow;
  // A show was loaded or saved under a name (for a window title).
  std::function<void(const std::string&)> OnShowNameChanged;

  // The info text of "Info", and the open dialogs' filters of load and merge.
  static const char* InfoText();
  static const char* LoadFilter();
  static const char* MergeFilter();

  // --- PlayerWindow ---
  void StopStartAnimation() override;
  void SetFileMenusEnabled(bool enabled) override;
  void ProcessPendingMessages() override;

  DesktopServices& Desktop() { return desktop_; }
  UiTimer& Start_Timer() { return startTimer_; }

  // "Testbild": a grid over the whole field, sent on the start timer to the selected projector
  // through its calibration and projection in place of the show, while the projection is
  // adjusted. On stops the show and the start animation; off darkens the projector and lets
  // the animation go on if it ran. The player's start ends it too.
  void SetTestPattern(bool on);
  bool TestPattern() const { return testPattern_; }
  UiTimer& Showplay_Timer() { return showplayTimer_; }

 private:
  void FormCreate();
  void DrawScanninfoFrame();
  void DrawSavefromFrame();
  void DrawDeviceFensterFrame();
  void BeginLoad();
  void EndLoad();
  void RunLoad(const std::optional<std::string>& chosen);
  // After a load or merge: the frame scroll bar and the save range cover the new show.
  void ShowNewShow(bool merge);
  void StopForCommand();
  void SaveCommand(ShowWriter writer, const char* dialog, const char* filter);
  void DrawOutputView();

  // SaveProgress: the frame information panel while a writer saves.
  void SaveStarted() override;
  void FrameSaved(uint32_t frame) override;

  DesktopServices& desktop_;
  const Clock& clock_;
  UiTimer& startTimer_;
  UiTimer& showplayTimer_;
  PreviewSurface& preview_;
  PreviewSurface* outputView_;
  PreviewSurface* comparisonView_;
  DrawList picture_;
  DrawList outputPicture_;
  SimulatedOutputPicture simulatedOutput_;
  DrawList comparisonPicture_;
  StartAnimation animation_;
  bool created_ = false;
  bool testPattern_ = false;
  bool animationBeforeTestPattern_ = false;
  void SendTestPattern();
  CommandHold loadHold_;
  uint32_t firstLoadedFrame_ = 0;  // where the running load's frames begin
};

}  // namespace lumarex
