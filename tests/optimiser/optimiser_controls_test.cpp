#include "optimiser/optimiser_controls.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/optimiser/test_support.h"

namespace lumarex {
namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;

class OptimiserControlsTest : public testing::Test {
 protected:
  OptimiserControlsTest() {
    controls.OnReoptimise([this] { ++reoptimised; });
    controls.Open();
    reoptimised = 0;
  }

  ShowStore store;
  test::RecordingDesktop desktop;
  OptimiserControls controls{store, desktop};
  int reoptimised = 0;
  test::ScratchDir dir;
};

TEST_F(OptimiserControlsTest, OpeningPositionsGiveTheOpeningParameters) {
  EXPECT_EQ(controls.Parameters(), OptimiserParameters{});
  EXPECT_EQ(controls.DirectionFactor(), 1.0);
  EXPECT_EQ(controls.Info_Center.TextAt(5, 59), "Start/Endpunkte des Sichtbaren Pfades");
  EXPECT_EQ(controls.Info_Center.TextAt(8, 140), "Min Punkte je Frame :      1  ");
  EXPECT_EQ(controls.Info_Center.TextAt(8, 113), "Vom Framestart Optimieren  ");
  // The visible width label tells what the opening position does.
  EXPECT_EQ(controls.Info_Center.TextAt(5, 5), "Sprungweite sichtbar belassen                 ");
}

TEST_F(OptimiserControlsTest, PositionsMapToParameters) {
  controls.Interpolation_Seek.SetPosition(6);
  controls.Interpolation_Geblankt.SetPosition(7);
  controls.Seek_Start.SetPosition(3);
  controls.Seek_End.SetPosition(4);
  controls.Blank_Start.SetPosition(0);
  controls.Blank_End.SetPosition(10);
  controls.Min_Points.SetPosition(4);
  controls.Suchraster.SetPosition(3);
  const OptimiserParameters p = controls.Parameters();
  EXPECT_EQ(p.VisibleStep, 768);
  EXPECT_EQ(p.BlankStep, 896);
  EXPECT_EQ(p.CenterStep, 896);
  EXPECT_EQ(p.SeekStartCount, 7);
  EXPECT_EQ(p.SeekEndCount, 4);
  EXPECT_EQ(p.BlankStartCount, 10);
  EXPECT_EQ(p.BlankEndCount, 10);
  EXPECT_EQ(p.MinPoints, 100);
  EXPECT_EQ(p.SearchMode, 3);
  EXPECT_EQ(reoptimised, 8);
  // Out of range ends at the nearest end; the same position again triggers nothing.
  controls.Interpolation_Seek.SetPosition(99);
  EXPECT_EQ(controls.Parameters().VisibleStep, 65000);
  controls.Interpolation_Seek.SetPosition(34);
  EXPECT_EQ(reoptimised, 9);
  controls.Suchraster.SetPosition(1);
  EXPECT_EQ(controls.Parameters().CenterStep, 0);
}

TEST_F(OptimiserControlsTest, LabelsFollowTheirControls) {
  const StatusImage& info = controls.Info_Center;
  controls.Interpolation_Seek.SetPosition(10);
  EXPECT_EQ(info.TextAt(5, 5), "Sprungweite sichtbar max : 1280    ");
  controls.Interpolation_Geblankt.SetPosition(20);
  EXPECT_EQ(info.TextAt(5, 32), "Sprungweite blank max     : 2560    ");
  const char* labels[] = {"Vom Framestart Optimieren                             ",
                          "Vom Center Optimieren                             ",
                          "Vom Framestart Optimieren + Centerfahrt",
                          "Vom Center Optimieren + Centerfahrt        "};
  for (int position : {1, 2, 3, 0}) {
    controls.Suchraster.SetPosition(position);
    EXPECT_EQ(info.TextAt(8, 113), labels[position]);
  }
  const char* minTexts[] = {"Min Punkte je Frame :      0  ", "Min Punkte je Frame :      1  ",
                            "Min Punkte je Frame :   25  ",   "Min Punkte je Frame :   50  ",
                            "Min Punkte je Frame : 100  ",    "Min Punkte je Frame : 200  "};
  for (int position : {0, 2, 3, 4, 5}) {
    controls.Min_Points.SetPosition(position);
    EXPECT_EQ(info.TextAt(8, 140), minTexts[position]);
  }
}

TEST_F(OptimiserControlsTest, DirectionFactorAlwaysReturnsToZeroWithoutReoptimising) {
  controls.Richtungsrechenfaktor.SetPosition(3);
  EXPECT_EQ(controls.Richtungsrechenfaktor.Position(), 0);
  EXPECT_EQ(controls.DirectionFactor(), 1.0);
  EXPECT_EQ(controls.Info_Center.TextAt(8, 167), "Sort Richtungsfaktor: .00");
  EXPECT_EQ(reoptimised, 0);
}

std::vector<StatusOperation> Lines(const StatusImage& image) {
  std::vector<StatusOperation> lines;
  for (const StatusOperation& op : image.Operations()) {
    if (op.kind == StatusOperation::Kind::kLine) lines.push_back(op);
  }
  return lines;
}

TEST_F(OptimiserControlsTest, DwellIndicatorsShowCountsAndDots) {
  controls.Seek_Start.SetPosition(0);  // ten lit start dwell points
  controls.Seek_End.SetPosition(3);
  const StatusImage& lit = controls.Sichtbarpoints;
  EXPECT_EQ(lit.Operations().front().kind, StatusOperation::Kind::kFill);
  EXPECT_EQ(lit.TextAt(6, 2), "10");
  EXPECT_EQ(lit.TextAt(83, 2), " 3 ");
  const auto lines = Lines(lit);
  // Six colour lines, then a dot of radius 7 (15 spans) and one of radius 3 (7 spans).
  ASSERT_EQ(lines.size(), 6u + 15u + 7u);
  const uint32_t colours[] = {0x0000FF, 0x0000FF, 0x00FF00, 0x00FF00, 0xFF0000, 0xFF0000};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(lines[static_cast<size_t>(i)].y1, 6 + i);
    EXPECT_EQ(lines[static_cast<size_t>(i)].x1, 22);
    EXPECT_EQ(lines[static_cast<size_t>(i)].x2, 77);
    EXPECT_EQ(lines[static_cast<size_t>(i)].colour, colours[i]);
  }
  // The widest span of each dot passes through its centre.
  EXPECT_EQ(lines[6 + 7].y1, 10);
  EXPECT_EQ(lines[6 + 7].x1, 27 - 7);
  EXPECT_EQ(lines[6 + 7].colour, kColourWhite);
  EXPECT_EQ(lines[6 + 15 + 3].x1, 75 - 3);

  controls.Blank_Start.SetPosition(10);  // no blanked dwell after a path: no dot
  controls.Blank_End.SetPosition(6);
  const StatusImage& blanked = controls.Geblanktepoints;
  EXPECT_EQ(blanked.TextAt(6, 2), " 0 ");
  EXPECT_EQ(blanked.TextAt(83, 2), " 6 ");
  const auto blankLines = Lines(blanked);
  ASSERT_EQ(blankLines.size(), 6u + 11u);
  for (const StatusOperation& op : blankLines) EXPECT_EQ(op.colour, kColourBlack);
  EXPECT_EQ(blankLines[6 + 5].x1, 75 - 5);
  EXPECT_THAT(
      (std::vector{DwellDotRadius(0), DwellDotRadius(4), DwellDotRadius(5), DwellDotRadius(6),
                   DwellDotRadius(7), DwellDotRadius(8), DwellDotRadius(9), DwellDotRadius(10)}),
      ElementsAre(0, 4, 5, 5, 6, 6, 7, 7));
}

TEST_F(OptimiserControlsTest, SavingRightAfterOpeningWritesTheOpeningPositions) {
  controls.SaveParameterSet(dir.File("set"));
  EXPECT_THAT(test::ReadBytes(dir.File("set.OSA")),
              ElementsAreArray<uint8_t>({10, 8, 0, 2, 32, 34, 1, 0, 0, 9, 10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(reoptimised, 1);
  controls.SaveParameterSet(dir.File("b.osa"));
  EXPECT_TRUE(std::filesystem::exists(dir.File("b.osa")));
  controls.SaveParameterSet(dir.File("c.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir.File("c.txt.OSA")));
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(OptimiserControlsTest, CancelledDialogsOnlyReoptimise) {
  controls.SaveParameterSet(std::nullopt);
  EXPECT_FALSE(controls.LoadParameterSet(std::nullopt));
  EXPECT_EQ(reoptimised, 2);
  EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(OptimiserControlsTest, AFailedSaveIsSaidAndLeavesItsStatus) {
  store.IoStatus = "Load OK";
  controls.SaveParameterSet(dir.File("missing/folder/set"));
  EXPECT_EQ(store.IoStatus, "K");
  EXPECT_THAT(desktop.messages, ElementsAre("Not Save OSA File"));
}

TEST_F(OptimiserControlsTest, LoadingSetsEveryControlClampedInTheFilesOrder) {
  store.ShowFileSize = 12345;
  test::WriteBytes(dir.File("MYOSA.DAT"), {0, 10, 5, 7, 6, 40, 5, 9, 3, 0, 0});
  EXPECT_TRUE(controls.LoadParameterSet(dir.File("MYOSA.DAT")));
  EXPECT_EQ(controls.Seek_Start.Position(), 0);
  EXPECT_EQ(controls.Blank_Start.Position(), 10);
  EXPECT_EQ(controls.Seek_End.Position(), 5);
  EXPECT_EQ(controls.Blank_End.Position(), 7);
  EXPECT_EQ(controls.Interpolation_Geblankt.Position(), 6);
  EXPECT_EQ(controls.Interpolation_Seek.Position(), 34);
  EXPECT_EQ(controls.Min_Points.Position(), 5);
  EXPECT_EQ(controls.Suchraster.Position(), 3);
  EXPECT_EQ(controls.Richtungsrechenfaktor.Position(), 0);
  // Seven handlers moved their controls, then one re-optimisation at the end.
  EXPECT_EQ(reoptimised, 7 + 1);
  // The show's own file size is no business of a parameter set.
  EXPECT_EQ(store.ShowFileSize, 12345u);
  controls.SaveParameterSet(dir.File("again.osa"));
  EXPECT_EQ(test::ReadBytes(dir.File("again.osa"))[8], 0);
}

TEST_F(OptimiserControlsTest, LoadingTheCurrentSettingsRunsNoHandler) {
  test::WriteBytes(dir.File("same.osa"), {10, 8, 0, 2, 32, 34, 1, 0});  // eight bytes suffice
  EXPECT_TRUE(controls.LoadParameterSet(dir.File("same.osa")));
  EXPECT_EQ(reoptimised, 1);
}

TEST_F(OptimiserControlsTest, RefusedSetsChangeNothing) {
  const ParameterSet before = controls.Positions();
  EXPECT_FALSE(controls.LoadParameterSet(dir.File("set.cfg")));
  EXPECT_THAT(desktop.messages, ElementsAre("Ungültige Datei"));
  EXPECT_EQ(reoptimised, 1);

  for (size_t size : {7u, 17u}) {
    desktop.messages.clear();
    test::WriteBytes(dir.File("bad.osa"), std::vector<uint8_t>(size, 1));
    EXPECT_FALSE(controls.LoadParameterSet(dir.File("bad.osa")));
    EXPECT_THAT(desktop.messages, ElementsAre("Ungültige Dateilänge"));
  }
  desktop.messages.clear();
  EXPECT_FALSE(controls.LoadParameterSet(dir.File("none.osa")));
  EXPECT_THAT(desktop.messages, ElementsAre("Lesefehler"));
  EXPECT_EQ(reoptimised, 1);  // neither redraws

  desktop.messages.clear();
  std::filesystem::create_directory(dir.File("folder.osa"));
  EXPECT_FALSE(controls.LoadParameterSet(dir.File("folder.osa")));
  EXPECT_THAT(desktop.messages, ElementsAre("Optimierungs Satz nicht gefunden", "Ungültige Datei"));
  EXPECT_EQ(reoptimised, 2);
  EXPECT_EQ(controls.Positions(), before);
}

TEST(ParameterSetFile, DecodesEightToSixteenBytes) {
  const std::vector<uint8_t> eight{1, 2, 3, 4, 5, 6, 7, 8};
  const auto set = DecodeParameterSet(eight);
  ASSERT_TRUE(set.has_value());
  EXPECT_EQ(set->SearchRaster, 8);
  EXPECT_EQ(set->DirectionFactor, 0);
  EXPECT_FALSE(DecodeParameterSet(std::vector<uint8_t>(7)).has_value());
  EXPECT_FALSE(DecodeParameterSet(std::vector<uint8_t>(17)).has_value());
  const auto bytes = EncodeParameterSet(ParameterSet{});
  EXPECT_EQ(DecodeParameterSet(bytes), ParameterSet{});
  EXPECT_TRUE(IsParameterSetName("/a/b/x.Osa"));
  EXPECT_FALSE(IsParameterSetName("/osa/set.cfg"));  // the folder does not count
}

}  // namespace
}  // namespace lumarex
