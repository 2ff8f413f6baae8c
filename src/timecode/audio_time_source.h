#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "timecode/show_time_source.h"

namespace lumarex {

// The show position from the music as the sound card plays it, so that the frame and the
// music never drift apart however long the show runs. Without music (none loaded, not
// playing, or shorter than the show and ended) it runs on the player's clock from where the
// music last stood, so the show goes on without a jump.
class AudioTimeSource final : public ShowTimeSource {
 public:
  // Where the music is heard now in milliseconds; none while it does not play.
  using MusicPosition = std::function<std::optional<int64_t>()>;

  explicit AudioTimeSource(MusicPosition music);

  void Started(uint32_t nowMs) override;
  void Stopped() override {}
  std::optional<uint64_t> PositionMs(uint32_t nowMs) override;
  std::string Name() const override { return "audio"; }
  bool FromOutside() const override { return false; }

  // The ticks that took their position from the music, and those that had to fall back.
  uint64_t MusicTicks() const { return musicTicks_; }
  uint64_t SystemTicks() const { return systemTicks_; }

 private:
  MusicPosition music_;
  uint32_t startMs_ = 0;
  // What the system clock is added to: the music's lead over it at the last tick it played.
  int64_t offsetMs_ = 0;
  uint64_t lastMs_ = 0;
  uint64_t musicTicks_ = 0;
  uint64_t systemTicks_ = 0;
};

}  // namespace lumarex
