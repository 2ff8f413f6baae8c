#include "control/control_registry.h"

#include "control/event_stream.h"
#include "control/set_list_panel.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "tests/mainwindow/window_fixture.h"
#include "tests/support/step_show.h"

namespace lumarex {
namespace {

class ControlRegistryTest : public test::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    registry = std::make_unique<ControlRegistry>(*form, dispatcher);
    registry->AddCommandListener([this](const CommandRecord& r) { log.push_back(r); });
  }
  void TearDown() override { registry.reset(); }

  // A show of `frames` frames written as ILDA, not loaded.
  std::string WriteShow(const std::string& name, uint32_t frames) {
    EXPECT_TRUE(test::WriteStepShow(dir.File(name), frames));
    return dir.File(name);
  }

  // Ticks of the frame clock for `ms`, then what the ticks posted.
  void PlayFor(uint32_t ms) {
    for (uint32_t t = 0; t < ms; t += 5) TickAfter(5);
    dispatcher.RunPending();
  }

  QueueDispatcher dispatcher;
  std::unique_ptr<ControlRegistry> registry;
  std::vector<CommandRecord> log;
};

TEST_F(ControlRegistryTest, ASetListIsCuedGoneToAndFollowedToItsEndOrRoundAgain) {
  const std::string a = WriteShow("a.ild", 3);
  const std::string b = WriteShow("songs/b.ild", 5);
  {
    // Lists from elsewhere: a byte order mark, CRLF, remarks and a folder in Windows' way.
    std::ofstream list(dir.File("evening.m3u"), std::ios::binary);
    list << "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:-1,Opener\r\na.ild\r\n\r\nsongs\\b.ild\r\n";
  }
  ASSERT_TRUE(registry->OpenSetList(dir.File("evening.m3u"), CommandSource::kOsc).ok);
  ASSERT_EQ(registry->List().Entries(), (std::vector<std::string>{a, b}));
  EXPECT_EQ(registry->SetListEntry(), 1u) << "the first entry is cued";
  EXPECT_EQ(registry->ShowName(), "a.ild");
  EXPECT_FALSE(registry->Playing());

  ASSERT_TRUE(registry->Go(2, CommandSource::kOsc));
  EXPECT_TRUE(registry->Playing());
  EXPECT_EQ(registry->ShowName(), "b.ild");
  EXPECT_EQ(log.back().command, "Go");
  EXPECT_EQ(log.back().argument, "2");
  EXPECT_STREQ(SourceName(log.back().source), "osc");
  // The last entry's end ends the run.
  PlayFor(400);
  EXPECT_FALSE(registry->Playing());
  EXPECT_EQ(registry->ShowName(), "b.ild");

  // Wiederholen now repeats the list: the last entry is followed by the first, whose end is
  // followed by the second, and no show repeats on its own.
  form->Wiederholen.Click();
  ASSERT_TRUE(registry->Go(2, CommandSource::kMidi));
  EXPECT_FALSE(form->Player.Repeat);
  PlayFor(300);
  EXPECT_TRUE(registry->Playing());
  EXPECT_EQ(registry->SetListEntry(), 1u);
  PlayFor(200);
  EXPECT_EQ(registry->SetListEntry(), 2u);
  EXPECT_TRUE(registry->Playing());
  EXPECT_TRUE(registry->Next(CommandSource::kOsc)) << "round to the first";
  EXPECT_EQ(registry->SetListEntry(), 1u);
  EXPECT_TRUE(registry->Playing());

  // A show loaded by hand is no entry of the list, and Wiederholen is its own again.
  ASSERT_TRUE(registry->Load(a, CommandSource::kWidget));
  EXPECT_FALSE(registry->Playing()) << "the show was stopped for the load";
  EXPECT_EQ(registry->SetListEntry(), 1u) << "the same file as entry 1";
  ASSERT_TRUE(registry->Load(b, CommandSource::kWidget));
  registry->List().SetCurrent(0);
  EXPECT_EQ(registry->SetListEntry(), 0u);
  ASSERT_TRUE(registry->Play(CommandSource::kKey));
  EXPECT_TRUE(form->Player.Repeat);
  PlayFor(400);
  EXPECT_TRUE(registry->Playing()) << "repeating b";
  EXPECT_EQ(registry->ShowName(), "b.ild");

  EXPECT_FALSE(registry->Go(3, CommandSource::kOsc));
  EXPECT_FALSE(registry->Load(dir.File("missing.ild"), CommandSource::kOsc));
  EXPECT_FALSE(log.back().done);

  // Written back relative to its folder, and read again the same.
  ASSERT_TRUE(registry->List().Write(dir.File("again.m3u8")));
  std::ifstream written(dir.File("again.m3u8"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "a.ild\nsongs/b.ild\n");
  SetList reread;
  ASSERT_TRUE(reread.Read(dir.File("again.m3u8")).ok);
  EXPECT_EQ(reread.Entries(), registry->List().Entries());
}

TEST_F(ControlRegistryTest, ControlsMoveAsTheirWidgetsAndCommandsAsTheirKeys) {
  LoadShow(60);
  ASSERT_TRUE(registry->FindControl("Dimmen_RGB"));
  EXPECT_EQ(registry->FindControl("Dimmen_RGB")->min, 4);
  EXPECT_EQ(registry->FindControl("Framescroll")->max, 59) << "the range follows the show";
  EXPECT_FALSE(registry->Set("Nonsense", 1, CommandSource::kOsc));

  // Clamped to the range, and the handler writes its panel text as the widget's would.
  EXPECT_TRUE(registry->Set("Dimmen_RGB", 2, CommandSource::kArtnet));
  EXPECT_EQ(registry->Value("Dimmen_RGB"), 4);
  EXPECT_EQ(form->Scanninfo.TextAt(200, 410), "40  ");
  // The power lock holds against every input.
  form->Output.Schloss_AufClick();
  EXPECT_FALSE(registry->Set("Dimmen_RGB", 10, CommandSource::kMidi));
  EXPECT_EQ(registry->Value("Dimmen_RGB"), 4);
  EXPECT_FALSE(log.back().done);

  // A thumb pushed past the other takes it along, and the size handler keeps them apart.
  EXPECT_TRUE(registry->Set("Achse_X.Left", 90, CommandSource::kOsc));
  EXPECT_EQ(registry->Value("Achse_X.Left"), 89);
  EXPECT_EQ(registry->Value("Achse_X.Right"), 91);
  EXPECT_TRUE(registry->Set("Framescroll", 30, CommandSource::kOsc));
  EXPECT_EQ(form->CurrentFrame, 30);

  // Keys: Space plays and stops, Escape darkens at once.
  EXPECT_TRUE(registry->Key(Tform1::Key::kSpace));
  EXPECT_TRUE(registry->Playing());
  EXPECT_FALSE(registry->Set("Irq_Speed", 40, CommandSource::kOsc))
      << "the rate bar is hidden while the show plays";
  EXPECT_TRUE(registry->Key(Tform1::Key::kSpace));
  EXPECT_FALSE(registry->Playing());
  EXPECT_TRUE(registry->Set("Irq_Speed", 40, CommandSource::kOsc));
  EXPECT_EQ(form->Player.Speedanzeige.Caption(), "Speed: Frames je Sek : 40");
  ASSERT_TRUE(registry->Play(CommandSource::kOsc));
  PlayFor(100);
  driver.ClearLog();
  EXPECT_TRUE(registry->Key(Tform1::Key::kEscape));
  EXPECT_FALSE(registry->Playing());
  EXPECT_NE(driver.Log().find("Stop 100"), std::string::npos) << driver.Log();
  EXPECT_EQ(log.back().command, "Blackout");
  EXPECT_STREQ(SourceName(log.back().source), "key");
}

// The set list's tool window as an operator uses it: shows added by the dialog and by
// dropping, reordered, gone to by double-click, saved; an installation's event stream beside.
TEST_F(ControlRegistryTest, TheSetListPanelEditsGoesAndSavesAndTheEventsTellIt) {
  std::ostringstream events;
  EventStream stream(*registry, events, clock);
  SetListPanel panel(*registry, desktop);
  int changes = 0;
  panel.OnChanged = [&changes] { ++changes; };
  const std::string a = WriteShow("a.ild", 3);
  const std::string b = WriteShow("b.ild", 4);
  const std::string c = WriteShow("c.ild", 2);
  desktop.openAnswers.push_back(a);
  panel.Add();
  panel.AddFiles({b, c});
  EXPECT_EQ(panel.Title(), "(neu)");
  ASSERT_EQ(panel.Rows().size(), 3u);
  EXPECT_EQ(panel.Rows()[1].text, "   2  b.ild");

  panel.Select(2);
  panel.MoveUp();
  EXPECT_EQ(panel.Selected(), 1u) << "the selection moves with its entry";
  EXPECT_EQ(panel.Rows()[1].text, "   2  c.ild");
  ASSERT_TRUE(panel.Activate(1));
  EXPECT_TRUE(registry->Playing());
  EXPECT_EQ(registry->ShowName(), "c.ild");
  EXPECT_EQ(panel.Rows()[1].text, "\u25B6 2  c.ild");
  EXPECT_TRUE(panel.Rows()[1].current);
  panel.Select(0);
  panel.Remove();
  EXPECT_EQ(panel.Rows()[0].text, "\u25B6 1  c.ild") << "the show on stage stays marked";

  desktop.saveAnswers.push_back(dir.File("no/such/folder/list.m3u"));
  EXPECT_FALSE(panel.Save());
  EXPECT_EQ(desktop.messages.back(),
            "Setliste nicht gespeichert: " + dir.File("no/such/folder/list.m3u"));
  desktop.saveAnswers.push_back(dir.File("list.m3u"));
  ASSERT_TRUE(panel.Save());
  EXPECT_EQ(panel.Title(), dir.File("list.m3u"));
  std::ifstream written(dir.File("list.m3u"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "c.ild\nb.ild\n");
  EXPECT_GT(changes, 5);

  // One line a command, and the show and the playing state as they changed.
  std::vector<nlohmann::json> lines;
  std::istringstream in(events.str());
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  const auto go = std::find_if(lines.begin(), lines.end(),
                               [](const auto& j) { return j.value("command", "") == "Go"; });
  ASSERT_NE(go, lines.end());
  EXPECT_EQ((*go)["source"], "widget");
  EXPECT_EQ((*go)["argument"], "2");
  EXPECT_EQ((*go)["done"], true);
  const auto show = std::find_if(lines.begin(), lines.end(), [](const auto& j) {
    return j.value("event", "") == "show" && j.value("file", "") == "c.ild";
  });
  ASSERT_NE(show, lines.end());
  EXPECT_EQ((*show)["entry"], 2);
  EXPECT_NE(
      std::find(lines.begin(), lines.end(),
                nlohmann::json{{"t_ms", (*show)["t_ms"]}, {"event", "playing"}, {"value", 1}}),
      lines.end());
}

}  // namespace
}  // namespace lumarex
