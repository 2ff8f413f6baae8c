#pragma once

#include <array>
#include <cstdint>

#include "music/bass_api.h"

namespace lumarex {

// The component's three sound effects, as DSP routines over 32-bit float stereo (the
// component turns the engine's float DSP option on). Each keeps its state in the object that
// is handed to the engine as the routine's user value.

struct RotateEffect {
  double angle = 0.0;
  static void Process(HDSP, DWORD, void* buffer, DWORD length, void* user);
};

struct EchoEffect {
  static constexpr size_t kFrames = 1200;  // 27 ms at 44.1 kHz
  std::array<std::array<float, 2>, kFrames> history{};
  size_t position = 0;
  static void Process(HDSP, DWORD, void* buffer, DWORD length, void* user);
};

struct FlangerEffect {
  static constexpr size_t kFrames = 350;  // the sweep range, 8 ms at 44.1 kHz
  std::array<std::array<float, 2>, kFrames> history{};
  size_t position = 0;
  double sweep = kFrames / 2.0;
  double sweepStep = 0.002;
  static void Process(HDSP, DWORD, void* buffer, DWORD length, void* user);
};

}  // namespace lumarex
