#include <QFontMetrics>

#include "qt/status_image_view.h"
#include "tests/qt/window_fixture.h"

namespace lumarex {
namespace {

using test::WindowTest;

// The ink of every text on a panel, in the font its view paints it in, ends inside the panel;
// a text that fits in the panel font keeps it.
void ExpectTextsInside(const StatusImage& panel) {
  for (const StatusOperation& op : panel.Operations()) {
    if (op.kind != StatusOperation::Kind::kText) continue;
    const QString text = QString::fromStdString(op.text).trimmed();
    const int room = panel.Width() - op.x1;
    const QFont font = qt::PanelFontFor(QString::fromStdString(op.text), room);
    EXPECT_LE(QFontMetrics(font).horizontalAdvance(text), room) << op.text;
    EXPECT_GE(font.pixelSize(), 8) << op.text;
    if (QFontMetrics(qt::PanelFont()).horizontalAdvance(text) <= room) {
      EXPECT_EQ(font, qt::PanelFont()) << op.text;
    }
  }
}

TEST_F(WindowTest, TheOptimiserWindowsStatisticsAndScannerLoadFitTheirPlaces) {
  LoadDemo();
  qt::OptimiserWindow& o = program->Optimiser();
  Main().Action("Optimiereaufscannerwege1")->trigger();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&o));
  OptimiserSession& s = Form().Optimiser;
  s.Bildposition.SetPosition(200);
  const StatusImage& panel = s.Statusfenster;
  EXPECT_EQ(panel.TextAt(220, 12), "> Optimiertes Frame <");
  EXPECT_EQ(panel.TextAt(250, 80).substr(0, 2), "S:");
  ExpectTextsInside(panel);
  ExpectTextsInside(s.Controls.Info_Center);
  o.Action("Zurueck")->trigger();
}

}  // namespace
}  // namespace lumarex
