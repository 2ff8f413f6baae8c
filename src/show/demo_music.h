#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumarex {

// The demo show's own music, made here rather than taken from anywhere: 44.1 kHz 16-bit
// stereo, a chord and a pulse per scene of the demo show, timed for playback at 25 frames per
// second. Every scene change falls on a beat and gets an accented one with a cymbal, so the
// eye can check the show against the ear; the music outlasts the show by a few seconds and
// fades out, so the show ends before its music does.
inline constexpr uint32_t kDemoMusicRate = 44100;
inline constexpr int kDemoMusicFramesPerSecond = 25;
inline constexpr int kDemoMusicTailMs = 3000;

// When frame `frame` of the demo show comes up at 25 frames per second, in milliseconds;
// the player counts whole milliseconds per frame (1000 div rate).
constexpr int64_t DemoFrameMs(int frame) {
  return int64_t{frame} * (1000 / kDemoMusicFramesPerSecond);
}

// The music as interleaved left and right samples.
std::vector<int16_t> SynthesiseDemoMusic();

// Writes the music as a WAV file, beside the target until it is complete. False when the file
// could not be written; nothing half-written is left.
bool WriteDemoMusic(const std::string& path);

}  // namespace lumarex
