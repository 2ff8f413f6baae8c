#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "music/bassdll_player.h"
#include "output/jm_laser.h"
#include "output/laser_ausgabe.h"
#include "platform/clock.h"
#include "platform/ui_timer.h"
#include "player/player_window.h"
#include "show/show_store.h"
#include "timecode/show_time_source.h"
#include "widgets/button.h"
#include "widgets/image.h"
#include "widgets/label.h"
#include "widgets/scroll_bar.h"
#include "widgets/status_image.h"

namespace lumarex {

// The time-locked show player: each tick of the frame clock Showplay_Timer derives the frame
// to show from the time since Play and the output rate, previews it and hands it to the
// device when the device is ready. Frames are skipped when ticks come late, never queued; a
// refused frame is not retried. The music starts with the frame clock and then runs on its
// own. User-interface thread only; the frame clock delivers its ticks there.
class ShowPlayer {
 public:
  struct Links {
    ShowStore& store;
    JMLaser& dac;
    LaserAusgabe& output;
    PlayerWindow& window;
    const Clock& clock;
    UiTimer& showplayTimer;  // Showplay_Timer, 5 ms
    StatusImage& statusfenster;
    StatusImage& deviceFenster;
    Image& musik;
    uint16_t& currentFrame;   // CurrentFrame, shared with the optimiser window
    const bool& loading;      // Loading: a show file is being read
    const bool& musicLoaded;  // MusicLoaded: the show's music is in the music player
  };

  ShowPlayer(const Links& links, TBassdllPlayer* music);
  ShowPlayer(const ShowPlayer&) = delete;
  ShowPlayer& operator=(const ShowPlayer&) = delete;

  // --- Controls ---
  ScrollBar Irq_Speed{1, 50, 25};
  Label Speedanzeige{"Speed : Frames je Sek: 25"};
  ScrollBar Framescroll{0, 0, 0};
  Button Play{"Play"};
  Button Stop{"Stop"};
  Button Ruecklauf{"<< 20"};
  Button Vorlauf{"20 >>"};

  // --- State ---
  uint16_t FramePeriodMs = 40;
  uint64_t PlayStartTime = 0;
  uint64_t PlayTimeMs = 0;
  uint16_t LastPlayedFrame = 0;
  bool TickBusy = false;
  uint64_t TickCount = 0;  // the start animation's timer advances it too
  uint32_t TimerRequests = 0;
  uint32_t UnsyncTicks = 0;
  uint32_t RefusedFrames = 0;
  bool MusicPlaying = false;
  // At the end of the show, start again from frame 0 with the music instead of halting.
  bool Repeat = false;
  uint32_t FramesAccepted() const { return TimerRequests - (UnsyncTicks + RefusedFrames); }
  bool Playing() const { return timer_.Enabled(); }

  // --- Handlers ---
  void PlayClick();
  void StopClick() { HaltPlayback(); }
  void Showplay_TimerTimer();
  void RuecklaufClick();
  void VorlaufClick();
  void FramescrollChange();
  void Irq_SpeedChange();
  // The common stop: controls back, timers off, frame 0 shown, output and music stopped.
  void HaltPlayback();
  // The shorter stop of a device search: menus left as they are, the output left to the
  // search.
  void HaltForDeviceSearch();

  // Called after every tick that handled a frame, with the frame, the play time and whether
  // the device took it: the command line lists them.
  std::function<void(uint16_t frame, uint64_t playTimeMs, bool sent)> OnFrameHandled;
  // Called when a tick finds the show at its end (before the halt).
  std::function<void()> OnShowEnded;
  // Sends the frame just sent to the open device to the further outputs of a rig, if any;
  // called with the frame before it goes to the open device, so that they can prepare it
  // meanwhile.
  std::function<void(uint16_t frame)> PrepareFurtherOutputs;
  std::function<void(uint16_t frame)> SendToFurtherOutputs;

  // The music of the show, when there is a music component.
  void SetMusic(TBassdllPlayer* music) { music_ = music; }
  // Where the show stands comes from `source` (timecode, the music's clock) instead of the
  // milliseconds since Play; none: the system clock, as always. For a source from outside
  // (timecode): while it has no position, or one past the show's end, the laser is dark and
  // the music paused; the music follows its position (sought when it is more than 100 ms
  // away). A source of our own only replaces the count: the show ends, repeats and starts its
  // music as on the system clock.
  void SetTimeSource(ShowTimeSource* source) { timeSource_ = source; }
  ShowTimeSource* TimeSource() const { return timeSource_; }
  // The show stands where timecode from outside puts it.
  bool FollowsOutside() const { return timeSource_ != nullptr && timeSource_->FromOutside(); }
  // Where the show's music is heard now, in milliseconds; none while it does not play (and
  // for a tracker module, whose position is counted in rows).
  std::optional<int64_t> MusicHeardMs() const;
  // The laser is dark waiting for the time source.
  bool Holding() const { return holding_; }

 private:
  void Halt(bool full);
  void BlankShowPosition(int32_t x);
  void StartOver(uint64_t now);
  // A tick of a time source: the show position, or none after darkening for it.
  std::optional<uint64_t> SourcePosition(uint64_t now);
  void Hold();
  void FollowMusic(uint64_t positionMs);
  void WriteCounters();
  void WriteShowLines();
  // No frame handled yet in this run: the first tick handles frame 0 whatever frame the run
  // before ended on (LastPlayedFrame still tells that one until then).
  bool handledThisRun_ = false;
  bool HasMusic() const { return musicLoaded_ && music_ != nullptr; }

  ShowStore& store_;
  JMLaser& dac_;
  LaserAusgabe& output_;
  PlayerWindow& window_;
  const Clock& clock_;
  UiTimer& timer_;
  StatusImage& statusfenster_;
  StatusImage& deviceFenster_;
  Image& musik_;
  uint16_t& currentFrame_;
  const bool& loading_;
  const bool& musicLoaded_;
  TBassdllPlayer* music_;
  ShowTimeSource* timeSource_ = nullptr;
  bool holding_ = false;
  int32_t rate_ = 25;
  WaveBuffer wave_{};
};

// "MM : SS : 00" of a length in seconds, as the status panel shows a show's music.
std::string MusicLengthText(int32_t seconds);

}  // namespace lumarex
