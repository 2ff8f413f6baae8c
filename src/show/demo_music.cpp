#include "show/demo_music.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "platform/atomic_file.h"
#include "show/demo_show.h"

namespace lumarex {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kRate = kDemoMusicRate;
// 150 beats a minute: a scene of 100 frames at 25 per second is exactly ten beats.
constexpr int64_t kBeatMs = 400;

// A chord as three tones in Hz; the bass plays the first an octave down.
using Chord = std::array<double, 3>;
constexpr Chord kAMinor = {220.00, 261.63, 329.63};
constexpr Chord kFMajor = {174.61, 220.00, 261.63};
constexpr Chord kGMajor = {196.00, 246.94, 293.66};
// One chord per scene, round again if there are more scenes; the tail comes home to A minor.
constexpr std::array<Chord, 4> kSceneChords = {kAMinor, kAMinor, kFMajor, kGMajor};

struct StereoBuffer {
  explicit StereoBuffer(size_t frames) : left(frames, 0.0f), right(frames, 0.0f) {}

  size_t Frames() const { return left.size(); }
  static size_t At(int64_t ms) { return static_cast<size_t>(ms * kDemoMusicRate / 1000); }

  // Adds voice(t, side) for t in seconds from `startMs` on, for `seconds`, scaled by the pan
  // (0 left, 1 right).
  template <typename Voice>
  void Add(int64_t startMs, double seconds, double pan, Voice&& voice) {
    const size_t first = At(startMs);
    const size_t last = std::min(Frames(), first + static_cast<size_t>(seconds * kRate));
    const auto leftGain = static_cast<float>(std::cos(pan * std::numbers::pi / 2));
    const auto rightGain = static_cast<float>(std::sin(pan * std::numbers::pi / 2));
    for (size_t i = first; i < last; ++i) {
      const double t = static_cast<double>(i - first) / kRate;
      left[i] += leftGain * static_cast<float>(voice(t, 0));
      right[i] += rightGain * static_cast<float>(voice(t, 1));
    }
  }

  std::vector<float> left;
  std::vector<float> right;
};

// Deterministic noise, so that every build writes the same music.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed) {}
  double Next() {
    state_ = state_ * 1664525u + 22695477u;
    return static_cast<double>(state_ >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
  }

 private:
  uint32_t state_;
};

void Kick(StereoBuffer& out, int64_t ms, double level) {
  // A sine falling from about 150 Hz to 50 Hz: the pitch drop is what makes it a drum.
  out.Add(ms, 0.35, 0.5, [level](double t, int) {
    const double phase = kTwoPi * (50.0 * t + 100.0 * 0.03 * (1.0 - std::exp(-t / 0.03)));
    return level * std::exp(-t / 0.12) * std::sin(phase);
  });
}

// High-passed noise: the difference of successive samples keeps the hiss and drops the rumble.
void Cymbal(StereoBuffer& out, int64_t ms, double level, double decay, uint32_t seed) {
  Noise noise[2] = {Noise(seed), Noise(seed * 7 + 1)};
  double previous[2] = {0.0, 0.0};
  out.Add(ms, decay * 4.0, 0.5, [&](double t, int side) {
    const double n = noise[side].Next();
    const double hiss = n - previous[side];
    previous[side] = n;
    return level * 0.5 * std::exp(-t / decay) * hiss;
  });
}

void Pluck(StereoBuffer& out, int64_t ms, double hz, double level, double decay, double pan) {
  out.Add(ms, decay * 5.0, pan, [=](double t, int) {
    const double attack = std::min(1.0, t / 0.004);
    return level * attack * std::exp(-t / decay) *
           (std::sin(kTwoPi * hz * t) + 0.3 * std::sin(kTwoPi * 2.0 * hz * t));
  });
}

// A held chord, slightly detuned between the sides, faded in and out over `fadeS` seconds.
void Pad(StereoBuffer& out, int64_t fromMs, int64_t toMs, const Chord& chord, double level,
         double fadeS) {
  const double length = static_cast<double>(toMs - fromMs) / 1000.0;
  out.Add(fromMs, length, 0.5, [=](double t, int side) {
    const double envelope = std::min({1.0, t / 0.03, (length - t) / fadeS});
    const double detune = side == 0 ? 0.998 : 1.002;
    double sum = 0.0;
    for (const double hz : chord) sum += std::sin(kTwoPi * hz * detune * t);
    return level * std::max(0.0, envelope) * sum;
  });
}

void Scene(StereoBuffer& out, int64_t fromMs, int64_t toMs, const Chord& chord, uint32_t seed) {
  Pad(out, fromMs, toMs + 30, chord, 0.05, 0.03);
  // A scene shorter than a beat (the test pattern) has its chord only.
  if (toMs - fromMs < kBeatMs) return;
  Kick(out, fromMs, 1.0);
  Cymbal(out, fromMs, 0.45, 0.35, seed);
  const std::array<double, 4> arpeggio = {chord[0] * 2, chord[1] * 2, chord[2] * 2, chord[1] * 2};
  int step = 0;
  for (int64_t beat = fromMs; beat + kBeatMs / 2 <= toMs; beat += kBeatMs, step += 2) {
    if (beat != fromMs) Kick(out, beat, 0.45);
    Pluck(out, beat, chord[0] / 2, 0.22, 0.2, 0.5);
    Cymbal(out, beat + kBeatMs / 2, 0.12, 0.025, seed + static_cast<uint32_t>(step));
    Pluck(out, beat, arpeggio[static_cast<size_t>(step % 4)], 0.07, 0.12, 0.3);
    Pluck(out, beat + kBeatMs / 2, arpeggio[static_cast<size_t>((step + 1) % 4)], 0.07, 0.12, 0.7);
  }
}

void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<int16_t> SynthesiseDemoMusic() {
  const int64_t showMs = DemoFrameMs(kDemoShowFrames);
  StereoBuffer out(StereoBuffer::At(showMs + kDemoMusicTailMs));
  for (size_t k = 0; k < kDemoScenes.size(); ++k) {
    const DemoScene& scene = kDemoScenes[k];
    Scene(out, DemoFrameMs(scene.firstFrame), DemoFrameMs(scene.firstFrame + scene.frameCount),
          kSceneChords[k % kSceneChords.size()], static_cast<uint32_t>(100 * k + 1));
  }
  // The show's end is marked like a change of scene; then the music dies away.
  Kick(out, showMs, 1.0);
  Cymbal(out, showMs, 0.45, 0.6, 999);
  Pad(out, showMs, showMs + kDemoMusicTailMs, kAMinor, 0.05, 2.5);

  std::vector<int16_t> samples;
  samples.reserve(out.Frames() * 2);
  for (size_t i = 0; i < out.Frames(); ++i) {
    for (const float s : {out.left[i], out.right[i]}) {
      // A soft limit instead of clipping where the voices pile up.
      samples.push_back(static_cast<int16_t>(std::lround(30000.0 * std::tanh(s))));
    }
  }
  return samples;
}

bool WriteDemoMusic(const std::string& path) {
  const std::vector<int16_t> samples = SynthesiseDemoMusic();
  const auto dataBytes = static_cast<uint32_t>(samples.size() * sizeof(int16_t));
  std::vector<uint8_t> bytes;
  bytes.reserve(44 + dataBytes);
  const auto text = [&bytes](const char* four) { bytes.insert(bytes.end(), four, four + 4); };
  text("RIFF");
  PutLE(bytes, 36 + dataBytes, 4);
  text("WAVE");
  text("fmt ");
  PutLE(bytes, 16, 4);
  PutLE(bytes, 1, 2);  // PCM
  PutLE(bytes, 2, 2);  // stereo
  PutLE(bytes, kDemoMusicRate, 4);
  PutLE(bytes, kDemoMusicRate * 4, 4);
  PutLE(bytes, 4, 2);
  PutLE(bytes, 16, 2);
  text("data");
  PutLE(bytes, dataBytes, 4);
  for (const int16_t s : samples) PutLE(bytes, static_cast<uint16_t>(s), 2);

  AtomicFile file;
  return file.Open(path) && file.Write(bytes.data(), bytes.size()) && file.Commit();
}

}  // namespace lumarex
