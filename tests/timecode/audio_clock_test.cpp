// The music's clock over a long show: a sound card whose crystal runs 0.1 % fast is simulated
// buffer by buffer (no hour is slept), the card's buffers feed the engine's device clock, and
// the player's time source reads it as the player ticks.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "music/device_clock.h"
#include "timecode/audio_time_source.h"

namespace lumarex {
namespace {

using Nanos = std::chrono::nanoseconds;

struct Drift {
  int64_t worstFramesOff = 0;    // the show's frame against the music's, over all ticks
  int64_t systemClockOffMs = 0;  // where the system clock would have put the show, at the end
  uint64_t ticks = 0;
};

// One hour at `framePeriodMs`, the player ticking every 5 ms of wall time, the card asking for
// 1024-frame buffers at 44.1 kHz times `cardSpeed`, one buffer of latency.
Drift PlayAnHour(uint32_t framePeriodMs, double cardSpeed) {
  constexpr double kRate = 44100;
  constexpr uint32_t kBuffer = 1024;
  const Nanos latency(static_cast<int64_t>(1e9 * kBuffer / kRate));
  const double cardPeriodNs = 1e9 * kBuffer / (kRate * cardSpeed);
  const DeviceClock::TimePoint origin{};

  DeviceClock card;
  card.Reset(0);
  double cursor = 0;  // the channel frame the next buffer starts at
  double nextBufferNs = 0;
  int64_t nowNs = 0;
  const auto at = [&origin](int64_t ns) { return origin + Nanos(ns); };
  AudioTimeSource source([&] {
    const std::optional<double> heard = card.HeardAt(at(nowNs));
    return heard ? std::optional<int64_t>(static_cast<int64_t>(*heard * 1000 / kRate))
                 : std::nullopt;
  });

  Drift drift;
  source.Started(0);
  constexpr int64_t kHourNs = int64_t{3600} * 1000000000;
  for (nowNs = 0; nowNs <= kHourNs; nowNs += 5000000) {
    while (nextBufferNs <= static_cast<double>(nowNs)) {
      card.BufferTaken(cursor, kRate, kBuffer, kRate, latency,
                       at(static_cast<int64_t>(nextBufferNs)));
      cursor += kBuffer;
      nextBufferNs += cardPeriodNs;
    }
    const uint64_t showMs = *source.PositionMs(static_cast<uint32_t>(nowNs / 1000000));
    // What the listener hears: the card has played this many frames, less its latency.
    const double heardFrames =
        std::max(0.0, (static_cast<double>(nowNs) - static_cast<double>(latency.count())) * kRate *
                          cardSpeed / 1e9);
    const auto musicFrame = static_cast<int64_t>(heardFrames * 1000 / kRate) / framePeriodMs;
    const auto showFrame = static_cast<int64_t>(showMs / framePeriodMs);
    drift.worstFramesOff = std::max(drift.worstFramesOff, std::abs(showFrame - musicFrame));
    drift.systemClockOffMs = static_cast<int64_t>(heardFrames * 1000 / kRate) - nowNs / 1000000;
    ++drift.ticks;
  }
  return drift;
}

TEST(AudioClockTest, AnHourAgainstACardThatRunsFastStaysWithinAFrameOfTheMusic) {
  for (const uint32_t period : {40u, 20u}) {  // 25 and 50 frames per second
    const Drift drift = PlayAnHour(period, 1.001);
    EXPECT_LE(drift.worstFramesOff, 1) << "period " << period;
    // The system clock would have left the music 3.6 s behind.
    EXPECT_NEAR(static_cast<double>(drift.systemClockOffMs), 3600.0, 30.0);
    EXPECT_EQ(drift.ticks, 720001u);
  }
}

// Without music the show runs on the player's clock, and when the music stops (shorter than
// the show) it goes on from where the music stood, without a jump back or forward.
TEST(AudioClockTest, WithoutMusicItRunsOnThePlayersClockFromWhereTheMusicStood) {
  std::optional<int64_t> music;
  AudioTimeSource source([&music] { return music; });
  source.Started(1000);
  EXPECT_EQ(source.PositionMs(1000), 0u);
  EXPECT_EQ(source.PositionMs(1100), 100u);
  music = 90;  // the first buffer is heard: the show waits for the music rather than step back
  EXPECT_EQ(source.PositionMs(1110), 100u);
  music = 5000;
  EXPECT_EQ(source.PositionMs(1120), 5000u);
  music.reset();
  EXPECT_EQ(source.PositionMs(1220), 5100u);
  EXPECT_EQ(source.MusicTicks(), 2u);
  EXPECT_EQ(source.SystemTicks(), 3u);
  source.Started(2000);  // a repeat starts over
  EXPECT_EQ(source.PositionMs(2040), 40u);
}

}  // namespace
}  // namespace lumarex
