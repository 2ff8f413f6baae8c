// The personality's rules that the end-to-end runs with a desk do not reach: values applied on
// the user-interface thread as the receiver posts them.
#include "dmx/dmx_personality.h"

#include "tests/dmx/dmx_window_fixture.h"

namespace lumarex {
namespace {

TEST(DmxPersonality, DimmerValuesSpanThePowerBarRounded) {
  struct Case {
    uint8_t dimmer;
    int32_t min, max, position;
  };
  for (const Case& c : std::vector<Case>{{1, 4, 255, 4},
                                         {255, 4, 255, 255},
                                         {128, 0, 100, 50},
                                         {2, 0, 100, 0},
                                         {3, 0, 100, 1},
                                         {200, 10, 10, 10}}) {
    EXPECT_EQ(DmxPersonality::PowerPosition(c.dimmer, c.min, c.max), c.position)
        << int{c.dimmer} << " over " << c.min << ".." << c.max;
  }
}

class DmxPersonalityTest : public test::DmxWindowTest {};

TEST_F(DmxPersonalityTest, DarkHoldsPlaybackAndTheRateWaitsForTheShowToStop) {
  DmxPersonality personality(*registry, CommandSource::kSacn);
  personality.Apply({0, 0, 0, 0});
  EXPECT_TRUE(Done("Blackout", CommandSource::kSacn)) << "a desk starting at zeros darkens";

  personality.Apply({2, 0, 30, 0});
  EXPECT_EQ(registry->SetListEntry(), 2u) << "cued while dark";
  EXPECT_FALSE(registry->Playing());
  EXPECT_EQ(Value("Irq_Speed"), 30);
  personality.Apply({2, 200, 30, 0});
  EXPECT_FALSE(registry->Playing()) << "playback waits while the dimmer is at 0";
  personality.Apply({2, 200, 30, 255});
  EXPECT_TRUE(registry->Playing()) << "leaving 0 plays";
  EXPECT_EQ(Value("Dimmen_RGB"), PowerMax());

  const size_t before = log.size();
  personality.Apply({2, 200, 10, 255});
  EXPECT_EQ(Value("Irq_Speed"), 30) << "the rate bar takes no input while the show plays";
  EXPECT_EQ(log.size(), before) << "and is not even asked";
  ASSERT_TRUE(registry->Key(Tform1::Key::kSpace));
  EXPECT_FALSE(registry->Playing());
  EXPECT_EQ(Value("Irq_Speed"), 10) << "set once the show stopped";
  EXPECT_EQ(log.back().command, "Irq_Speed");
  EXPECT_STREQ(SourceName(log.back().source), "sacn");

  personality.Apply({1, 200, 10, 255});
  EXPECT_TRUE(registry->Playing());
  EXPECT_EQ(registry->SetListEntry(), 1u);
  form->Output.Schloss_AufClick();
  const int32_t locked = Value("Dimmen_RGB");
  personality.Apply({1, 200, 10, 128});
  EXPECT_EQ(Value("Dimmen_RGB"), locked) << "the power lock holds";
  EXPECT_FALSE(log.back().done);
  personality.Apply({1, 100, 10, 128});
  EXPECT_FALSE(registry->Playing()) << "playback below 128 stops";
}

}  // namespace
}  // namespace lumarex
