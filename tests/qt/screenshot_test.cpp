#include <QImage>
#include <cstdlib>
#include <filesystem>

#include "tests/qt/window_fixture.h"

namespace lumarex {
namespace {

using test::WindowTest;

// The share of pixels whose channels all lie within `tolerance` of the golden picture's.
double MatchingShare(const QImage& actual, const QImage& golden, int tolerance) {
  if (actual.size() != golden.size()) return 0.0;
  int64_t matching = 0;
  for (int y = 0; y < actual.height(); ++y) {
    for (int x = 0; x < actual.width(); ++x) {
      const QRgb a = actual.pixel(x, y);
      const QRgb g = golden.pixel(x, y);
      matching += std::abs(qRed(a) - qRed(g)) <= tolerance &&
                          std::abs(qGreen(a) - qGreen(g)) <= tolerance &&
                          std::abs(qBlue(a) - qBlue(g)) <= tolerance
                      ? 1
                      : 0;
    }
  }
  return static_cast<double>(matching) / (actual.width() * actual.height());
}

// The main window with the demo show at frame 150, as an operator sees it.
TEST_F(WindowTest, MainWindowLooksAsItsGoldenPicture) {
  LoadDemo();
  Form().Player.Framescroll.SetPosition(150);
  qt::GlPanel& preview = Main().Zeichenflaeche();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return test::LitPixels(preview.grabFramebuffer()) > 500; }, 3000));
  QTest::qWait(200);
  const QImage actual = Main().grab().toImage().convertToFormat(QImage::Format_RGB32);
  const std::filesystem::path golden =
      std::filesystem::path(LUMAREX_TEST_DATA_DIR) / "main_window.png";
  const QImage expected(QString::fromStdString(golden.string()));
  // Texts that change from run to run (the load's duration) take a few hundred pixels.
  const double share =
      expected.isNull() ? 0.0
                        : MatchingShare(actual, expected.convertToFormat(QImage::Format_RGB32), 24);
  if (share < 0.99) {
    const std::string written =
        (std::filesystem::path(LUMAREX_BIN_DIR) / "main_window.actual.png").string();
    actual.save(QString::fromStdString(written));
    ADD_FAILURE() << "the main window differs from " << golden << " (" << share * 100
                  << " % of the pixels match); it was drawn as " << written
                  << "; if that is right, accept it with: cp '" << written << "' " << golden;
  }
}

}  // namespace
}  // namespace lumarex
