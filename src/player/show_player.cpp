#include "player/show_player.h"

#include <algorithm>
#include <string>

#include "show/file_names.h"

namespace lumarex {

namespace {

std::string TwoDigits(int32_t value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

// The "Showpos" label is blanked after a stop or a step: 24 blanks reach from x = 10 or 30 to
// just before the play time's value at x = 110, which stays.
const std::string kBlankLine(24, ' ');

}  // namespace

std::string MusicLengthText(int32_t seconds) {
  return TwoDigits(seconds / 60) + " : " + TwoDigits(seconds % 60) + " : 00";
}

ShowPlayer::ShowPlayer(const Links& links, TBassdllPlayer* music)
    : store_(links.store),
      dac_(links.dac),
      output_(links.output),
      window_(links.window),
      clock_(links.clock),
      timer_(links.showplayTimer),
      statusfenster_(links.statusfenster),
      deviceFenster_(links.deviceFenster),
      musik_(links.musik),
      currentFrame_(links.currentFrame),
      loading_(links.loading),
      musicLoaded_(links.musicLoaded),
      music_(music) {
  Irq_Speed.SetHint("Ausgaberegler 1-50 Hz");
  Speedanzeige.SetHint("Ausgabegeschwindigkeit");
  Framescroll.SetHint("Framepositionsanzeige");
  Play.SetHint("Starte Ausgabe");
  Stop.SetHint("Stop");
  // The hints have always said 10 frames; the buttons step 20.
  Ruecklauf.SetHint("10 Frames zurück");
  Vorlauf.SetHint("10 Frames vor");
  timer_.SetEnabled(false);
  timer_.SetInterval(5);
  timer_.OnTimer = [this] { Showplay_TimerTimer(); };

  Irq_Speed.OnChange([this] { Irq_SpeedChange(); });
  Framescroll.OnChange([this] { FramescrollChange(); });
  Play.OnClick([this] { PlayClick(); });
  Stop.OnClick([this] { StopClick(); });
  Ruecklauf.OnClick([this] { RuecklaufClick(); });
  Vorlauf.OnClick([this] { VorlaufClick(); });
}

void ShowPlayer::PlayClick() {
  if (loading_) return;
  window_.StopStartAnimation();
  window_.DrawPreviewFrame(0);
  dac_.jmLaserStopOutput(dac_.DeviceHandle);
  if (store_.FrameCount == 0) return;

  TimerRequests = 0;
  UnsyncTicks = 0;
  RefusedFrames = 0;
  Irq_Speed.SetVisible(false);
  Ruecklauf.SetVisible(false);
  Vorlauf.SetVisible(false);
  Play.SetVisible(false);
  window_.SetFileMenusEnabled(false);
  window_.DrawStatusLabels();

  rate_ = Irq_Speed.Position();
  timer_.SetInterval(5);
  FramePeriodMs = static_cast<uint16_t>(1000 / rate_);
  TickCount = 0;
  dac_.jmLaserStartOutput(dac_.DeviceHandle);
  // A running frame clock starts its periods anew.
  if (timer_.Enabled()) timer_.SetEnabled(false);
  timer_.SetEnabled(true);

  if (HasMusic()) {
    musik_.SetVisible(true);
    statusfenster_.TextOut(10, 175, "Showlänge ");
    statusfenster_.TextOut(110, 175, ": " + MusicLengthText(music_->SongLength()));
  }
  WriteShowLines();
  TickBusy = false;
  handledThisRun_ = false;
  holding_ = false;
  PlayStartTime = clock_.NowMs();
  if (timeSource_) timeSource_->Started(static_cast<uint32_t>(PlayStartTime));
  // Timecode starts the music where it first puts the show.
  if (!FollowsOutside() && HasMusic()) music_->Play();
}

void ShowPlayer::WriteShowLines() {
  statusfenster_.TextOut(10, 115, "Showpos ");
  statusfenster_.TextOut(10, 140, "Show :");
  // The file name in upper case, at most 40 characters, then without its last three (a
  // three-letter extension loses its letters and keeps its dot).
  const std::string name = CutToCharacters(UpperCase(BaseName(store_.ShowFileName)), 40);
  statusfenster_.TextOut(10, 155, DropLastCharacters(name, 3));
}

void ShowPlayer::Showplay_TimerTimer() {
  const uint64_t now = clock_.NowMs();
  if (FollowsOutside()) {
    const std::optional<uint64_t> position = SourcePosition(now);
    if (!position) return;
    PlayTimeMs = *position;
  } else if (timeSource_) {
    PlayTimeMs = timeSource_->PositionMs(static_cast<uint32_t>(now)).value_or(now - PlayStartTime);
  } else {
    // Both readings are zero-extended 32-bit milliseconds: after the clock wraps the
    // difference is huge and the show ends, which is how it has always behaved.
    PlayTimeMs = now - PlayStartTime;
  }
  const auto frame = static_cast<uint16_t>(PlayTimeMs / FramePeriodMs);
  ++TickCount;
  ++TimerRequests;
  if (TickBusy || (handledThisRun_ && frame == LastPlayedFrame)) {
    ++UnsyncTicks;
    return;
  }
  TickBusy = true;
  handledThisRun_ = true;
  if (frame > store_.FrameCount - 1) {
    LastPlayedFrame = frame;
    if (Repeat) {
      StartOver(now);
      TickBusy = false;
      return;
    }
    if (OnShowEnded) OnShowEnded();
    HaltPlayback();
    window_.ProcessPendingMessages();
    TickBusy = false;
    return;
  }

  if (PrepareFurtherOutputs) PrepareFurtherOutputs(frame);
  const bool previewed = rate_ < 26 || frame % 2 == 0;
  MusicPlaying = HasMusic() && music_->Status() == TPlayerStatus::sndPlaying;
  if (MusicPlaying && previewed) {
    wave_.fill(0);
    music_->GetWaveData(wave_);
    window_.DrawScope(wave_);
  }
  if (previewed) window_.DrawPreviewFrame(frame);
  // A frame the device refuses at the write, after it said it was ready, is refused as
  // well: "Frames angenommen" counts only what the device took.
  const bool sent = dac_.jmLaserIsDeviceReady(dac_.DeviceHandle) == 1 && output_.OutputFrame(frame);
  if (!sent) ++RefusedFrames;
  if (SendToFurtherOutputs) SendToFurtherOutputs(frame);
  LastPlayedFrame = frame;
  WriteCounters();
  if (OnFrameHandled) OnFrameHandled(frame, PlayTimeMs, sent);
  TickBusy = false;
}

std::optional<uint64_t> ShowPlayer::SourcePosition(uint64_t now) {
  std::optional<uint64_t> position = timeSource_->PositionMs(static_cast<uint32_t>(now));
  // Past the end the show waits, dark, for the timecode to come back into it.
  if (position && *position / FramePeriodMs > uint64_t{store_.FrameCount} - 1) position.reset();
  if (!position) {
    ++TickCount;
    ++TimerRequests;
    ++UnsyncTicks;
    Hold();
    return std::nullopt;
  }
  if (holding_) {
    holding_ = false;
    dac_.jmLaserStartOutput(dac_.DeviceHandle);
  }
  FollowMusic(*position);
  return position;
}

void ShowPlayer::Hold() {
  if (holding_) return;
  holding_ = true;
  // The first frame after the hold is handled whatever frame was last.
  handledThisRun_ = false;
  dac_.jmLaserStopOutput(dac_.DeviceHandle);
  if (HasMusic() && music_->Status() == TPlayerStatus::sndPlaying) music_->Pause();
}

std::optional<int64_t> ShowPlayer::MusicHeardMs() const {
  if (!HasMusic() || music_->ChannelKind != 0 || music_->Status() != TPlayerStatus::sndPlaying) {
    return std::nullopt;
  }
  return music_->PositionMs();
}

void ShowPlayer::FollowMusic(uint64_t positionMs) {
  // Music shorter than the show has ended: it is not started again for the rest.
  if (!HasMusic() || positionMs >= uint64_t{1000} * static_cast<uint64_t>(music_->SongLength())) {
    return;
  }
  const auto wanted = static_cast<int64_t>(positionMs);
  if (music_->Status() != TPlayerStatus::sndPlaying) {
    music_->SetPositionMs(wanted);
    music_->Play();
  } else if (const int64_t off = music_->PositionMs() - wanted; off > 100 || off < -100) {
    music_->SetPositionMs(wanted);
  }
}

void ShowPlayer::StartOver(uint64_t now) {
  // The clock starts again; frame 0 differs from the frame past the end just recorded, so the
  // next tick handles it. The music starts again with it.
  PlayStartTime = now;
  PlayTimeMs = 0;
  handledThisRun_ = false;
  if (timeSource_) timeSource_->Started(static_cast<uint32_t>(now));
  if (HasMusic()) {
    music_->Stop();
    music_->SetPosition(0);
    music_->Play();
  }
}

void ShowPlayer::WriteCounters() {
  deviceFenster_.TextOut(150, 180, ": " + std::to_string(TimerRequests) + "        ");
  deviceFenster_.TextOut(150, 195, ": " + std::to_string(UnsyncTicks) + "       ");
  deviceFenster_.TextOut(150, 210, ": " + std::to_string(FramesAccepted()) + "       ");
  deviceFenster_.TextOut(150, 225, ": " + std::to_string(RefusedFrames) + "        ");
}

void ShowPlayer::HaltPlayback() {
  Halt(true);
}

void ShowPlayer::HaltForDeviceSearch() {
  Halt(false);
}

void ShowPlayer::Halt(bool full) {
  Irq_Speed.SetVisible(true);
  Ruecklauf.SetVisible(true);
  Vorlauf.SetVisible(true);
  Play.SetVisible(true);
  window_.StopStartAnimation();
  currentFrame_ = 0;
  timer_.SetEnabled(false);
  if (timeSource_) timeSource_->Stopped();
  holding_ = false;
  // The device search leaves the menus alone and stops the output itself.
  if (full) window_.SetFileMenusEnabled(true);
  window_.ClearPreview();
  window_.DrawPreviewFrame(0);
  BlankShowPosition(10);
  if (full) dac_.jmLaserStopOutput(dac_.DeviceHandle);
  if (HasMusic()) {
    music_->Stop();
    music_->SetPosition(0);
  }
  if (full) window_.ClearScope();
}

void ShowPlayer::BlankShowPosition(int32_t x) {
  statusfenster_.TextOut(x, 115, kBlankLine);
}

void ShowPlayer::RuecklaufClick() {
  window_.StopStartAnimation();
  window_.ClearPreview();
  currentFrame_ = static_cast<uint16_t>(Framescroll.Position());
  if (currentFrame_ > 20) currentFrame_ = static_cast<uint16_t>(currentFrame_ - 20);
  window_.DrawPreviewFrame(currentFrame_);
  BlankShowPosition(10);
  dac_.jmLaserStopOutput(dac_.DeviceHandle);
}

void ShowPlayer::VorlaufClick() {
  window_.StopStartAnimation();
  window_.ClearPreview();
  currentFrame_ = static_cast<uint16_t>(Framescroll.Position());
  if (currentFrame_ + 20 < store_.FrameCount)
    currentFrame_ = static_cast<uint16_t>(currentFrame_ + 20);
  window_.DrawPreviewFrame(currentFrame_);
  dac_.jmLaserStopOutput(dac_.DeviceHandle);
  BlankShowPosition(30);
}

void ShowPlayer::FramescrollChange() {
  window_.StopStartAnimation();
  const bool playing = timer_.Enabled();
  if (!playing) window_.DrawStatusLabels();
  const int32_t position = Framescroll.Position();
  currentFrame_ = position >= store_.FrameCount ? 0 : static_cast<uint16_t>(position);
  if (!playing) window_.DrawPreviewFrame(currentFrame_);
}

void ShowPlayer::Irq_SpeedChange() {
  window_.StopStartAnimation();
  window_.ClearPreview();
  Speedanzeige.SetCaption("Speed: Frames je Sek : " + std::to_string(Irq_Speed.Position()));
}

}  // namespace lumarex
