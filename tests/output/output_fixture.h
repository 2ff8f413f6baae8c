#pragma once

#include <cstdint>
#include <vector>

#include "output/jm_laser.h"
#include "output/laser_ausgabe.h"
#include "show/show_store.h"
#include "widgets/status_image.h"

namespace lumarex::testing {

// The output transform with its status images and an unbound driver library: every write
// answers -999, and the test reads the DacPoint list the transform built.
struct OutputFixture {
  ShowStore store;
  JMLaser dac;
  StatusImage scanninfo{250, 430};
  StatusImage deviceFenster{250, 243};
  LaserAusgabe output{store, dac, scanninfo, deviceFenster};

  void Stage(const std::vector<SequencePoint>& points) {
    for (size_t k = 0; k < points.size(); ++k) output.StagedPoints()[k] = points[k];
    output.TransformAndSend(static_cast<uint32_t>(points.size()));
  }

  std::vector<DacPoint> Sent() const {
    const auto list = output.LastDacPoints();
    return {list.begin(), list.end()};
  }
};

inline SequencePoint Lit(int32_t x, int32_t y, uint8_t r = 90, uint8_t g = 60, uint8_t b = 30) {
  return {x, y, r, g, b, 0};
}

inline SequencePoint Dark(int32_t x, int32_t y) {
  return {x, y, 0, 0, 0, 0};
}

// A DAC point at the default calibration (scale 0.5, offset 0, identity tables).
inline DacPoint At(int32_t x, int32_t y, uint8_t r = 0, uint8_t g = 0, uint8_t b = 0) {
  return DacPoint{static_cast<uint16_t>(x / 2 + 32768),
                  static_cast<uint16_t>(y / 2 + 32768),
                  r,
                  g,
                  b,
                  static_cast<uint8_t>((r + g + b) / 3),
                  {0, 0, 0, 0}};
}

}  // namespace lumarex::testing
