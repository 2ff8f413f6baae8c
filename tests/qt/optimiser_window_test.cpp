#include <QAction>
#include <QFontMetrics>
#include <QLabel>

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
  // A frame as wide in figures as shows get: "S:3352   B:132".
  std::vector<ShowPoint> big;
  for (int k = 0; k < 3484; ++k) {
    ShowPoint p;
    p.X = static_cast<int16_t>(-30000 + 17 * k);
    p.Y = static_cast<int16_t>(k % 2 == 0 ? 1000 : -1000);
    p.G = 255;
    p.Visible = k % 26 == 0 && k < 26 * 132 ? 0 : 1;
    big.push_back(p);
  }
  Form().Store.ReplaceFrame(200, big);
  qt::OptimiserWindow& o = program->Optimiser();
  Main().Action("Optimiereaufscannerwege1")->trigger();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&o));
  OptimiserSession& s = Form().Optimiser;
  s.Bildposition.SetPosition(200);
  const StatusImage& panel = s.Statusfenster;
  EXPECT_EQ(panel.TextAt(220, 12), "> Optimiertes Frame <");
  EXPECT_EQ(panel.TextAt(120, 80).substr(0, 14), "S:3352   B:132");
  ExpectTextsInside(panel);
  ExpectTextsInside(s.Controls.Info_Center);

  // The scanner load of each frame in a corner of its half of the comparison view, whole.
  const QRect view = o.ControlWidget("Show_Frame")->geometry();
  const QRect halves[2] = {QRect(view.left(), view.top(), view.width() / 2, view.height()),
                           QRect(view.center().x(), view.top(), view.width() / 2, view.height())};
  int k = 0;
  for (const char* name : {"Scannerlast_Original", "Scannerlast_Optimiert"}) {
    SCOPED_TRACE(name);
    auto* label = static_cast<QLabel*>(o.ControlWidget(name));
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->isVisible());
    EXPECT_TRUE(label->text().startsWith("Scannerlast ")) << label->text().toStdString();
    EXPECT_TRUE(halves[k++].contains(label->geometry()));
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
    EXPECT_LE(label->fontMetrics().height(), label->height());
  }
  o.Action("Zurueck")->trigger();
}

}  // namespace
}  // namespace lumarex
