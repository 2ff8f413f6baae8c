#pragma once

#include <cstddef>
#include <cstdint>

#include "dmx/artnet_packet.h"
#include "dmx/dmx_levels.h"
#include "dmx/dmx_sources.h"

namespace lumarex {

// An Art-Net sender as a merge tells them apart: its IP address and the Physical field (the
// input port it sends from).
struct ArtnetSourceId {
  uint32_t ip = 0;  // host order
  uint8_t physical = 0;
  bool operator==(const ArtnetSourceId&) const = default;
};

// The sources of one Port-Address and the levels they merge to. Pure; the time, in
// milliseconds of a monotonic clock, is passed in.
//
// - Sequence: when both the last and the new sequence number are non-zero (0 means "not
//   numbered"), a packet 0..19 behind its source's last one is dropped (see SequenceIsLate).
// - Two sources are merged HTP (highest level per slot), the most Art-Net allows; packets of
//   a third are ignored while two are active.
// - A source that stops is held in the merge for 10 s after its last packet.
// - A packet sets the slots it carries; the source's slots beyond keep their last values.
// - When every source is gone the levels hold their last values.
class ArtnetMerger {
 public:
  static constexpr size_t kMaxSources = 2;
  static constexpr uint32_t kHoldMs = 10000;

  enum class Verdict : uint8_t {
    kMerged,   // the packet's levels took part
    kLate,     // out of sequence, dropped
    kIgnored,  // a third source
  };
  // Takes an ArtDmx of this Port-Address (the caller filters by Port-Address).
  Verdict Take(const ArtnetSourceId& from, const ArtDmx& dmx, uint32_t nowMs);
  // Drops the sources held long enough. True when the levels changed through it.
  bool Expire(uint32_t nowMs);

  const DmxLevels& Levels() const { return levels_; }
  // Whether levels ever arrived; they hold after the last source is gone.
  bool HasSignal() const { return signal_; }
  size_t SourceCount() const { return sources_.Count(); }

 private:
  DmxSources<ArtnetSourceId, kMaxSources> sources_;
  DmxLevels levels_{};
  bool signal_ = false;
};

}  // namespace lumarex
