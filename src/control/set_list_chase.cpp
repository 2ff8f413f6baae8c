#include "control/set_list_chase.h"

namespace lumarex {

SetListChase::SetListChase(ControlRegistry& registry, ChaseTimeSource& chase,
                           UiDispatcher& dispatcher)
    : registry_(registry),
      chase_(chase),
      dispatcher_(dispatcher),
      defaultStart_(chase.Chase().Options().start) {
  listener_ = registry_.AddStateListener([this] { FollowEntry(); });
  chase_.OnPosition = [this](const ChasePosition& position) {
    if (position.state == ChaseState::kLocked || position.state == ChaseState::kFreewheel) {
      HourNames(position.entry);
    }
  };
  FollowEntry();
}

SetListChase::~SetListChase() {
  *alive_ = false;
  chase_.OnPosition = nullptr;
  registry_.RemoveListener(listener_);
}

void SetListChase::FollowEntry() {
  const size_t entry = registry_.SetListEntry();
  chase_.SetEntryOnShow(static_cast<uint32_t>(entry));
  const std::optional<Timecode> own =
      entry > 0 ? registry_.List().Start(entry - 1) : std::optional<Timecode>();
  chase_.SetStart(own.value_or(defaultStart_));
}

void SetListChase::HourNames(uint32_t entry) {
  if (!chase_.Chase().Options().hourSelects || entry == 0 || entry > registry_.List().Count() ||
      entry == registry_.SetListEntry() || entry == pending_) {
    return;
  }
  // Not from inside the player's tick: the load stops the player that is ticking.
  pending_ = entry;
  dispatcher_.Post([this, entry, alive = alive_] {
    if (!*alive) return;
    pending_ = 0;
    if (entry == registry_.SetListEntry()) return;
    chase_.KeepInputThrough([this, entry] {
      if (registry_.Go(entry, CommandSource::kTimecode)) ++loads_;
    });
  });
}

}  // namespace lumarex
