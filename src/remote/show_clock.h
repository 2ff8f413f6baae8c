#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "control/control_registry.h"
#include "control/set_list_chase.h"
#include "platform/clock.h"
#include "platform/ui_dispatcher.h"
#include "timecode/audio_time_source.h"
#include "timecode/chase_time_source.h"

namespace lumarex {

// What the show's time is counted on, as the window's options and its "Fernsteuerung" set it.
struct ClockSettings {
  bool audio = false;    // the music as the sound card plays it, else the system clock
  std::string timecode;  // a timecode source ("artnet", "mtc:PORT", ...); empty for none
  std::string start = "00:00:00:00";
  uint32_t freewheelMs = 500;
  bool hourSelects = false;
};

// The time source of a window's player: the system clock, the music's clock, or a timecode
// chase that follows the set list, switched while the program runs, and the "Timecode" line
// that tells the operator how the chase stands. User-interface thread only; the form, the
// registry, the dispatcher and the clock outlive it.
class ShowClock {
 public:
  ShowClock(Tform1& form, ControlRegistry& registry, UiDispatcher& dispatcher, const Clock& clock);
  ~ShowClock();
  ShowClock(const ShowClock&) = delete;
  ShowClock& operator=(const ShowClock&) = delete;

  // Puts the player on the clock the settings name (a running show is stopped first). On a
  // malformed start or a timecode input that cannot be had, false with the reason in `error`:
  // the player is then on the system clock.
  bool Apply(const ClockSettings& settings, std::string& error);
  const ClockSettings& Settings() const { return settings_; }

  // "Uhr: System", "Uhr: Audio (Musik)", "Uhr: Audio (System, keine Musik)", or for timecode
  // "Timecode artnet: 01:00:12:05 locked, Versatz +12 ms" ("wartet", "freewheel", "lost";
  // the offset is the timecode's show position less the start of the frame on show).
  std::string StatusLine() const;

  const ChaseTimeSource* Chase() const { return chase_.get(); }

 private:
  void Detach();

  Tform1& form_;
  ControlRegistry& registry_;
  UiDispatcher& dispatcher_;
  const Clock& clock_;
  ClockSettings settings_;
  std::unique_ptr<AudioTimeSource> audio_;
  std::unique_ptr<ChaseTimeSource> chase_;
  std::unique_ptr<SetListChase> setListChase_;
};

}  // namespace lumarex
