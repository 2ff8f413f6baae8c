#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <cstdlib>
#include <fstream>

#include "qt/projection_window.h"
#include "tests/qt/window_fixture.h"
#include "tests/support/child_process.h"
#include "tests/support/step_show.h"
#include "tests/timecode/ltc_writer.h"

namespace lumarex {
namespace {

using test::WindowTest;

// The set list and remote control windows as an operator uses them: a list opened with Add,
// an entry gone to by double-click, OSC switched on at run time and a real client's Stop seen
// in the last commands.
TEST_F(WindowTest, TheSetListAndRemoteControlWindowsDriveTheShow) {
  ASSERT_TRUE(test::WriteStepShow(dir.File("a.ild"), 40));
  ASSERT_TRUE(test::WriteStepShow(dir.File("b.ild"), 400));
  std::ofstream(dir.File("abend.m3u")) << "a.ild\nb.ild\n";

  Main().Action("Setliste")->trigger();
  auto* setList = Main().findChild<QWidget*>("Setliste");
  ASSERT_NE(setList, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(setList));
  program->Desktop().scriptedPaths.push_back(dir.File("abend.m3u"));
  setList->findChild<QPushButton*>("Add")->click();
  auto* entries = setList->findChild<QListWidget*>("Eintraege");
  ASSERT_EQ(entries->count(), 2);
  EXPECT_EQ(entries->item(0)->text(), QString("\u25B6 1  a.ild")) << "the first entry is cued";

  QTest::qWait(50);  // the view lays its items out
  const QRect second = entries->visualItemRect(entries->item(1));
  ASSERT_FALSE(second.isEmpty());
  // A double-click as the mouse makes it: a click, then the second press.
  QTest::mouseClick(entries->viewport(), Qt::LeftButton, {}, second.center());
  QTest::mouseDClick(entries->viewport(), Qt::LeftButton, {}, second.center());
  EXPECT_TRUE(Form().Player.Playing());
  EXPECT_EQ(Main().windowTitle(), "Lumarex - b.ild");
  EXPECT_EQ(entries->item(1)->text(), QString("\u25B6 2  b.ild"));
  EXPECT_TRUE(entries->item(1)->font().bold());
  setList->grab().save(QString(LUMAREX_BIN_DIR) + "/../setliste.png");

  Main().Action("Fernsteuerung")->trigger();
  auto* remote = Main().findChild<QWidget*>("Fernsteuerung");
  ASSERT_NE(remote, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(remote));
  auto* states = remote->findChild<QLabel*>("Zustand");
  EXPECT_TRUE(states->text().startsWith("OSC: aus\nArt-Net: aus\nsACN: aus\nMIDI: aus"))
      << states->text().toStdString();
  const int port = test::FreeUdpPort();
  remote->findChild<QSpinBox*>("OSC_Port")->setValue(port);
  remote->findChild<QCheckBox*>("OSC")->click();
  EXPECT_TRUE(states->text().startsWith("OSC: an, Port " + QString::number(port)))
      << states->text().toStdString();
  if (std::system("command -v oscsend >/dev/null") != 0) GTEST_SKIP() << "no oscsend";
  const std::string send = "oscsend localhost " + std::to_string(port) + " /lumarex/stop";
  ASSERT_EQ(std::system(send.c_str()), 0);
  auto* messages = remote->findChild<QListWidget*>("Meldungen");
  EXPECT_TRUE(QTest::qWaitFor([&] { return messages->count() > 0; }, 3000));
  ASSERT_GT(messages->count(), 0);
  EXPECT_EQ(messages->item(messages->count() - 1)->text(), "osc: Stop");
  EXPECT_FALSE(Form().Player.Playing());
  EXPECT_TRUE(QTest::qWaitFor([&] { return states->text().contains("1 empfangen"); }, 2000))
      << states->text().toStdString();
  remote->grab().save(QString(LUMAREX_BIN_DIR) + "/../fernsteuerung.png");

  remote->findChild<QCheckBox*>("OSC")->click();
  EXPECT_TRUE(states->text().startsWith("OSC: aus"));
}

// The show's clock as the operator switches it in "Fernsteuerung": the music's clock, a
// source that cannot be had, and LTC from a file whose line tells the incoming time, the lock
// and the offset of the frame on show.
TEST_F(WindowTest, TheClockOptionsSwitchTheShowsClockAndTellHowItStands) {
  ASSERT_TRUE(test::WriteStepShow(dir.File("a.ild"), 100));
  test::LtcWriter writer(48000, TimecodeRate::k25);
  writer.AppendFrames(*ParseTimecode("00:59:59:00", TimecodeRate::k25), 150);
  ASSERT_TRUE(test::WriteMonoWav(dir.File("tc.wav"), 48000, writer.Samples()));

  Main().Action("Fernsteuerung")->trigger();
  auto* remote = Main().findChild<QWidget*>("Fernsteuerung");
  ASSERT_NE(remote, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(remote));
  auto* line = remote->findChild<QLabel*>("Uhr_Zustand");
  auto* clock = remote->findChild<QComboBox*>("Uhr");
  auto* source = remote->findChild<QLineEdit*>("Timecode");
  auto* apply = remote->findChild<QPushButton*>("Uhr_Uebernehmen");
  ASSERT_TRUE(line && clock && source && apply);
  EXPECT_EQ(line->text(), "Uhr: System");

  clock->setCurrentIndex(1);
  apply->click();
  EXPECT_EQ(line->text(), "Uhr: Audio (System, keine Musik)");
  EXPECT_EQ(Form().Player.TimeSource()->Name(), "audio");

  clock->setCurrentIndex(0);
  source->setText("sonstwas");
  apply->click();
  EXPECT_TRUE(line->text().startsWith("Uhr: Fehler: ")) << line->text().toStdString();
  EXPECT_EQ(Form().Player.TimeSource(), nullptr) << "back on the system clock";

  source->setText(QString::fromStdString("ltc-file:" + dir.File("tc.wav")));
  remote->findChild<QLineEdit*>("Timecode_Start")->setText("01:00:00:00");
  apply->click();
  EXPECT_EQ(line->text(), "Timecode ltc-file: wartet");
  ASSERT_TRUE(program->Registry().Load(dir.File("a.ild"), CommandSource::kWidget));
  ASSERT_TRUE(program->Registry().Play(CommandSource::kWidget));
  // The file's time runs up to the start a second before the show; the line is read once the
  // show has started, which a loaded machine reaches a little later.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return line->text().startsWith("Timecode ltc-file: 01:00:") &&
               line->text().contains(" locked, Versatz +");
      },
      5000))
      << line->text().toStdString();
  EXPECT_GT(Form().Player.FramesAccepted(), 0u);
  remote->grab().save(QString(LUMAREX_BIN_DIR) + "/../fernsteuerung_uhr.png");
  program->Registry().Stop(CommandSource::kWidget);
}

// "Projektion" as the operator squares the picture up: the test grid goes to the projector in
// place of the show, a corner handle dragged moves the next frame sent, three clicks draw a mask
// the light stays out of, and a second projector takes the main window's calibration controls.
TEST_F(WindowTest, TheProjectionWindowMovesTheNextFrameAndDrawsMasks) {
  ASSERT_TRUE(test::WriteStepShow(dir.File("a.ild"), 20));
  ASSERT_TRUE(program->Registry().Load(dir.File("a.ild"), CommandSource::kWidget));
  Main().Action("Projektion")->trigger();
  auto* window = Main().findChild<qt::ProjectionWindow*>("Projektion");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  qt::FieldView* field = window->Field();
  LaserAusgabe& output = Form().Output;

  window->findChild<QCheckBox*>("Testbild")->click();
  EXPECT_TRUE(Form().TestPattern());
  EXPECT_TRUE(QTest::qWaitFor([&] { return output.LastDacPoints().size() > 100; }, 2000));
  const auto maxX = [&] {
    uint16_t x = 0;
    for (const DacPoint& p : output.LastDacPoints()) x = std::max(x, p.x);
    return x;
  };
  const uint16_t before = maxX();

  // The top right corner, dragged a fifth of the field to the left.
  const QPoint corner = field->ToPixel({65535, 65535}).toPoint();
  const QPoint inwards = field->ToPixel({52000, 65535}).toPoint();
  QTest::mousePress(field, Qt::LeftButton, {}, corner);
  QTest::mouseMove(field, inwards);
  QTest::mouseRelease(field, Qt::LeftButton, {}, inwards);
  const auto& corners = Form().Projectors.GetProjection(1)->corners;
  EXPECT_NEAR(corners[2].x, 52000, 300);
  EXPECT_EQ(Form().Projectors.Ecken[4].Position(), static_cast<int32_t>(std::lround(corners[2].x)));
  EXPECT_TRUE(QTest::qWaitFor([&] { return maxX() < before - 2000; }, 2000))
      << before << " " << maxX();

  // A mask over the lower half: no lit point inside it in the frames that follow.
  window->findChild<QPushButton*>("Maske_Neu")->click();
  for (const FieldPoint at : {FieldPoint{5000, 2000}, FieldPoint{60000, 2000},
                              FieldPoint{60000, 30000}, FieldPoint{5000, 30000}}) {
    QTest::mouseClick(field, Qt::LeftButton, {}, field->ToPixel(at).toPoint());
  }
  window->findChild<QPushButton*>("Maske_Fertig")->click();
  ASSERT_EQ(Form().Projectors.GetProjection(1)->masks.size(), 1u);
  QTest::qWait(150);
  for (const DacPoint& p : output.LastDacPoints()) {
    if (p.x > 6000 && p.x < 59000 && p.y > 3000 && p.y < 29000) {
      EXPECT_EQ(p.r | p.g | p.b | p.i, 0) << p.x << "," << p.y;
    }
  }
  window->grab().save(QString(LUMAREX_BIN_DIR) + "/../projektion.png");

  // A second projector: selected, the main window's size slider is its own.
  window->findChild<QPushButton*>("Projektor_Neu")->click();
  ASSERT_EQ(Form().Projectors.Count(), 2);
  EXPECT_EQ(Form().Projectors.Selected(), 2);
  auto* slider = dynamic_cast<qt::RangeSliderWidget*>(Main().ControlWidget("Achse_X"));
  ASSERT_NE(slider, nullptr);
  EXPECT_TRUE(slider->isVisible());
  const int thumbBefore = slider->ThumbPosition(false);
  program->Registry().Set("Achse_X.Left", 40, CommandSource::kOsc);
  EXPECT_EQ(Form().Projectors.Output(2).Achse_X.Left(), 40);
  EXPECT_TRUE(QTest::qWaitFor([&] { return slider->ThumbPosition(false) > thumbBefore; }, 1000))
      << "the widget shows the selected projector's slider";
  EXPECT_EQ(output.Achse_X.Left(), 25) << "output 1 keeps its calibration";
  // OSC moves the selected projector's corners by name.
  EXPECT_TRUE(program->Registry().Set("Ecke1_X", 3000, CommandSource::kOsc));
  ASSERT_TRUE(Form().Projectors.GetProjection(2));
  EXPECT_EQ(Form().Projectors.GetProjection(2)->corners[0].x, 3000);
  EXPECT_EQ(Form().Projectors.GetProjection(1)->corners[0].x, 0);
  window->findChild<QCheckBox*>("Testbild")->click();
  EXPECT_FALSE(Form().TestPattern());

  // The rig saved and loaded back: both projectors with their calibrations and projections.
  program->Desktop().scriptedPaths.push_back(dir.File("venue.rig.json"));
  window->findChild<QPushButton*>("Rig_Speichern")->click();
  window->findChild<QPushButton*>("Projektor_Weg")->click();
  ASSERT_EQ(Form().Projectors.Count(), 1);
  program->Desktop().scriptedPaths.push_back(dir.File("venue.rig.json"));
  window->findChild<QPushButton*>("Rig_Laden")->click();
  EXPECT_EQ(window->findChild<QLabel*>("Projektion_Zustand")->text(), "");
  ASSERT_EQ(Form().Projectors.Count(), 2);
  EXPECT_EQ(Form().Projectors.Output(2).Achse_X.Left(), 40);
  ASSERT_TRUE(Form().Projectors.GetProjection(2));
  EXPECT_EQ(Form().Projectors.GetProjection(2)->corners[0].x, 3000);
  EXPECT_EQ(Form().Projectors.GetProjection(1)->masks.size(), 1u);
}

}  // namespace
}  // namespace lumarex
