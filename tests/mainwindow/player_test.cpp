#include "player/show_player.h"

#include <vector>

#include "tests/mainwindow/window_fixture.h"

namespace lumarex {
namespace {

using test::WindowTest;

struct Handled {
  uint16_t frame;
  uint64_t ms;
  bool sent;
  friend bool operator==(const Handled&, const Handled&) = default;
};

class ShowPlayerTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    form->Player.OnFrameHandled = [this](uint16_t f, uint64_t ms, bool sent) {
      handled.push_back({f, ms, sent});
    };
  }
  ShowPlayer& player() { return form->Player; }

  std::vector<Handled> handled;
};

TEST_F(ShowPlayerTest, RateTwentyFiveHandlesAFrameEveryFortyMillisecondsAndCountsTheRest) {
  LoadShow(100);
  clock.Set(5000);
  player().Play.Click();
  ASSERT_TRUE(player().Playing());
  EXPECT_FALSE(player().Play.Visible());
  EXPECT_FALSE(form->Lade_File.Enabled());
  EXPECT_EQ(player().FramePeriodMs, 40);
  const int32_t writesBefore = driver.Writes();
  for (int tick = 0; tick < 200; ++tick) TickAfter(5);

  // Every run starts with frame 0 on its first tick, although frame 0 is also what the
  // start-up left in LastPlayedFrame.
  ASSERT_EQ(handled.size(), 26u);
  EXPECT_EQ(handled.front(), (Handled{0, 5, true}));
  EXPECT_EQ(handled[1], (Handled{1, 40, true}));
  EXPECT_EQ(handled.back(), (Handled{25, 1000, true}));
  EXPECT_EQ(player().TimerRequests, 200u);
  EXPECT_EQ(player().UnsyncTicks, 174u);
  EXPECT_EQ(player().FramesAccepted(), 26u);
  EXPECT_EQ(driver.Writes() - writesBefore, 26);
  EXPECT_EQ(form->DeviceFenster.TextAt(150, 180), ": 200        ");
  EXPECT_EQ(form->DeviceFenster.TextAt(150, 195), ": 174       ");
  EXPECT_EQ(form->Statusfenster.TextAt(110, 10), ": 25            ");
  EXPECT_EQ(form->Statusfenster.TextAt(110, 115), ": 00 : 01 : 00  ");

  // A busy device refuses frames; the clock runs on.
  driver.SetReady(false);
  for (int tick = 0; tick < 8; ++tick) TickAfter(5);
  EXPECT_EQ(handled.back(), (Handled{26, 1040, false}));
  EXPECT_EQ(player().RefusedFrames, 1u);
  EXPECT_EQ(form->DeviceFenster.TextAt(150, 225), ": 1        ");

  player().Stop.Click();
  EXPECT_FALSE(player().Playing());
  EXPECT_TRUE(player().Play.Visible());
  EXPECT_TRUE(form->Lade_File.Enabled());
  EXPECT_EQ(form->CurrentFrame, 0);
  EXPECT_EQ(player().Framescroll.Position(), 0);
}

TEST_F(ShowPlayerTest, HighRatesPreviewEvenFramesOnlyAndThirtyRunsAtThirtyThreeMilliseconds) {
  LoadShow(100);
  player().Irq_Speed.SetPosition(30);
  EXPECT_EQ(player().Speedanzeige.Caption(), "Speed: Frames je Sek : 30");
  player().Play.Click();
  EXPECT_EQ(player().FramePeriodMs, 33);
  for (int tick = 0; tick < 20; ++tick) TickAfter(5);
  ASSERT_GE(handled.size(), 3u);
  EXPECT_EQ(handled[1].ms, 35u);  // the first tick at or after 33 ms
  player().Stop.Click();

  handled.clear();
  player().Irq_Speed.SetPosition(50);
  player().Play.Click();
  uint64_t previews = preview.presented;
  std::vector<uint16_t> previewed;
  for (int tick = 0; tick < 40; ++tick) {
    TickAfter(5);
    if (preview.presented != previews) previewed.push_back(handled.back().frame);
    previews = preview.presented;
  }
  EXPECT_EQ(handled.size(), 11u);  // frames 0..10 in 200 ms
  for (const uint16_t f : previewed) EXPECT_EQ(f % 2, 0) << f;
  EXPECT_EQ(previewed.size(), 6u);
}

TEST_F(ShowPlayerTest, AOneFrameShowEndsAfterItsPeriodAndTheLastFrameCarriesOver) {
  LoadShow(1);
  player().Play.Click();
  TickAfter(5);
  ASSERT_EQ(handled.size(), 1u) << "a one-frame show plays its frame on the first Play";
  EXPECT_EQ(handled[0], (Handled{0, 5, true}));
  for (int tick = 0; tick < 8; ++tick) TickAfter(5);
  EXPECT_FALSE(player().Playing()) << "the first tick past the last frame halts";
  EXPECT_EQ(player().LastPlayedFrame, 1);
  EXPECT_EQ(handled.size(), 1u) << "frame 1 is neither drawn nor sent";

  // The second run outputs frame 0 again.
  handled.clear();
  player().Play.Click();
  TickAfter(5);
  ASSERT_EQ(handled.size(), 1u);
  EXPECT_EQ(handled[0].frame, 0);
  player().Stop.Click();
  EXPECT_EQ(player().LastPlayedFrame, 0);

  // Stopped on frame 0: the next run starts with frame 0 all the same.
  handled.clear();
  LoadShow(5, "five.ild");
  player().Play.Click();
  for (int tick = 0; tick < 9; ++tick) TickAfter(5);
  ASSERT_FALSE(handled.empty());
  EXPECT_EQ(handled[0].frame, 0);
  EXPECT_EQ(handled[1].frame, 1);
}

TEST_F(ShowPlayerTest, StepsScrollingAndPlayGuards) {
  LoadShow(40);
  player().Framescroll.SetPosition(15);
  player().Ruecklauf.Click();
  EXPECT_EQ(form->CurrentFrame, 15);
  player().Framescroll.SetPosition(25);
  player().Ruecklauf.Click();
  EXPECT_EQ(form->CurrentFrame, 5);
  EXPECT_EQ(player().Framescroll.Position(), 5);
  player().Framescroll.SetPosition(30);
  player().Vorlauf.Click();
  EXPECT_EQ(form->CurrentFrame, 30) << "30 + 20 is beyond the 40 frames";
  player().Framescroll.SetPosition(10);
  player().Vorlauf.Click();
  EXPECT_EQ(form->CurrentFrame, 30);

  // A scroll bar position beyond the show makes the current frame 0.
  player().Framescroll.SetRange(0, 100);
  player().Framescroll.SetPosition(77);
  EXPECT_EQ(form->CurrentFrame, 0);

  form->Loading = true;
  player().Play.Click();
  EXPECT_FALSE(player().Playing());
  form->Loading = false;
}

TEST_F(ShowPlayerTest, ANeverReadyDeviceAndARefusedWriteCountAsRefused) {
  LoadShow(10);
  driver.SetReady(false);
  player().Play.Click();
  for (int tick = 0; tick < 40; ++tick) TickAfter(5);
  EXPECT_EQ(player().RefusedFrames, handled.size());
  EXPECT_EQ(player().FramesAccepted(), 0u);
  EXPECT_EQ(form->DeviceFenster.TextAt(150, 210), ": 0       ");
  player().Stop.Click();

  // Ready, but the write is refused (a frame beyond the device's limit, a link just lost):
  // the frame was not taken, whatever the device said a moment before.
  handled.clear();
  driver.SetReady(true);
  driver.SetWriteResult(-10);
  player().Play.Click();
  for (int tick = 0; tick < 40; ++tick) TickAfter(5);
  ASSERT_FALSE(handled.empty());
  EXPECT_FALSE(handled.back().sent);
  EXPECT_EQ(player().RefusedFrames, handled.size());
  EXPECT_EQ(player().FramesAccepted(), 0u);
  driver.SetWriteResult(0);
}

}  // namespace
}  // namespace lumarex

namespace lumarex {
namespace {

TEST_F(ShowPlayerTest, RepeatStartsAgainAndTheKeysPlayStepAndStop) {
  LoadShow(3);
  form->Wiederholen.ClickByOperator();
  EXPECT_TRUE(form->Wiederholen.Checked());
  EXPECT_TRUE(form->KeyPressed(Tform1::Key::kSpace));
  ASSERT_TRUE(player().Playing());
  for (int tick = 0; tick < 60; ++tick) TickAfter(5);  // 300 ms: the show twice and a bit
  EXPECT_TRUE(player().Playing()) << "no halt at the end";
  std::vector<uint16_t> frames;
  for (const Handled& h : handled) frames.push_back(h.frame);
  // The tick past the end starts the clock again, so frame 0 follows at once.
  EXPECT_EQ(frames, (std::vector<uint16_t>{0, 1, 2, 0, 1, 2, 0, 1}));

  form->KeyPressed(Tform1::Key::kEscape);
  EXPECT_FALSE(player().Playing());
  EXPECT_TRUE(form->KeyPressed(Tform1::Key::kLeft));
  EXPECT_EQ(form->CurrentFrame, 0) << "nothing to step back to";
  form->KeyPressed(Tform1::Key::kSpace);
  EXPECT_TRUE(player().Playing());
  form->KeyPressed(Tform1::Key::kSpace);
  EXPECT_FALSE(player().Playing());
}

// Positions as a timecode chase hands them over, set by the test.
class ScriptedTimeSource final : public ShowTimeSource {
 public:
  void Started(uint32_t nowMs) override { startedAt = nowMs; }
  void Stopped() override { ++stops; }
  std::optional<uint64_t> PositionMs(uint32_t) override { return position; }
  std::string Name() const override { return "scripted"; }

  std::optional<uint64_t> position;
  std::optional<uint32_t> startedAt;
  int stops = 0;
};

// With a time source the show stands where the source says: dark until it has a position,
// frames as its position names them (jumps included), dark again when it has none or puts the
// show past its end, and back when it returns. Without one, nothing changes (the tests above).
TEST_F(ShowPlayerTest, ATimeSourceDarkensTheLaserUntilItHasAPositionAndThePlayerFollowsIt) {
  LoadShow(50);
  ScriptedTimeSource source;
  player().SetTimeSource(&source);
  clock.Set(1000);
  driver.ClearLog();
  player().Play.Click();
  EXPECT_EQ(source.startedAt, 1000u);
  for (int tick = 0; tick < 10; ++tick) TickAfter(5);
  EXPECT_TRUE(handled.empty()) << "nothing before the first position";
  EXPECT_TRUE(player().Holding());
  EXPECT_NE(driver.Log().find("Stop 100"), std::string::npos) << "the laser dark";

  driver.ClearLog();
  source.position = 0;
  TickAfter(5);
  ASSERT_EQ(handled.size(), 1u);
  EXPECT_EQ(handled.back(), (Handled{0, 0, true}));
  EXPECT_NE(driver.Log().find("Start 100"), std::string::npos);
  EXPECT_FALSE(player().Holding());
  source.position = 30;
  TickAfter(5);
  EXPECT_EQ(handled.size(), 1u) << "frame 0 still";
  source.position = 400;  // a jump to frame 10
  TickAfter(5);
  EXPECT_EQ(handled.back(), (Handled{10, 400, true}));
  source.position = 50u * 40u;  // past the end
  TickAfter(5);
  EXPECT_TRUE(player().Holding());
  EXPECT_TRUE(player().Playing()) << "waits for the timecode to come back";
  source.position = 120;
  TickAfter(5);
  EXPECT_EQ(handled.back(), (Handled{3, 120, true}));
  EXPECT_EQ(player().TimerRequests,
            player().UnsyncTicks + player().FramesAccepted() + player().RefusedFrames);

  player().Stop.Click();
  EXPECT_EQ(source.stops, 1);
  player().SetTimeSource(nullptr);
}

}  // namespace
}  // namespace lumarex
