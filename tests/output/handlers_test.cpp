#include <gtest/gtest.h>

#include "output/colour_table.h"
#include "output_fixture.h"

namespace lumarex {
namespace {

using testing::OutputFixture;
using Kind = StatusOperation::Kind;

TEST(SizeHandlers, ClampOnceAndComputeTheOffsetFromTheWrittenPositions) {
  OutputFixture f;
  RangeSlider& x = f.output.Achse_X;
  x.SetLeft(50);
  EXPECT_EQ(f.output.OffsetX, ((50 + 75) / 2 - 50) * 655);
  x.SetRight(55);
  // 50:55 is too narrow: the left thumb steps down, the right one up, once.
  EXPECT_EQ(x.Left(), 49);
  EXPECT_EQ(x.Right(), 56);
  EXPECT_EQ(f.output.OffsetX, ((49 + 56) / 2 - 50) * 655);
  EXPECT_EQ(f.output.OffsetY, 0);
  EXPECT_EQ(f.scanninfo.TextAt(30, 255), "Output    Size X : 7 %        ");
  EXPECT_EQ(f.scanninfo.TextAt(150, 255), " Size Y : 50 %  ");

  // The output window in red: 2 pixels per percent.
  const auto& ops = f.scanninfo.Operations();
  ASSERT_FALSE(ops.empty());
  const StatusOperation& window = ops.back();
  EXPECT_EQ(window.kind, Kind::kRectangle);
  EXPECT_EQ(window.colour, kColourRed);
  EXPECT_EQ(window.x1, 36 + 2 * 49);
  EXPECT_EQ(window.x2, 36 + 2 * 56);
  EXPECT_EQ(window.y1, 251 - 2 * 75);
  EXPECT_EQ(window.y2, 251 - 2 * 25);
  // Moving the slider again leaves one window on the picture, not two.
  x.SetLeft(10);
  int red = 0;
  for (const auto& op : f.scanninfo.Operations()) red += op.colour == kColourRed ? 1 : 0;
  EXPECT_EQ(red, 1);
}

TEST(SizeHandlers, KeepTheWindowInsideTheScale) {
  OutputFixture f;
  RangeSlider& y = f.output.Achse_Y;
  y.SetRight(100);
  y.SetLeft(100);  // pushes nothing further, the handler pulls the left thumb back
  EXPECT_EQ(y.Left(), 90);
  EXPECT_EQ(y.Right(), 100);
  y.SetLeft(0);
  y.SetRight(0);
  EXPECT_EQ(y.Left(), 0);
  EXPECT_EQ(y.Right(), 10);
  EXPECT_EQ(f.output.OffsetY, (5 - 50) * 655);
  EXPECT_EQ(f.scanninfo.TextAt(150, 255), " Size Y : 10 %  ");
}

TEST(ColourTables, FollowTheRangeAndThePower) {
  ColourTable t = BuildColourTable(5, 80, 10);
  EXPECT_EQ(t[0], 8);  // 7.5 rounds to the even 8
  EXPECT_EQ(t[255], 255);
  EXPECT_EQ(t[128], 8 + (247 * 128) / 255);
  EXPECT_EQ(BuildColourTable(3, 80, 10)[0], 4);  // 4.5 rounds to the even 4
  t = BuildColourTable(40, 45, 4);
  for (int q = 0; q < 256; ++q) EXPECT_EQ(t[static_cast<size_t>(q)], 60) << q;
}

TEST(ColourHandlers, ClampTheRangeAndWriteTheVoltages) {
  OutputFixture f;
  f.output.ApplyStartupSettings();
  EXPECT_EQ(f.output.GreenTable, BuildColourTable(5, 80, 10));
  EXPECT_EQ(f.scanninfo.TextAt(4, 322), "0.15 V");
  EXPECT_EQ(f.scanninfo.TextAt(200, 347), "5.00 V");
  EXPECT_EQ(f.scanninfo.TextAt(200, 410), "100  ");
  EXPECT_EQ(f.scanninfo.TextAt(220, 410), "% ");

  RangeSlider& blue = f.output.Blau_to_Laser;
  blue.SetRight(30);  // below 45: held at 45
  EXPECT_EQ(blue.Right(), 45);
  blue.SetLeft(60);  // pushes right to 60, then held at 40
  EXPECT_EQ(blue.Left(), 40);
  EXPECT_EQ(blue.Right(), 60);
  EXPECT_EQ(f.output.BlueTable, BuildColourTable(40, 60, 10));
  EXPECT_EQ(f.scanninfo.TextAt(4, 372), "1.18 V");
  EXPECT_EQ(f.scanninfo.TextAt(200, 372), "3.83 V");
  EXPECT_EQ(f.output.RedTable, BuildColourTable(5, 80, 10));  // the others stay

  f.output.Dimmen_RGB.SetPosition(4);
  EXPECT_EQ(f.output.RedTable, BuildColourTable(5, 80, 4));
  EXPECT_EQ(f.output.BlueTable, BuildColourTable(40, 60, 4));
  EXPECT_EQ(f.scanninfo.TextAt(200, 410), "40  ");
  EXPECT_EQ(f.scanninfo.TextAt(200, 322), "2.00 V");
}

TEST(PowerLock, LockingDisablesThePowerControlForTheOperator) {
  OutputFixture f;
  f.output.ApplyStartupSettings();
  EXPECT_TRUE(f.output.PowerUnlocked);
  EXPECT_TRUE(f.output.Schloss_Auf.Visible());
  EXPECT_FALSE(f.output.Schloss_Zu.Visible());

  f.output.Schloss_Auf.ClickByOperator();
  EXPECT_FALSE(f.output.PowerUnlocked);
  EXPECT_FALSE(f.output.Schloss_Auf.Visible());
  EXPECT_TRUE(f.output.Schloss_Zu.Visible());
  f.output.Dimmen_RGB.MoveByOperator(5);
  EXPECT_EQ(f.output.Dimmen_RGB.Position(), 10);
  f.output.Schloss_Auf.ClickByOperator();  // hidden now: no effect
  EXPECT_FALSE(f.output.PowerUnlocked);

  f.output.Schloss_Zu.ClickByOperator();
  EXPECT_TRUE(f.output.PowerUnlocked);
  f.output.Dimmen_RGB.MoveByOperator(5);
  EXPECT_EQ(f.output.Dimmen_RGB.Position(), 5);
}

TEST(StatusTexts, TrackBarsWriteTheirValues) {
  OutputFixture f;
  f.output.Scanspeed.SetPosition(40);
  f.output.Farbverschiebung.SetPosition(3);
  f.output.Extrapoints.SetPosition(4);
  EXPECT_EQ(f.deviceFenster.TextAt(90, 85), ": 40 K    ");
  EXPECT_EQ(f.deviceFenster.TextAt(57, 130), ": 3 Vect  ");
  EXPECT_EQ(f.deviceFenster.TextAt(177, 130), ": 4 Stck");
  f.output.Scanspeed.SetPosition(99);
  EXPECT_EQ(f.deviceFenster.TextAt(90, 85), ": 80 K    ");

  f.output.Scanner_Invers.SetPosition(5);
  EXPECT_EQ(f.output.Orientation, 5);
  EXPECT_EQ(f.scanninfo.TextAt(100, 275), " Swap Y X  |  X + Y : Invers");
  f.output.Scanner_Invers.SetPosition(4);
  EXPECT_EQ(f.scanninfo.TextAt(100, 275), " Swap X Y                   ");
}

}  // namespace
}  // namespace lumarex
