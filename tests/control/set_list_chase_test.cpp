#include "control/set_list_chase.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "tests/mainwindow/window_fixture.h"
#include "tests/support/step_show.h"

namespace lumarex {
namespace {

// Timecode as a desk sends it, set by the test: each reading arrives when it is set.
class DeskTimecode final : public TimecodeInput {
 public:
  explicit DeskTimecode(const Clock& clock) : clock_(clock) {}
  std::optional<TimecodeReading> Latest() const override { return reading_; }
  std::string Name() const override { return "desk"; }
  void PlayPressed() override { ++plays; }
  void Stopped() override { ++stops; }

  void Send(uint8_t h, uint8_t m, uint8_t s, uint8_t f) {
    const uint32_t now = clock_.NowMs();
    const uint64_t count = reading_ ? reading_->count + 1 : 1;
    reading_ = TimecodeReading{{h, m, s, f, TimecodeRate::k25}, now, now, count};
  }

  int plays = 0;
  int stops = 0;

 private:
  const Clock& clock_;
  std::optional<TimecodeReading> reading_;
};

class SetListChaseTest : public test::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    for (const char* name : {"a.ild", "b.ild", "c.ild"}) {
      ASSERT_TRUE(test::WriteStepShow(dir.File(name), 50));
    }
    registry = std::make_unique<ControlRegistry>(*form, dispatcher);
    form->Player.OnFrameHandled = [this](uint16_t frame, uint64_t, bool) {
      frames.push_back(frame);
    };
  }
  void TearDown() override {
    follower.reset();
    form->Player.SetTimeSource(nullptr);
    form->Player.OnFrameHandled = nullptr;
    registry.reset();
  }

  void Chase(bool hourSelects) {
    auto input = std::make_unique<DeskTimecode>(clock);
    desk = input.get();
    chase = std::make_unique<ChaseTimeSource>(
        std::move(input), ChaseOptions{{0, 0, 5, 0, TimecodeRate::k30}, 500, hourSelects});
    form->Player.SetTimeSource(chase.get());
    follower = std::make_unique<SetListChase>(*registry, *chase, dispatcher);
  }

  // The desk sends `tc` and the player ticks once after it, then runs what the tick posted.
  void SendAndTick(uint8_t h, uint8_t m, uint8_t s, uint8_t f) {
    desk->Send(h, m, s, f);
    TickAfter(5);
    dispatcher.RunPending();
    TickAfter(5);
  }

  QueueDispatcher dispatcher;
  std::unique_ptr<ControlRegistry> registry;
  DeskTimecode* desk = nullptr;
  std::unique_ptr<ChaseTimeSource> chase;
  std::unique_ptr<SetListChase> follower;
  std::vector<uint16_t> frames;
};

// Each entry starts at its own "#LUMAREX-TC" time (the chase's start where it has none); the
// lines survive a save, and a malformed one is refused with its line number.
TEST_F(SetListChaseTest, EachEntryStartsAtItsOwnTimecode) {
  {
    std::ofstream list(dir.File("timeline.m3u"), std::ios::binary);
    list << "#EXTM3U\n#LUMAREX-TC 00:01:00:00\na.ild\nb.ild\n#LUMAREX-TC 00:02:00:00\nc.ild\n";
  }
  ASSERT_TRUE(registry->OpenSetList(dir.File("timeline.m3u"), CommandSource::kWidget).ok);
  ASSERT_EQ(registry->List().Start(0), (Timecode{0, 1, 0, 0, TimecodeRate::k30}));
  EXPECT_EQ(registry->List().Start(1), std::nullopt);
  // A show whose name starts as a remark does keeps its folder in front, so it reads back.
  SetList copy = registry->List();
  copy.Add(dir.File("#1 hit.ild"));
  ASSERT_TRUE(copy.Write(dir.File("saved.m3u")));
  std::ifstream saved(dir.File("saved.m3u"));
  EXPECT_EQ(
      std::string(std::istreambuf_iterator<char>(saved), {}),
      "#LUMAREX-TC 00:01:00:00\na.ild\nb.ild\n#LUMAREX-TC 00:02:00:00\nc.ild\n./#1 hit.ild\n");
  SetList reread;
  ASSERT_TRUE(reread.Read(dir.File("saved.m3u")).ok);
  EXPECT_EQ(reread.Entries(), copy.Entries());
  EXPECT_EQ(reread.Start(2), copy.Start(2));
  {
    std::ofstream bad(dir.File("bad.m3u"), std::ios::binary);
    bad << "a.ild\n#LUMAREX-TC 00:61:00:00\nb.ild\n";
  }
  const SetList::ReadResult read = registry->List().Read(dir.File("bad.m3u"));
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.error, "line 2: #LUMAREX-TC takes HH:MM:SS:FF");
  EXPECT_EQ(registry->List().Count(), 3u) << "the list as it was";

  Chase(false);
  ASSERT_TRUE(registry->Go(1, CommandSource::kWidget));
  SendAndTick(0, 1, 0, 10);  // 400 ms into entry 1
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.back(), 10);
  ASSERT_TRUE(registry->Go(2, CommandSource::kWidget));
  SendAndTick(0, 0, 6, 0);  // no start of its own: the chase's 00:00:05:00
  EXPECT_EQ(frames.back(), 25);
  ASSERT_TRUE(registry->Go(3, CommandSource::kWidget));
  SendAndTick(0, 2, 0, 2);
  EXPECT_EQ(frames.back(), 2);
  EXPECT_EQ(desk->plays, 3) << "Go presses Play";
}

// With hour selects the hour loads its entry and the rest of the time is the position in it;
// the input runs on through the change, and an hour without an entry keeps the laser dark.
TEST_F(SetListChaseTest, TheHourOfTheTimecodeLoadsItsEntry) {
  {
    std::ofstream list(dir.File("hours.m3u"), std::ios::binary);
    list << "a.ild\nb.ild\nc.ild\n";
  }
  ASSERT_TRUE(registry->OpenSetList(dir.File("hours.m3u"), CommandSource::kWidget).ok);
  Chase(true);
  ASSERT_TRUE(registry->Play(CommandSource::kWidget));
  SendAndTick(1, 0, 5, 20);  // entry 1 is on show: 800 ms in
  EXPECT_EQ(registry->SetListEntry(), 1u);
  EXPECT_EQ(frames.back(), 20);
  SendAndTick(2, 0, 6, 0);
  EXPECT_EQ(registry->SetListEntry(), 2u);
  EXPECT_TRUE(registry->Playing());
  EXPECT_EQ(registry->ShowName(), "b.ild");
  EXPECT_EQ(frames.back(), 25);
  EXPECT_EQ(follower->EntriesLoaded(), 1u);
  EXPECT_EQ(desk->plays, 1) << "the input was not started again";
  EXPECT_EQ(desk->stops, 0);

  frames.clear();
  SendAndTick(7, 0, 6, 0);  // no entry 7
  EXPECT_EQ(registry->SetListEntry(), 2u);
  EXPECT_TRUE(frames.empty());
  EXPECT_TRUE(form->Player.Holding());
  SendAndTick(3, 0, 5, 1);
  EXPECT_EQ(registry->ShowName(), "c.ild");
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.back(), 1);
  registry->Stop(CommandSource::kWidget);
  EXPECT_EQ(desk->stops, 1);
}

}  // namespace
}  // namespace lumarex
