#include "music/sound_effects.h"

#include <cmath>
#include <numbers>

namespace lumarex {

void RotateEffect::Process(HDSP, DWORD, void* buffer, DWORD length, void* user) {
  auto& self = *static_cast<RotateEffect*>(user);
  auto* d = static_cast<float*>(buffer);
  const size_t frames = length / (2 * sizeof(float));
  for (size_t i = 0; i < frames; ++i) {
    // A full turn of the stereo image every ~4.7 s at 44.1 kHz.
    d[2 * i] *= static_cast<float>(std::fabs(std::sin(self.angle)));
    d[2 * i + 1] *= static_cast<float>(std::fabs(std::cos(self.angle)));
    self.angle = std::fmod(self.angle + 0.00003, 2.0 * std::numbers::pi);
  }
}

void EchoEffect::Process(HDSP, DWORD, void* buffer, DWORD length, void* user) {
  auto& self = *static_cast<EchoEffect*>(user);
  auto* d = static_cast<float*>(buffer);
  const size_t frames = length / (2 * sizeof(float));
  for (size_t i = 0; i < frames; ++i) {
    auto& past = self.history[self.position];
    // The sides cross over in the echo, which widens the sound.
    const float left = d[2 * i] + past[1] / 2.0f;
    const float right = d[2 * i + 1] + past[0] / 2.0f;
    past = {left, right};
    d[2 * i] = left;
    d[2 * i + 1] = right;
    self.position = (self.position + 1) % kFrames;
  }
}

void FlangerEffect::Process(HDSP, DWORD, void* buffer, DWORD length, void* user) {
  auto& self = *static_cast<FlangerEffect*>(user);
  auto* d = static_cast<float*>(buffer);
  const size_t frames = length / (2 * sizeof(float));
  for (size_t i = 0; i < frames; ++i) {
    const auto whole = static_cast<size_t>(self.sweep);
    const auto fraction = static_cast<float>(self.sweep - static_cast<double>(whole));
    const size_t p1 = (self.position + whole) % kFrames;
    const size_t p2 = (p1 + 1) % kFrames;
    for (size_t c = 0; c < 2; ++c) {
      const float delayed =
          self.history[p1][c] * (1.0f - fraction) + self.history[p2][c] * fraction;
      self.history[self.position][c] = d[2 * i + c];
      d[2 * i + c] = (d[2 * i + c] + delayed) * 0.7f;
    }
    self.position = (self.position + 1) % kFrames;
    self.sweep += self.sweepStep;
    if (self.sweep < 0.0 || self.sweep > kFrames - 1.0) {
      self.sweepStep = -self.sweepStep;
      self.sweep += self.sweepStep;
    }
  }
}

}  // namespace lumarex
