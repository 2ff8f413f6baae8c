#include "timecode/audio_time_source.h"

#include <algorithm>
#include <utility>

namespace lumarex {

AudioTimeSource::AudioTimeSource(MusicPosition music) : music_(std::move(music)) {}

void AudioTimeSource::Started(uint32_t nowMs) {
  startMs_ = nowMs;
  offsetMs_ = 0;
  lastMs_ = 0;
}

std::optional<uint64_t> AudioTimeSource::PositionMs(uint32_t nowMs) {
  const auto elapsed = static_cast<int64_t>(static_cast<uint32_t>(nowMs - startMs_));
  const std::optional<int64_t> heard = music_ ? music_() : std::nullopt;
  int64_t position = 0;
  if (heard) {
    ++musicTicks_;
    position = *heard;
    offsetMs_ = position - elapsed;
  } else {
    ++systemTicks_;
    position = elapsed + offsetMs_;
  }
  // The music's first buffer is heard a little after Play, and a sound card's callbacks come
  // unevenly: the show waits on the frame it stands at rather than step back.
  lastMs_ = std::max(lastMs_, static_cast<uint64_t>(std::max<int64_t>(0, position)));
  return lastMs_;
}

}  // namespace lumarex
