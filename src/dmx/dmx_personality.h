#pragma once

#include <cstdint>
#include <optional>

#include "control/control_registry.h"
#include "control/remote_command.h"
#include "dmx/personality_values.h"

namespace lumarex {

// Our DMX personality: four channels from the start address that drive the show through the
// registry. User-interface thread only, like the registry.
//
//   A     show      1..255 the set list entry, loaded and played (Go) when the value changes;
//                   0 none (nothing happens)
//   A+1   playback  0..127 stop, 128..255 play, acting when the value crosses 128
//   A+2   rate      0 leave it; 1..50 frames a second, higher values 50
//   A+3   dimmer    0 Blackout (stop, laser dark at once) when it changes to 0; 1..255 the
//                   power track bar from its lowest to its highest position
//
// The first values count as a change from show 0, playback stopped and a lit dimmer, so a desk
// that starts at all zeros darkens the laser. While the dimmer is at 0 nothing plays: a new
// show is only loaded (Cue) and playback waits; leaving 0 plays when the playback channel is
// at 128 or above. The rate control takes no input while a show plays (the window hides it),
// so the wanted rate is kept and set whenever a show stops and on each update while the rate
// differs. The power lock holds as the registry enforces it.
class DmxPersonality {
 public:
  DmxPersonality(ControlRegistry& registry, CommandSource source);
  ~DmxPersonality();
  DmxPersonality(const DmxPersonality&) = delete;
  DmxPersonality& operator=(const DmxPersonality&) = delete;

  // New values of the four channels (the receiver sends only changes).
  void Apply(const PersonalityValues& values);

  // The power track bar's position for a dimmer value of 1..255 over the bar's range.
  static int32_t PowerPosition(uint8_t dimmer, int32_t min, int32_t max);

 private:
  bool Run(RemoteCommand::Kind kind, int32_t value = 0, const char* control = "");
  void ApplyRate();
  void StateChanged();

  ControlRegistry& registry_;
  CommandSource source_;
  std::optional<PersonalityValues> last_;
  std::optional<int32_t> wantedRate_;
  bool settingRate_ = false;
  bool wasPlaying_ = false;
  ControlRegistry::ListenerId listener_ = 0;
};

}  // namespace lumarex
