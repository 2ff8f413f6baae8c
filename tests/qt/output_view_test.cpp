#include <QAction>
#include <QCheckBox>
#include <QSpinBox>

#include "qt/control_widgets.h"
#include "tests/qt/window_fixture.h"

namespace lumarex {
namespace {

using test::LitPixels;
using test::WindowTest;

TEST_F(WindowTest, TheOutputViewsScannerSimulationIsBoundToItsModel) {
  LoadDemo();
  Main().Action("Ausgabeansicht")->trigger();
  QWidget& window = Main().OutputViewWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  auto* simulation = static_cast<QCheckBox*>(Main().ControlWidget("Scanner_Simulation"));
  auto* kpps = static_cast<QSpinBox*>(Main().ControlWidget("Scanner_Kpps"));
  ASSERT_NE(simulation, nullptr);
  ASSERT_NE(kpps, nullptr);
  EXPECT_EQ(simulation->text(), "Scanner-Simulation");
  EXPECT_EQ(kpps->value(), 30);
  EXPECT_TRUE(window.rect().contains(simulation->geometry()));
  EXPECT_TRUE(window.rect().contains(kpps->geometry()));
  EXPECT_FALSE(simulation->geometry().intersects(kpps->geometry()));
  EXPECT_LE(simulation->sizeHint().width(), simulation->width()) << "the caption is not cut";

  QTest::mouseClick(simulation, Qt::LeftButton, {}, QPoint(6, simulation->height() / 2));
  EXPECT_TRUE(Form().Scanner_Simulation.Checked());
  kpps->setValue(12);
  EXPECT_EQ(Form().Scanner_Kpps.Position(), 12);
  Form().Scanner_Kpps.SetPosition(40);
  EXPECT_EQ(kpps->value(), 40);

  // A frame sent draws its beam path in the view.
  Form().Output.OutputFrame(200);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return LitPixels(Main().OutputView().grabFramebuffer()) > 200; }, 2000));
  Form().Scanner_Simulation.Click();
  EXPECT_FALSE(simulation->isChecked());
}

}  // namespace
}  // namespace lumarex
