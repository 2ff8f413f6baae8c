// The "Files" menu: load, merge, the four save commands and the palette.

#include <algorithm>
#include <string>

#include "mainwindow/tform1.h"
#include "show/beside_files.h"
#include "show/file_names.h"
#include "show/load_status.h"

namespace lumarex {

namespace {

constexpr const char kLoadFilter[] =
    "Laserfiles |*.ILD;*.Cat;*.Pic;*.lf;*.slf;*.ldb;*.ulf;*.PHO;*.Flx;*.FLA;*.Bin|Ilda Format "
    "0-5   *.ILD|*.ILD|LDA-D / LDS / Phoenix Files   *.Cat|*.Cat|LDS-D / LDS / Phoenix Frame   "
    "*.Pic|*.pic|"
    "Bilda   *.lf *.slf|*.lf ;*.slf|Pangolin QM32   *.ldb|*.ldb|JoJo    *.ULF|*.ulf|Phoenix   "
    "*.PHO|*.PHO|Laserpainter   *.Flx|*.Flx|LaserPainter (Avantar)  *.Fla|*.FLA|Esylase-bin   "
    "*.Bin|*.Bin|"
    "Mamba Black   *.eil|*.eil|Grabben   *.gr1|*.gr1";

constexpr const char kMergeFilter[] =
    "Laserfiles |*.ILD;*.Cat;*.Pic;*.lf;*.slf;*.ldb;*.ulf;*.PHO;*.Flx;*.FLA;*.Bin|Ilda Format "
    "0-5   *.ILD|*.ILD|LDS / Phoenix Files   *.Cat|*.Cat|LDS / Phoenix Frame   *.Pic|*.pic|"
    "Bilda   *.lf *.slf|*.lf ;*.slf|Pangolin QM32   *.ldb|*.ldb|JoJo    *.ULF|*.ulf|Phoenix   "
    "*.PHO|*.PHO|Laserpainter   *.Flx|*.Flx|LaserPainter (Avantar)  *.Fla|*.FLA|Esylase-bin   "
    "*.Bin|*.Bin|"
    "Mamba Black   *.eil|*.eil|Grabben   *.gr1|*.gr1";

constexpr const char kPaletteFilter[] = "LDS/Phoenix  *.pal|*.pal";
constexpr const char kNoFrames[] = "Keine Frames vorhanden  :-(";

}  // namespace

const char* Tform1::LoadFilter() {
  return kLoadFilter;
}

const char* Tform1::MergeFilter() {
  return kMergeFilter;
}

void Tform1::ShowNewShow(bool merge) {
  if (Store.FrameCount == 0) {
    Player.Framescroll.SetRange(0, 0);
    Player.Framescroll.SetPosition(0);
    return;
  }
  Player.Framescroll.SetRange(0, Store.FrameCount - 1);
  Player.Framescroll.SetPosition(0);
  CurrentFrame = 0;
  Store.SaveRangeStart = 0;
  // A load sets the end of the range later, once it knows there is a show; a merge at once.
  if (merge) Store.SaveRangeEnd = Store.FrameCount - 1;
  for (const StatusText& line : SaveRangeLines(Store, merge)) {
    Savefrom.TextOut(line.x, line.y, line.text);
  }
}

void Tform1::BeginLoad() {
  Loading = true;
  Readers.progress = {};
  loadHold_.Hold();
}

void Tform1::EndLoad() {
  loadHold_.Release();
  Readers.progress = {};
  Loading = false;
}

Tform1::LoadProgress Tform1::Progress() const {
  const ReadProgress& read = Readers.progress;
  if (read.size == 0) return {};
  return {Store.FrameCount > firstLoadedFrame_ ? Store.FrameCount - firstLoadedFrame_ : 0u,
          static_cast<uint32_t>(std::min(read.position, read.size) * 1000 / read.size)};
}

bool Tform1::DropFile(const std::string& path) {
  if (!TakesDroppedFiles()) return false;
  LoadFile(path);
  return true;
}

// The load commands refuse to start inside a running load's break (the other commands are
// held disabled then).
void Tform1::Lade_FileClick() {
  if (Loading) return;
  BeginLoad();
  firstLoadedFrame_ = 0;
  StopStartAnimation();
  Dac.jmLaserStopOutput(Dac.DeviceHandle);
  ClearPreview();
  Player.TickBusy = false;
  DrawStatusFrame();
  RunLoad(desktop_.ChooseFileToOpen("OpenDialog1", kLoadFilter));
}

void Tform1::LoadFile(const std::string& path) {
  if (Loading) return;
  BeginLoad();
  firstLoadedFrame_ = 0;
  StopStartAnimation();
  Dac.jmLaserStopOutput(Dac.DeviceHandle);
  ClearPreview();
  Player.TickBusy = false;
  DrawStatusFrame();
  RunLoad(path);
}

void Tform1::RunLoad(const std::optional<std::string>& chosen) {
  LoadResult result;
  if (chosen) {
    Parameter.SetVisible(false);
    Musik.SetVisible(false);
    if (MusicLoaded && Music) Music->UnloadChannel();
    MusicLoaded = false;
    result = LoadShow(Store, Readers, *chosen, false, desktop_, clock_, &clock_);
    LoadDurationMs = result.durationMs;
    result.fileName = *chosen;
    ShowNewShow(false);
  }
  DrawStatusLabels();

  std::optional<uint32_t> musicLength;
  if (Store.FrameCount > 0) {
    loadHold_.SetEnabled(Merge_File, true);
    Store.SaveRangeEnd = Store.FrameCount - 1;
    if (chosen) {
      if (const auto music = FindMusicBeside(*chosen); music && Music) {
        Music->LoadFromFile(*music);
        MusicLoaded = true;
      }
    }
  }
  if (chosen) Parameters.LoadShowParameters(*chosen);

  if (MusicLoaded) {
    Musik.SetVisible(true);
    musicLength = static_cast<uint32_t>(std::max(0, Music->SongLength()));
  }
  const std::array<std::string, 6> noFormats{};
  const bool ilda = UpperExtension(result.fileName) == ".ILD";
  for (const StatusText& line : LoadStatusLines(
           Store, ilda ? Readers.ilda.IldaFormatsSeen : noFormats, result, musicLength)) {
    Statusfenster.TextOut(line.x, line.y, line.text);
  }
  if (chosen && OnShowNameChanged) OnShowNameChanged(*chosen);
  ProcessPendingMessages();
  EndLoad();
}

void Tform1::Merge_FileClick() {
  if (Loading) return;
  BeginLoad();
  // A merge leaves one empty frame between the shows.
  firstLoadedFrame_ = Store.FrameCount + 1u;
  StopStartAnimation();
  Dac.jmLaserStopOutput(Dac.DeviceHandle);
  ClearPreview();
  Player.TickBusy = false;
  DrawStatusFrame();
  if (const auto chosen = desktop_.ChooseFileToOpen("OpenDialog1", kMergeFilter)) {
    MusicLoaded = false;
    const LoadResult result = LoadShow(Store, Readers, *chosen, true, desktop_, clock_, &clock_);
    LoadDurationMs = result.durationMs;
  }
  ShowNewShow(true);
  DrawStatusLabels();
  for (const StatusText& line : MergeStatusLines(Store)) {
    Statusfenster.TextOut(line.x, line.y, line.text);
  }
  ProcessPendingMessages();
  DrawPreviewFrame(CurrentFrame);
  EndLoad();
}

void Tform1::SaveCommand(ShowWriter writer, const char* dialog, const char* filter) {
  StopStartAnimation();
  Dac.jmLaserStopOutput(Dac.DeviceHandle);
  ClearPreview();
  if (writer != ShowWriter::kIlda && Store.FrameCount == 0) {
    desktop_.ShowMessage(kNoFrames);
    return;
  }
  Player.TickBusy = false;
  DrawStatusFrame();
  const auto chosen = desktop_.ChooseFileToSave(dialog, filter);
  if (!chosen) return;
  SaveShow(Store, writer, *chosen, Store.SaveRangeStart, Store.SaveRangeEnd, desktop_, this);
  // The parameters go beside the copy whatever became of it.
  Parameters.SaveShowParameters(SavedFileName(writer, *chosen));
}

void Tform1::Save_LDS_Cat_2008Click() {
  SaveCommand(ShowWriter::kCat2008, "Save_Cat_RGB", "LDS Cat Files | *.Cat");
}

void Tform1::Save_PHO_Cat_2008Click() {
  SaveCommand(ShowWriter::kPhoenixCat, "Save_Cat_RGB", "Phoenix Cat Files | *.Cat");
}

void Tform1::Ilda_True_SaveClick() {
  SaveCommand(ShowWriter::kIlda, "Save_Ilda", "Ilda Files | *.Ild");
}

void Tform1::ULF1Click() {
  SaveCommand(ShowWriter::kUlf, "Save_Ulf", "JoJo Ulf Files | *.Ulf");
}

void Tform1::Load_FarbenClick() {
  StopStartAnimation();
  Dac.jmLaserStopOutput(Dac.DeviceHandle);
  ClearPreview();
  if (const auto chosen = desktop_.ChooseFileToOpen("OpenDialog2", kPaletteFilter)) {
    LoadPaletteFile(Store, *chosen);
  }
  CurrentFrame = 0;
}

}  // namespace lumarex
