#pragma once

#include <cstddef>
#include <cstdint>

#include "dmx/dmx_levels.h"
#include "dmx/dmx_sources.h"
#include "dmx/sacn_packet.h"

namespace lumarex {

// The sources of one sACN universe (each known by its CID) and the levels they merge to.
// Pure; the time, in milliseconds of a monotonic clock, is passed in.
//
// - Sequence: a packet 0..19 behind its source's last one is dropped (see SequenceIsLate).
// - A source is lost 2.5 s after its last packet (E131_NETWORK_DATA_LOSS_TIMEOUT), or at once
//   on its first packet with Stream_Terminated, whose levels are ignored; the repeats of that
//   packet, and a terminated packet of a source we did not know, are ignored.
// - Highest priority wins for the whole universe: only the sources at the highest priority now
//   active count, and a lower one takes over only once every higher one is lost. A source may
//   change its priority from one packet to the next.
// - Sources of equal highest priority: HTP merge (highest level per slot) of up to kMaxSources
//   sources; packets of more sources are ignored while that many are active.
// - When every source is lost the levels hold their last values.
class SacnMerger {
 public:
  static constexpr size_t kMaxSources = 6;
  static constexpr uint32_t kLossTimeoutMs = 2500;

  enum class Verdict : uint8_t {
    kMerged,      // the packet's levels took part
    kLate,        // out of sequence, dropped
    kSourceLost,  // Stream_Terminated: the source is gone
    kIgnored,     // a source beyond kMaxSources, or a terminated one we did not know
  };
  // Takes a packet of this universe (the caller filters by universe).
  Verdict Take(const SacnData& data, uint32_t nowMs);
  // Loses the sources whose time is up. True when the levels changed through it.
  bool Expire(uint32_t nowMs);

  const DmxLevels& Levels() const { return levels_; }
  // Whether levels ever arrived; they hold after the last source is lost.
  bool HasSignal() const { return signal_; }
  size_t SourceCount() const { return sources_.Count(); }

 private:
  void Remerge();

  DmxSources<SacnCid, kMaxSources> sources_;
  DmxLevels levels_{};
  bool signal_ = false;
};

}  // namespace lumarex
