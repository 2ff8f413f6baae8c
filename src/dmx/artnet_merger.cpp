#include "dmx/artnet_merger.h"

namespace lumarex {

ArtnetMerger::Verdict ArtnetMerger::Take(const ArtnetSourceId& from, const ArtDmx& dmx,
                                         uint32_t nowMs) {
  Expire(nowMs);
  auto* source = sources_.Find(from);
  if (source) {
    if (source->sequence != 0 && dmx.sequence != 0 &&
        SequenceIsLate(source->sequence, dmx.sequence)) {
      return Verdict::kLate;
    }
  } else if (!(source = sources_.Add(from))) {
    return Verdict::kIgnored;
  }
  source->sequence = dmx.sequence;
  source->lastMs = nowMs;
  SetSlots(source->levels, dmx.slots);
  signal_ = true;
  sources_.MergeInto(levels_);
  return Verdict::kMerged;
}

bool ArtnetMerger::Expire(uint32_t nowMs) {
  if (!sources_.DropSilent(nowMs, kHoldMs)) return false;
  const DmxLevels before = levels_;
  sources_.MergeInto(levels_);
  return levels_ != before;
}

}  // namespace lumarex
