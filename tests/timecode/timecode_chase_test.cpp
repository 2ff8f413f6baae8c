#include "timecode/timecode_chase.h"

#include <gtest/gtest.h>

namespace lumarex {
namespace {

// Readings as a test hands them over: the chase is plain logic over any input.
class ScriptedInput final : public TimecodeInput {
 public:
  void Receive(const char* text, uint32_t atMs, uint32_t receivedMs) {
    reading_ = TimecodeReading{*ParseTimecode(text, TimecodeRate::k25), atMs, receivedMs,
                               reading_ ? reading_->count + 1 : 1};
  }
  std::optional<TimecodeReading> Latest() const override { return reading_; }
  std::string Name() const override { return "scripted"; }

 private:
  std::optional<TimecodeReading> reading_;
};

// A show started at 01:00:00:00 follows the timecode from its first reading, runs on its own
// clock through a short silence, holds after the freewheel time and relocates when timecode
// comes back elsewhere.
TEST(TimecodeChase, LocksFreewheelsHoldsAndRelocates) {
  ScriptedInput input;
  TimecodeChase chase(input, ChaseOptions{Timecode{1, 0, 0, 0}, 500, false});
  EXPECT_EQ(chase.At(900).state, ChaseState::kWaiting);
  EXPECT_FALSE(chase.At(900).showMs) << "dark until the first timecode";

  input.Receive("00:59:59:20", 1000, 1000);
  EXPECT_EQ(chase.At(1000).state, ChaseState::kLocked);
  EXPECT_FALSE(chase.At(1000).showMs) << "dark before the start";
  EXPECT_EQ(chase.At(1100).showMs, std::nullopt);
  input.Receive("01:00:00:00", 1200, 1200);
  EXPECT_EQ(chase.At(1200).showMs, 0u);
  // LTC's reading comes a frame after the time it names: the position counts from that time.
  input.Receive("01:00:00:01", 1240, 1280);
  EXPECT_EQ(chase.At(1280).showMs, 80u);
  EXPECT_EQ(chase.At(1399).state, ChaseState::kLocked);
  EXPECT_EQ(chase.At(1401).state, ChaseState::kFreewheel);
  EXPECT_EQ(chase.At(1780).showMs, 580u) << "on its own clock";
  EXPECT_EQ(chase.At(1780).state, ChaseState::kFreewheel);
  const ChasePosition lost = chase.At(1781);
  EXPECT_EQ(lost.state, ChaseState::kLost) << "held after exactly the freewheel time";
  EXPECT_FALSE(lost.showMs);
  EXPECT_EQ(chase.Freewheels(), 1u);
  EXPECT_EQ(chase.Losses(), 1u);

  input.Receive("01:10:00:00", 5000, 5000);
  EXPECT_EQ(chase.At(5000).state, ChaseState::kLocked);
  EXPECT_EQ(chase.At(5040).showMs, 600040u);
  EXPECT_EQ(chase.Losses(), 1u);

  // The hour names the set list entry; the start counts within the hour.
  TimecodeChase hours(input, ChaseOptions{Timecode{0, 0, 2, 0}, 500, true});
  input.Receive("03:00:05:00", 6000, 6000);
  const ChasePosition third = hours.At(6000);
  EXPECT_EQ(third.entry, 3u);
  EXPECT_EQ(third.showMs, 3000u);
  EXPECT_EQ(third.timecodeMs, 3u * 3600000u + 5000u);
}

}  // namespace
}  // namespace lumarex
