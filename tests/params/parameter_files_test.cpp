#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <set>
#include <vector>

#include "output/laser_ausgabe.h"
#include "params/parameter_files.h"
#include "tests/support/test_files.h"

namespace lumarex {
namespace {

// The parameter files on the real calibration controls, with their real change handlers.
struct Controls {
  Controls() {
    output.ApplyStartupSettings();
    files.ShowStartupProtection();
    Parameter.SetVisible(false);
  }

  // Every position a record carries, for "the controls are as they were"; the ranges last.
  std::vector<int32_t> Positions() const {
    std::vector<int32_t> p = {output.FrameChangeMode};
    for (const ValueControl* c :
         {&output.Scanspeed, &output.Farbverschiebung, &output.Extrapoints, &output.Scanner_Invers,
          &output.Dimmen_RGB, &Irq_Speed, &OGL_Effekt}) {
      p.push_back(c->Position());
    }
    for (const RangeSlider* s : {&output.Achse_X, &output.Achse_Y, &output.Rot_to_Laser,
                                 &output.Gruen_to_Laser, &output.Blau_to_Laser}) {
      p.insert(p.end(), {s->Left(), s->Right()});
    }
    return p;
  }
  std::vector<int32_t> RangePositions() const {
    const std::vector<int32_t> p = Positions();
    return {p.begin() + 8, p.end()};
  }

  ShowStore store;
  JMLaser dac;
  StatusImage scanninfo{250, 430};
  StatusImage deviceFenster{250, 243};
  LaserAusgabe output{store, dac, scanninfo, deviceFenster};
  TrackBar Irq_Speed{1, 50, 25};
  TrackBar OGL_Effekt{0, 3, 0};
  Image Parameter_Auf{"Parameter_Auf"};
  Image Parameter_Zu{"Parameter_Zu"};
  Image Parameter{"Parameter"};
  // clang-format off
  ParameterControls controls{output.Scanspeed, output.Framewechsel, output.FrameChangeMode,
      output.Farbverschiebung, output.Extrapoints, output.Scanner_Invers, output.Achse_X,
      output.Achse_Y, output.Rot_to_Laser, output.Gruen_to_Laser, output.Blau_to_Laser,
      output.Dimmen_RGB, output.PowerUnlocked, Irq_Speed, OGL_Effekt, Parameter_Auf, Parameter_Zu,
      Parameter};
  // clang-format on
  test::RecordingDesktop desktop;
  ParameterFiles files{controls, store, desktop};
};

class ParameterFilesTest : public ::testing::Test, public Controls {
 protected:
  test::TempDir dir;
};

TEST_F(ParameterFilesTest, ProjectorFileHoldsEverySettingAtItsOffsetAndLoadsBack) {
  output.Scanspeed.SetPosition(57);
  output.Framewechsel.Click();
  output.Farbverschiebung.SetPosition(7);
  output.Extrapoints.SetPosition(3);
  output.Scanner_Invers.SetPosition(6);
  output.Achse_X.SetThumbs(12, 64);
  output.Achse_Y.SetThumbs(30, 95);
  output.Rot_to_Laser.SetThumbs(3, 70);
  output.Gruen_to_Laser.SetThumbs(40, 45);
  output.Blau_to_Laser.SetThumbs(0, 80);
  output.Dimmen_RGB.SetPosition(6);
  Irq_Speed.SetPosition(33);
  OGL_Effekt.SetPosition(2);
  const std::vector<int32_t> saved = Positions();

  EXPECT_EQ(files.SaveProjectorParameters(dir.File("Beamer1")), dir.File("Beamer1.PRO"));
  std::vector<uint8_t> expected(51, 0);
  for (const auto& [offset, value] : std::vector<std::pair<int, int>>{
           {1, 57},  {2, 1},   {5, 7},   {10, 3},  {15, 1},  {16, 1}, {17, 0},
           {20, 64}, {21, 12}, {25, 95}, {26, 30}, {30, 70}, {31, 3}, {35, 45},
           {36, 40}, {40, 80}, {41, 0},  {45, 6},  {46, 33}, {47, 2}}) {
    expected[static_cast<size_t>(offset)] = static_cast<uint8_t>(value);
  }
  EXPECT_EQ(test::ReadBytes(dir.File("Beamer1.PRO")), expected);

  // From the start-up state, with the file's size kept apart from the show's.
  Controls fresh;
  fresh.store.ShowFileSize = 123456;
  EXPECT_EQ(fresh.files.LoadProjectorParameters(dir.File("Beamer1.PRO")), ProjectorLoad::kApplied);
  EXPECT_EQ(fresh.Positions(), saved);
  EXPECT_EQ(fresh.output.Framewechsel.Caption(), "IQ-Fahrt");
  EXPECT_EQ(fresh.store.ShowFileSize, 123456u);
  EXPECT_TRUE(fresh.desktop.messages.empty());
  EXPECT_EQ(fresh.desktop.processed, 1);

  // A name that ends in .pro in any case is kept.
  EXPECT_EQ(files.SaveProjectorParameters(dir.File("beamer1.pro")), dir.File("beamer1.pro"));
}

TEST_F(ParameterFilesTest, OrientationCodesAndFrameChangeBytesLoadBack) {
  // swap, X-invert, Y-invert for orientations 0..7
  const std::array<std::array<uint8_t, 3>, 8> flags = {
      {{0, 0, 0}, {0, 1, 1}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}, {1, 1, 1}, {1, 1, 0}, {1, 0, 1}}};
  for (int32_t o = 0; o < 8; ++o) {
    output.Scanner_Invers.SetPosition(o);
    const ParameterRecord record = CaptureParameterRecord(controls);
    EXPECT_EQ((std::array<uint8_t, 3>{record.bytes[15], record.bytes[16], record.bytes[17]}),
              flags[static_cast<size_t>(o)])
        << o;
    output.Scanner_Invers.SetPosition((o + 3) % 8);
    ApplyParameterRecord(controls, record, false);
    EXPECT_EQ(output.Orientation, o);
  }

  // Two modes only: every byte but 1 is the centre move, and the caption follows.
  ParameterRecord record = CaptureParameterRecord(controls);
  for (const int byte : {1, 2, 0, 255}) {
    output.FrameChangeMode = 1;
    output.Framewechsel.SetCaption("IQ-Fahrt");
    record.Set(ParameterField::kFrameChangeMode, byte);
    ApplyParameterRecord(controls, record, false);
    EXPECT_EQ(output.FrameChangeMode, byte == 1 ? 1 : 0);
    EXPECT_EQ(output.Framewechsel.Caption(), byte == 1 ? "IQ-Fahrt" : "Centerfahrt");
  }
}

TEST_F(ParameterFilesTest, ProjectorFileNameAndSizeChecksLeaveTheControlsOnFailure) {
  const ParameterRecord current = CaptureParameterRecord(controls);
  std::vector<uint8_t> bytes(current.bytes.begin(), current.bytes.end());
  bytes[1] = 66;
  const std::vector<int32_t> before = Positions();
  bytes.push_back(0);
  test::WriteBytes(dir.File("long.pro"), bytes);
  bytes.pop_back();
  std::filesystem::create_directory(dir.File("folder.pro"));
  EXPECT_EQ(files.LoadProjectorParameters(dir.File("long.pro")), ProjectorLoad::kBadLength);
  EXPECT_EQ(files.LoadProjectorParameters(dir.File("setup.dat")), ProjectorLoad::kBadName);
  EXPECT_EQ(files.LoadProjectorParameters(dir.File("none.pro")), ProjectorLoad::kCannotOpen);
  EXPECT_EQ(files.LoadProjectorParameters(dir.File("folder.pro")), ProjectorLoad::kFailed);
  EXPECT_EQ(desktop.messages,
            (std::vector<std::string>{"Ungültige Dateilänge", "Ungültige Datei", "Lesefehler",
                                      "PROJEKTOR PARAMETER nicht gefunden", "Ungültige Datei"}));
  EXPECT_EQ(Positions(), before);

  // Only "PRO" somewhere in the upper-case name counts, and 50 bytes are a whole record.
  test::WriteBytes(dir.File("profile.dat"), bytes);
  EXPECT_EQ(files.LoadProjectorParameters(dir.File("profile.dat")), ProjectorLoad::kApplied);
  EXPECT_EQ(output.Scanspeed.Position(), 66);
  bytes.pop_back();
  bytes[1] = 44;
  test::WriteBytes(dir.File("old.PRO"), bytes);
  EXPECT_EQ(files.LoadProjectorParameters(dir.File("old.PRO")), ProjectorLoad::kApplied);
  EXPECT_EQ(output.Scanspeed.Position(), 44);
}

TEST_F(ParameterFilesTest, ShowFileHonoursProtectionAndPowerLock) {
  const std::vector<int32_t> startRanges = RangePositions();
  ParameterRecord record = CaptureParameterRecord(controls);
  for (const auto& [field, value] :
       std::vector<std::pair<ParameterField, int>>{{ParameterField::kScanspeed, 70},
                                                   {ParameterField::kFrameChangeMode, 1},
                                                   {ParameterField::kFarbverschiebung, 2},
                                                   {ParameterField::kExtrapoints, 4},
                                                   {ParameterField::kAchseXRight, 90},
                                                   {ParameterField::kAchseXLeft, 20},
                                                   {ParameterField::kBlauLeft, 30},
                                                   {ParameterField::kDimmenRgb, 5},
                                                   {ParameterField::kIrqSpeed, 40},
                                                   {ParameterField::kOglEffekt, 3}}) {
    record.Set(field, value);
  }
  record.SetOrientation(5);
  // Beside "show.ild", spelt as another system wrote it.
  test::WriteBytes(dir.File("SHOW.Shw"), {record.bytes.begin(), record.bytes.end()});

  files.Parameter_AufClick();
  EXPECT_TRUE(files.Protected());
  EXPECT_TRUE(Parameter_Zu.Visible());
  output.Schloss_Auf.Click();
  ASSERT_TRUE(files.LoadShowParameters(dir.File("show.ild")));
  EXPECT_EQ(RangePositions(), startRanges);
  EXPECT_EQ(output.Dimmen_RGB.Position(), 10);
  EXPECT_EQ(output.Scanspeed.Position(), 70);
  EXPECT_EQ(output.FrameChangeMode, 1);
  EXPECT_EQ(output.Farbverschiebung.Position(), 2);
  EXPECT_EQ(output.Extrapoints.Position(), 4);
  EXPECT_EQ(output.Orientation, 5);
  EXPECT_EQ(Irq_Speed.Position(), 40);
  EXPECT_EQ(OGL_Effekt.Position(), 3);
  EXPECT_TRUE(Parameter.Visible());
  EXPECT_EQ(Parameter.Hint(), "Parametersatz zur Show wurde gefunden");
  EXPECT_EQ(desktop.processed, 1);

  // Protection off: the ranges come too; the power stays locked for every kind of file.
  files.Parameter_ZuClick();
  ASSERT_TRUE(files.LoadShowParameters(dir.File("show.ild")));
  EXPECT_EQ(output.Achse_X.Left(), 20);
  EXPECT_EQ(output.Achse_X.Right(), 90);
  EXPECT_EQ(output.Blau_to_Laser.Left(), 30);
  EXPECT_EQ(files.SaveProjectorParameters(dir.File("p.pro")), dir.File("p.pro"));
  output.Schloss_Zu.Click();
  output.Dimmen_RGB.SetPosition(8);
  output.Schloss_Auf.Click();
  EXPECT_EQ(files.LoadProjectorParameters(dir.File("p.pro")), ProjectorLoad::kApplied);
  EXPECT_EQ(output.Dimmen_RGB.Position(), 8);

  // A show parameter file of the wrong size, or none, is passed over without a word.
  test::WriteBytes(dir.File("SHOW.Shw"), std::vector<uint8_t>(52, 1));
  EXPECT_FALSE(files.LoadShowParameters(dir.File("show.ild")));
  EXPECT_FALSE(files.LoadShowParameters(dir.File("other.ild")));
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(ParameterFilesTest, SavesWriteWholeFilesOrNone) {
  files.SaveShowparameter();
  EXPECT_EQ(desktop.messages, std::vector<std::string>{"Speichern z.Z. Nicht möglich "});
  EXPECT_FALSE(Parameter.Visible());

  store.ShowFileName = dir.File("show.lf");
  files.SaveShowparameter();
  EXPECT_EQ(test::ReadBytes(dir.File("show.SHW")).size(), 51u);
  EXPECT_TRUE(Parameter.Visible());
  EXPECT_EQ(desktop.processed, 1);

  EXPECT_FALSE(files.SaveShowParameters(dir.File("missing/show.ild")));
  EXPECT_EQ(store.IoStatus, "Kein Schreiben möglich");
  store.IoStatus = "I.O.";
  EXPECT_EQ(files.SaveProjectorParameters(dir.File("missing/b")), std::nullopt);
  EXPECT_EQ(store.IoStatus, "Kein Schreiben möglich");
  // A file that cannot be moved into place is reported, and nothing half-written is left.
  std::filesystem::create_directory(dir.File("taken.PRO"));
  EXPECT_EQ(files.SaveProjectorParameters(dir.File("taken")), std::nullopt);
  EXPECT_EQ(desktop.messages.back(), "Not Save Projektor Parameter File");
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"show.SHW", "taken.PRO"}));

  // A saved file has the user's usual permissions, and saving leaves the process's umask
  // alone (other threads may create files meanwhile).
  const mode_t before = ::umask(027);
  ASSERT_TRUE(files.SaveProjectorParameters(dir.File("masked")).has_value());
  EXPECT_EQ(::umask(before), 027u);
  const auto perms = std::filesystem::status(dir.File("masked.PRO")).permissions();
  EXPECT_EQ(perms, std::filesystem::perms(0640));
}

// One thumb after the other through the clamping handler loaded 0:10 as 0:11, and the result
// hung on what stood before; every window the handlers keep must load back as saved.
TEST_F(ParameterFilesTest, EveryValidSliderWindowLoadsBackWhateverStoodBefore) {
  std::vector<std::pair<int32_t, int32_t>> sizes, colours;
  for (int32_t l = 0; l <= 100; ++l) {
    for (int32_t r = l + 10; r <= 100; ++r) sizes.emplace_back(l, r);
  }
  for (int32_t l = 0; l <= 40; ++l) {
    for (int32_t r = 45; r <= 80; ++r) colours.emplace_back(l, r);
  }
  ASSERT_EQ(sizes.size(), 4186u);
  RangeSlider* sliders[] = {&output.Achse_X, &output.Achse_Y, &output.Rot_to_Laser,
                            &output.Gruen_to_Laser, &output.Blau_to_Laser};
  int failures = 0;
  for (size_t i = 0; i < sizes.size() && failures < 5; ++i) {
    const auto colour = colours[(i * 7) % colours.size()];
    const std::pair<int32_t, int32_t> wanted[] = {sizes[i], sizes[sizes.size() - 1 - i], colour,
                                                  colour, colour};
    for (size_t s = 0; s < 5; ++s) sliders[s]->SetThumbs(wanted[s].first, wanted[s].second);
    const ParameterRecord record = CaptureParameterRecord(controls);
    // Something else stands before the load: the previous window.
    const auto before = sizes[(i + sizes.size() / 2) % sizes.size()];
    output.Achse_X.SetThumbs(before.first, before.second);
    output.Achse_Y.SetThumbs(before.second - 10, before.second);
    ApplyParameterRecord(controls, record, false);
    for (size_t s = 0; s < 5; ++s) {
      const std::pair<int32_t, int32_t> got{sliders[s]->Left(), sliders[s]->Right()};
      if (got != wanted[s]) {
        ADD_FAILURE() << "slider " << s << " saved " << wanted[s].first << ":" << wanted[s].second
                      << " loaded " << got.first << ":" << got.second;
        ++failures;
      }
    }
  }
  EXPECT_EQ(output.OffsetX, ((output.Achse_X.Left() + output.Achse_X.Right()) / 2 - 50) * 655);
}

}  // namespace
}  // namespace lumarex
