#pragma once

#include <QImage>
#include <QWidget>

#include "qt/paint_throttle.h"
#include "widgets/status_image.h"

namespace lumarex::qt {

// Paints a status image model: its recorded fills, texts, lines and rectangles, in order, onto
// a picture of the model's size, in the small sans font the panels were laid out for. Texts
// are drawn opaque on their background, so the blanks that pad them erase what stood there.
class StatusImageView final : public QWidget {
 public:
  StatusImageView(StatusImage& model, QWidget* parent);
  ~StatusImageView() override;

  // The picture as it stands now (for tests and screenshots).
  const QImage& Picture();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Render();

  StatusImage& model_;
  PaintThrottle throttle_{40, [this] { update(); }};
  QImage picture_;
  uint64_t renderedRevision_ = ~uint64_t{0};
};

// The panels' font: a plain sans of about 8 points, as the status texts' places were set for.
QFont PanelFont();
// The font a text is painted in that starts `room` pixels before the panel's right edge: the
// panel font, or a smaller size of it when the text without its padding blanks would not fit.
QFont PanelFontFor(const QString& text, int room);

}  // namespace lumarex::qt
