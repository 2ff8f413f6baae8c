#include "player/sva_timer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace lumarex {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(SvaTimer, StartsDisabledWithASecondAndTicksOnTheDispatchersThread) {
  QueueDispatcher ui;
  TSVATimer timer(ui);
  EXPECT_FALSE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 1000u);
  EXPECT_EQ(timer.ThreadPriority(), TimerThreadPriority::kNormal);

  int ticks = 0;
  bool elsewhere = false;
  TSVATimer* sender = nullptr;
  const auto uiThread = std::this_thread::get_id();
  timer.OnTimer = [&](TSVATimer& s) {
    ++ticks;
    sender = &s;
    elsewhere |= std::this_thread::get_id() != uiThread;
  };
  timer.SetInterval(10);
  ui.RunFor(milliseconds(50));
  EXPECT_EQ(ticks, 0) << "disabled";
  timer.SetEnabled(true);
  ui.RunFor(milliseconds(205));
  // A loaded machine may drop a late tick; it never adds one.
  EXPECT_GE(ticks, 10);
  EXPECT_LE(ticks, 20);
  EXPECT_FALSE(elsewhere);
  EXPECT_EQ(sender, &timer);
}

TEST(SvaTimer, KeepsToItsGridOfDeadlinesInsteadOfDrifting) {
  QueueDispatcher ui;
  TSVATimer timer(ui);
  std::vector<steady_clock::time_point> ticks;
  ticks.reserve(200);
  timer.OnTimer = [&](TSVATimer&) { ticks.push_back(steady_clock::now()); };
  timer.SetInterval(10);
  timer.SetThreadPriority(TimerThreadPriority::kTimeCritical);
  const auto start = steady_clock::now();
  timer.SetEnabled(true);
  ui.RunFor(milliseconds(1005));
  ASSERT_GE(ticks.size(), 50u);
  // A timer that slept one period after each tick would have slipped by the accumulated
  // wake-up delays of a hundred ticks; on the grid, the earliest of the last ticks still
  // comes right after its deadline. (The earliest, not a typical one: on a loaded machine
  // most ticks reach the handler late, but lateness does not accumulate.)
  double earliestPhase = 10.0;
  for (size_t k = ticks.size() - 20; k < ticks.size(); ++k) {
    const double ms = std::chrono::duration<double, std::milli>(ticks[k] - start).count();
    earliestPhase = std::min(earliestPhase, ms - 10.0 * std::floor(ms / 10.0));
  }
  EXPECT_LT(earliestPhase, 3.0);
}

TEST(SvaTimer, ASlowHandlerNeverOverlapsAndLateTicksAreDroppedNotBunched) {
  QueueDispatcher ui;
  TSVATimer timer(ui);
  std::atomic<int> inside{0};
  bool overlapped = false;
  std::vector<steady_clock::time_point> ticks;
  timer.OnTimer = [&](TSVATimer&) {
    overlapped |= inside.fetch_add(1) != 0;
    ticks.push_back(steady_clock::now());
    std::this_thread::sleep_for(milliseconds(25));
    inside.fetch_sub(1);
  };
  timer.SetInterval(10);
  timer.SetEnabled(true);
  ui.RunFor(milliseconds(320));
  timer.SetEnabled(false);
  EXPECT_FALSE(overlapped);
  ASSERT_GE(ticks.size(), 3u);
  EXPECT_LE(ticks.size(), 11u);
  for (size_t k = 1; k < ticks.size(); ++k) {
    EXPECT_GE(ticks[k] - ticks[k - 1], milliseconds(25)) << k;
  }
}

TEST(SvaTimer, EnablingTwiceOrSettingTheSameIntervalDoesNotRestart) {
  QueueDispatcher ui;
  TSVATimer timer(ui);
  timer.SetInterval(50);
  timer.SetEnabled(true);
  timer.SetEnabled(true);
  ui.RunFor(milliseconds(20));
  EXPECT_EQ(timer.Starts(), 1u);
  timer.SetInterval(50);
  ui.RunFor(milliseconds(20));
  EXPECT_EQ(timer.Starts(), 1u);
  timer.SetInterval(30);
  ui.RunFor(milliseconds(20));
  EXPECT_EQ(timer.Starts(), 2u);
  EXPECT_TRUE(timer.Enabled()) << "a new interval keeps the timer running";
  EXPECT_EQ(timer.Interval(), 30u);

  timer.SetEnabled(false);
  timer.SetInterval(40);
  ui.RunFor(milliseconds(20));
  EXPECT_EQ(timer.Starts(), 2u) << "a disabled timer stays stopped";
  EXPECT_FALSE(timer.Enabled());
}

TEST(SvaTimer, AnEnabledTimerWithIntervalZeroDoesNotTickUntilItGetsOne) {
  QueueDispatcher ui;
  TSVATimer timer(ui);
  int ticks = 0;
  timer.OnTimer = [&](TSVATimer&) { ++ticks; };
  timer.SetInterval(0);
  timer.SetEnabled(true);
  ui.RunFor(milliseconds(50));
  EXPECT_EQ(ticks, 0);
  timer.SetInterval(5);
  ui.RunFor(milliseconds(52));
  EXPECT_GE(ticks, 3);
}

TEST(SvaTimer, DisablingFromInsideATickStopsAtOnce) {
  QueueDispatcher ui;
  TSVATimer timer(ui);
  int ticks = 0;
  timer.OnTimer = [&](TSVATimer& sender) {
    if (++ticks == 3) sender.SetEnabled(false);
  };
  timer.SetInterval(2);
  timer.SetEnabled(true);
  ui.RunFor(milliseconds(100));
  EXPECT_EQ(ticks, 3);
}

TEST(SvaTimer, ATickHandedOverButNotYetRunIsDroppedByDisablingOrDestroying) {
  QueueDispatcher ui;
  int ticks = 0;
  auto timer = std::make_unique<TSVATimer>(ui);
  timer->OnTimer = [&](TSVATimer&) { ++ticks; };
  timer->SetInterval(2);
  timer->SetEnabled(true);
  std::this_thread::sleep_for(milliseconds(20));  // the worker waits on a queued tick
  timer->SetEnabled(false);
  ui.RunPending();
  EXPECT_EQ(ticks, 0);

  timer->SetEnabled(true);
  std::this_thread::sleep_for(milliseconds(20));
  timer.reset();
  EXPECT_GE(ui.RunPending(), 1u) << "the queued tick outlives its timer";
  EXPECT_EQ(ticks, 0) << "and finds it gone";
}

TEST(SvaTimer, AHandlerMayDestroyItsOwnTimer) {
  QueueDispatcher ui;
  int ticks = 0;
  auto timer = std::make_unique<TSVATimer>(ui);
  timer->OnTimer = [&](TSVATimer&) {
    ++ticks;
    timer.reset();
  };
  timer->SetInterval(2);
  timer->SetEnabled(true);
  ui.RunFor(milliseconds(50));
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(timer, nullptr);
}

TEST(SvaTimer, SurvivesEnableDisableIntervalAndDestroyRaces) {
  QueueDispatcher ui;
  std::mt19937 random(7);
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  std::atomic<bool> tickAfterDestroy{false};
  for (int round = 0; round < 60; ++round) {
    auto alive = std::make_shared<std::atomic<bool>>(true);
    auto timer = std::make_unique<TSVATimer>(ui);
    timer->OnTimer = [&, alive](TSVATimer&) {
      if (!*alive) tickAfterDestroy = true;
      if (inside.fetch_add(1) != 0) overlapped = true;
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
      inside.fetch_sub(1);
    };
    for (int op = 0; op < 30; ++op) {
      switch (random() % 4) {
        case 0:
          timer->SetEnabled(true);
          break;
        case 1:
          timer->SetEnabled(false);
          break;
        case 2:
          timer->SetInterval(static_cast<uint32_t>(random() % 3));
          break;
        default:
          break;
      }
      ui.RunFor(std::chrono::microseconds(random() % 2000));
    }
    if (round % 2 == 0) {
      timer.reset();
    } else {
      // Destroyed on another thread while this one keeps running ticks.
      std::atomic<bool> gone{false};
      std::thread killer([&] {
        timer.reset();
        gone = true;
      });
      EXPECT_TRUE(ui.RunUntil([&] { return gone.load(); }, std::chrono::seconds(5)));
      killer.join();
    }
    *alive = false;
    ui.RunPending();
  }
  EXPECT_FALSE(overlapped);
  EXPECT_FALSE(tickAfterDestroy);
}

TEST(SvaTimer, RemembersTheThreadPriorityItWasGiven) {
  QueueDispatcher ui;
  TSVATimer timer(ui);
  int ticks = 0;
  timer.OnTimer = [&](TSVATimer&) { ++ticks; };
  timer.SetThreadPriority(TimerThreadPriority::kHighest);
  EXPECT_EQ(timer.ThreadPriority(), TimerThreadPriority::kHighest);
  timer.SetThreadPriority(TimerThreadPriority::kIdle);
  timer.SetThreadPriority(TimerThreadPriority::kLower);
  EXPECT_EQ(timer.ThreadPriority(), TimerThreadPriority::kLower);
  timer.SetInterval(5);
  timer.SetEnabled(true);
  ui.RunFor(milliseconds(30));
  EXPECT_GE(ticks, 1) << "ticks at any priority";
}

}  // namespace
}  // namespace lumarex
