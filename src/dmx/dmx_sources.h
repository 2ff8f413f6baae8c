#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "dmx/dmx_levels.h"

namespace lumarex {

// The senders of one universe as a merge keeps them: at most kMax, each with its last levels,
// priority, sequence number and the time of its last packet. Fixed storage, so taking a
// packet allocates nothing. Pure; the time is passed in.
template <typename Key, size_t kMax>
class DmxSources {
 public:
  struct Source {
    Key key{};
    uint8_t priority = 0;
    uint8_t sequence = 0;
    uint32_t lastMs = 0;
    DmxLevels levels{};
  };

  Source* Find(const Key& key) {
    for (size_t i = 0; i < count_; ++i) {
      if (sources_[i].key == key) return &sources_[i];
    }
    return nullptr;
  }
  // A new source with all levels at 0; none when kMax are kept already.
  Source* Add(const Key& key) {
    if (count_ == kMax) return nullptr;
    Source& s = sources_[count_++];
    s = Source{};
    s.key = key;
    return &s;
  }
  void Remove(const Source* source) {
    const auto index = static_cast<size_t>(source - sources_.data());
    if (index >= count_) return;
    sources_[index] = sources_[--count_];
  }
  // Drops every source silent for more than `timeoutMs`; true when one went.
  bool DropSilent(uint32_t nowMs, uint32_t timeoutMs) {
    bool dropped = false;
    for (size_t i = 0; i < count_;) {
      if (nowMs - sources_[i].lastMs > timeoutMs) {
        sources_[i] = sources_[--count_];
        dropped = true;
      } else {
        ++i;
      }
    }
    return dropped;
  }
  size_t Count() const { return count_; }

  // The levels of the sources at the highest priority among them, merged highest takes
  // precedence per slot. With no source `merged` is left as it was: the last look holds.
  void MergeInto(DmxLevels& merged) const {
    if (count_ == 0) return;
    uint8_t top = 0;
    for (size_t i = 0; i < count_; ++i) {
      if (sources_[i].priority > top) top = sources_[i].priority;
    }
    merged.fill(0);
    for (size_t i = 0; i < count_; ++i) {
      if (sources_[i].priority == top) MergeHighest(merged, sources_[i].levels);
    }
  }

 private:
  std::array<Source, kMax> sources_{};
  size_t count_ = 0;
};

}  // namespace lumarex
