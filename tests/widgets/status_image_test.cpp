#include <gtest/gtest.h>

#include "widgets/status_image.h"

namespace lumarex {
namespace {

using Kind = StatusOperation::Kind;

TEST(StatusImage, RecordsOperationsInOrderWithTheirColours) {
  StatusImage image(250, 430);
  image.Fill(kColourGrey);
  image.PenColour = kColourRed;
  image.Line(0, 298, 250, 298);
  image.FontColour = kColourYellow;
  image.TextOut(30, 5, "Output : Size + Move + Invers + Swap");
  image.Rectangle(36, 101, 136, 201);

  const auto& ops = image.Operations();
  ASSERT_EQ(ops.size(), 4u);
  EXPECT_EQ(ops[0].kind, Kind::kFill);
  EXPECT_EQ(ops[0].colour, kColourGrey);
  EXPECT_EQ(ops[1].kind, Kind::kLine);
  EXPECT_EQ(ops[1].colour, kColourRed);
  EXPECT_EQ(ops[2].kind, Kind::kText);
  EXPECT_EQ(ops[2].colour, kColourYellow);
  EXPECT_EQ(ops[2].background, kColourGrey);
  EXPECT_EQ(ops[3].kind, Kind::kRectangle);
  EXPECT_EQ(image.TextAt(30, 5), "Output : Size + Move + Invers + Swap");
  EXPECT_FALSE(image.HasTextAt(31, 5));
  EXPECT_EQ(image.Revision(), 4u);
}

TEST(StatusImage, RewritingAPlaceReplacesWhatStoodThere) {
  StatusImage image(250, 243);
  for (int i = 0; i < 1000; ++i) image.TextOut(150, 180, ": " + std::to_string(i));
  image.PenColour = kColourRed;
  image.Rectangle(36, 50, 236, 250);
  image.PenColour = kColourBlack;
  image.Rectangle(36, 50, 236, 250);
  EXPECT_EQ(image.Operations().size(), 2u);
  EXPECT_EQ(image.TextAt(150, 180), ": 999");
  EXPECT_EQ(image.Operations().back().colour, kColourBlack);

  // A filled square wipes what lies inside it and keeps what lies outside.
  image.TextOut(100, 275, " X + Y : Normal");
  image.Rectangle(60, 60, 100, 100);
  image.BrushColour = kColourSilver;
  image.FillRectangle(36, 50, 236, 250);
  ASSERT_EQ(image.Operations().size(), 2u);
  EXPECT_EQ(image.Operations()[0].text, " X + Y : Normal");
  EXPECT_EQ(image.Operations()[1].kind, Kind::kFilledRectangle);
  EXPECT_EQ(image.TextAt(150, 180), "");

  image.Fill(kColourGrey);
  EXPECT_EQ(image.Operations().size(), 1u);
  EXPECT_EQ(image.TextAt(150, 180), "");
}

}  // namespace
}  // namespace lumarex
