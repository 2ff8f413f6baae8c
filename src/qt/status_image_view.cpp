#include "qt/status_image_view.h"

#include <QFontMetrics>
#include <QPainter>

namespace lumarex::qt {

namespace {

QColor Colour(uint32_t rgb) {
  return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                static_cast<int>(rgb & 0xFF));
}

}  // namespace

QFont PanelFont() {
  // Arial's metrics at 11 pixels match the small sans the texts' places were laid out for:
  // "Save File Start" ends before its value at x = 83, "Colorshift" before 57.
  QFont font("Liberation Sans");
  font.setPixelSize(11);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QFont PanelFontFor(const QString& text, int room) {
  // The panels keep the places laid out for a narrower font: a text that would run past the
  // right edge is set smaller, as the button captions are. The blanks that pad a text only
  // erase what stood there before and may be cut.
  QFont font = PanelFont();
  qsizetype visible = text.size();
  while (visible > 0 && text[visible - 1] == QChar(' ')) --visible;
  const QString shown = text.left(visible);
  while (font.pixelSize() > 8 && QFontMetrics(font).horizontalAdvance(shown) > room) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  return font;
}

StatusImageView::StatusImageView(StatusImage& model, QWidget* parent)
    : QWidget(parent), model_(model) {
  setFixedSize(model.Width(), model.Height());
  setToolTip(QString::fromStdString(model.Hint()));
  model_.SetViewObserver([this] { throttle_.Request(); });
}

StatusImageView::~StatusImageView() {
  model_.SetViewObserver(nullptr);
}

const QImage& StatusImageView::Picture() {
  Render();
  return picture_;
}

void StatusImageView::Render() {
  if (renderedRevision_ == model_.Revision() && !picture_.isNull()) return;
  renderedRevision_ = model_.Revision();
  if (picture_.isNull()) {
    picture_ = QImage(model_.Width(), model_.Height(), QImage::Format_RGB32);
  }
  picture_.fill(Colour(kColourGrey));
  QPainter p(&picture_);
  const QFont font = PanelFont();
  p.setFont(font);
  const int ascent = QFontMetrics(font).ascent();
  p.setBackgroundMode(Qt::OpaqueMode);
  for (const StatusOperation& op : model_.Operations()) {
    switch (op.kind) {
      case StatusOperation::Kind::kFill:
        p.fillRect(picture_.rect(), Colour(op.colour));
        break;
      case StatusOperation::Kind::kText: {
        const QString text = QString::fromStdString(op.text);
        const QFont fitted = PanelFontFor(text, model_.Width() - op.x1);
        // A smaller text keeps the line's baseline.
        if (fitted != font) p.setFont(fitted);
        p.setPen(Colour(op.colour));
        p.setBackground(Colour(op.background));
        p.drawText(op.x1, op.y1 + ascent, text);
        if (fitted != font) p.setFont(font);
        break;
      }
      case StatusOperation::Kind::kLine:
        p.setPen(Colour(op.colour));
        p.drawLine(op.x1, op.y1, op.x2, op.y2);
        break;
      case StatusOperation::Kind::kRectangle:
        // Exclusive of the right and bottom edge, as the canvas draws it.
        p.setPen(Colour(op.colour));
        p.setBrush(Qt::NoBrush);
        p.drawRect(op.x1, op.y1, op.x2 - op.x1 - 1, op.y2 - op.y1 - 1);
        break;
      case StatusOperation::Kind::kFilledRectangle:
        p.fillRect(QRect(QPoint(op.x1, op.y1), QPoint(op.x2 - 1, op.y2 - 1)), Colour(op.colour));
        break;
    }
  }
}

void StatusImageView::paintEvent(QPaintEvent*) {
  Render();
  QPainter painter(this);
  painter.drawImage(0, 0, picture_);
}

}  // namespace lumarex::qt
