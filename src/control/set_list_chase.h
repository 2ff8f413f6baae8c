#pragma once

#include <memory>

#include "control/control_registry.h"
#include "platform/ui_dispatcher.h"
#include "timecode/chase_time_source.h"

namespace lumarex {

// Keeps a timecode chase on the set list. The show on stage starts at its entry's own
// "#LUMAREX-TC" time, or at the chase's start where the entry gives none (or the show is not
// an entry). With hour selects the hour of the timecode names the entry: when it names
// another one than is on show, that one is loaded and played (a WAV played as if live runs on
// through the change), and until it plays the laser stays dark. An hour with no entry keeps
// the laser dark. User-interface thread only; both outlive it.
class SetListChase {
 public:
  SetListChase(ControlRegistry& registry, ChaseTimeSource& chase, UiDispatcher& dispatcher);
  ~SetListChase();
  SetListChase(const SetListChase&) = delete;
  SetListChase& operator=(const SetListChase&) = delete;

  // How often the hour loaded an entry.
  uint32_t EntriesLoaded() const { return loads_; }

 private:
  void FollowEntry();
  void HourNames(uint32_t entry);

  ControlRegistry& registry_;
  ChaseTimeSource& chase_;
  UiDispatcher& dispatcher_;
  const Timecode defaultStart_;
  ControlRegistry::ListenerId listener_ = 0;
  uint32_t pending_ = 0;  // the entry a posted load is on its way to
  uint32_t loads_ = 0;
  // Posted loads find the follower gone through this.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace lumarex
