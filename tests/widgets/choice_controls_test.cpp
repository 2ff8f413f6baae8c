#include <gtest/gtest.h>

#include "widgets/button.h"
#include "widgets/combo_box.h"
#include "widgets/image.h"
#include "widgets/label.h"
#include "widgets/menu_item.h"

namespace lumarex {
namespace {

TEST(ComboBox, ProgramSelectsQuietlyOperatorRaisesTheEvent) {
  ComboBox box;
  int events = 0;
  box.OnChange([&] { ++events; });
  box.AddItem("Bitte wählen ");
  box.AddItem("Virtual DAC");
  box.SetItemIndex(0);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(box.Text(), "Bitte wählen ");

  box.ChooseByOperator(1);
  box.ChooseByOperator(1);  // choosing the same item again still reports it
  box.ChooseByOperator(2);  // no such item
  EXPECT_EQ(events, 2);
  EXPECT_EQ(box.ItemIndex(), 1);

  box.SetItemIndex(5);
  EXPECT_EQ(box.ItemIndex(), -1);
  EXPECT_EQ(box.Text(), "");
  box.Clear();
  EXPECT_EQ(box.ItemCount(), 0);
  box.SetEnabled(false);
  box.AddItem("x");
  box.ChooseByOperator(0);
  EXPECT_EQ(events, 2);
}

TEST(ClickControls, OperatorClicksReachOnlyVisibleEnabledControls) {
  int clicks = 0;
  Button button("Centerfahrt");
  MenuItem item("Merge File");
  Image lock("Schloss_Auf");
  button.OnClick([&] { ++clicks; });
  item.OnClick([&] { ++clicks; });
  lock.OnClick([&] { ++clicks; });

  button.ClickByOperator();
  item.ClickByOperator();
  lock.ClickByOperator();
  EXPECT_EQ(clicks, 3);

  button.SetEnabled(false);
  item.SetEnabled(false);
  lock.SetVisible(false);
  button.ClickByOperator();
  item.ClickByOperator();
  lock.ClickByOperator();
  EXPECT_EQ(clicks, 3);

  button.Click();  // from code, as a handler call
  EXPECT_EQ(clicks, 4);
  EXPECT_EQ(button.Caption(), "Centerfahrt");
  EXPECT_EQ(lock.Picture(), "Schloss_Auf");
  item.SetChecked(true);
  EXPECT_TRUE(item.Checked());
}

TEST(Label, CaptionAndColourRepaintOnlyWhenTheyChange) {
  Label speed("Speed : Frames je Sek: 25");
  int repaints = 0;
  speed.SetViewObserver([&] { ++repaints; });
  speed.SetColour(0x808080);
  speed.SetColour(0x808080);
  speed.SetCaption("Speed : Frames je Sek: 30");
  EXPECT_EQ(repaints, 2);
  EXPECT_EQ(speed.Colour(), 0x808080u);
  EXPECT_EQ(speed.Caption(), "Speed : Frames je Sek: 30");
}

}  // namespace
}  // namespace lumarex
