#include "timecode/ltc_capture_input.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace lumarex {
namespace {

// The tests run on SDL's dummy driver (as everywhere in CI: no sound card), whose capture
// device records silence; the input takes that for what it is. Decoding is the file input's.
TEST(LtcCaptureInput, WithoutACaptureDeviceFailsWithItsMessage) {
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
  ManualClock clock;
  for (const char* device : {"", "Scarlett"}) {
    std::string error;
    EXPECT_FALSE(LtcCaptureInput::Open(clock, device, error)) << device;
    EXPECT_EQ(error, "no audio capture device") << device;
  }
}

}  // namespace
}  // namespace lumarex
