#include "dmx/sacn_merger.h"

namespace lumarex {

SacnMerger::Verdict SacnMerger::Take(const SacnData& data, uint32_t nowMs) {
  // A source silent for too long comes back as a new one, whatever its sequence number.
  Expire(nowMs);
  auto* source = sources_.Find(data.cid);
  if (data.streamTerminated) {
    if (!source) return Verdict::kIgnored;
    sources_.Remove(source);
    Remerge();
    return Verdict::kSourceLost;
  }
  if (source) {
    if (SequenceIsLate(source->sequence, data.sequence)) return Verdict::kLate;
  } else if (!(source = sources_.Add(data.cid))) {
    return Verdict::kIgnored;
  }
  source->priority = data.priority;
  source->sequence = data.sequence;
  source->lastMs = nowMs;
  // A packet carries its source's whole universe: slots it leaves out are not sourced.
  source->levels.fill(0);
  SetSlots(source->levels, data.slots);
  signal_ = true;
  Remerge();
  return Verdict::kMerged;
}

bool SacnMerger::Expire(uint32_t nowMs) {
  if (!sources_.DropSilent(nowMs, kLossTimeoutMs)) return false;
  const DmxLevels before = levels_;
  Remerge();
  return levels_ != before;
}

void SacnMerger::Remerge() {
  sources_.MergeInto(levels_);
}

}  // namespace lumarex
