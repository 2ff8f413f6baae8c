#include "qt/pictures.h"

#include <QLinearGradient>
#include <QPainterPath>

namespace lumarex::qt {

namespace {

void Padlock(QPainter& p, const QRectF& r, bool open, const QColor& body) {
  const double w = r.width();
  const double h = r.height();
  const QRectF box(r.left() + w * 0.18, r.top() + h * 0.45, w * 0.64, h * 0.5);
  QPen shackle(QColor(70, 70, 70), std::max(1.5, w * 0.1));
  p.setPen(shackle);
  p.setBrush(Qt::NoBrush);
  const double shackleW = w * 0.42;
  const double left = r.left() + (w - shackleW) / 2 + (open ? w * 0.18 : 0.0);
  QPainterPath arc;
  arc.moveTo(left, box.top() + (open ? -h * 0.08 : 0.0));
  arc.arcTo(QRectF(left, r.top() + h * 0.08 - (open ? h * 0.08 : 0.0), shackleW, h * 0.5), 180,
            -180);
  arc.lineTo(left + shackleW, box.top());
  p.drawPath(arc);
  QLinearGradient shine(box.topLeft(), box.bottomRight());
  shine.setColorAt(0, body.lighter(150));
  shine.setColorAt(1, body.darker(130));
  p.setPen(QPen(body.darker(170), 1));
  p.setBrush(shine);
  p.drawRoundedRect(box, 2, 2);
  p.setBrush(QColor(40, 40, 40));
  p.drawEllipse(QPointF(box.center().x(), box.center().y() - h * 0.04), w * 0.06, w * 0.06);
}

void Sheet(QPainter& p, const QRectF& r) {
  const QRectF page(r.left() + r.width() * 0.2, r.top() + r.height() * 0.08, r.width() * 0.6,
                    r.height() * 0.84);
  p.setPen(QPen(QColor(60, 60, 60), 1));
  p.setBrush(QColor(250, 250, 235));
  p.drawRect(page);
  p.setPen(QPen(QColor(30, 90, 200), 1.5));
  for (int k = 1; k <= 4; ++k) {
    const double y = page.top() + page.height() * k / 5.5;
    p.drawLine(QPointF(page.left() + 3, y), QPointF(page.right() - 3, y));
  }
  p.setPen(QPen(QColor(0, 150, 0), 2));
  p.drawLine(QPointF(page.right() - page.width() * 0.5, page.bottom() - 5),
             QPointF(page.right() - page.width() * 0.35, page.bottom() - 2));
  p.drawLine(QPointF(page.right() - page.width() * 0.35, page.bottom() - 2),
             QPointF(page.right() - 1, page.bottom() - page.height() * 0.3));
}

void Note(QPainter& p, const QRectF& r) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(150, 20, 150));
  const double w = r.width();
  const double h = r.height();
  p.drawEllipse(QRectF(r.left() + w * 0.12, r.top() + h * 0.65, w * 0.32, h * 0.25));
  p.drawEllipse(QRectF(r.left() + w * 0.56, r.top() + h * 0.55, w * 0.32, h * 0.25));
  p.setPen(QPen(QColor(150, 20, 150), std::max(1.5, w * 0.07)));
  p.drawLine(QPointF(r.left() + w * 0.42, r.top() + h * 0.78),
             QPointF(r.left() + w * 0.42, r.top() + h * 0.15));
  p.drawLine(QPointF(r.left() + w * 0.86, r.top() + h * 0.68),
             QPointF(r.left() + w * 0.86, r.top() + h * 0.05));
  p.setPen(QPen(QColor(150, 20, 150), std::max(2.0, w * 0.12)));
  p.drawLine(QPointF(r.left() + w * 0.42, r.top() + h * 0.15),
             QPointF(r.left() + w * 0.86, r.top() + h * 0.05));
}

// A frame of scattered points, or the same points on one tidy path.
void Paths(QPainter& p, const QRectF& r, bool tidy) {
  p.fillRect(r, QColor(10, 10, 10));
  const QPointF pts[] = {{0.2, 0.3}, {0.8, 0.25}, {0.35, 0.75}, {0.7, 0.7}, {0.5, 0.45}};
  QPolygonF poly;
  for (const QPointF& k : pts)
    poly << QPointF(r.left() + k.x() * r.width(), r.top() + k.y() * r.height());
  if (tidy) std::swap(poly[1], poly[4]);
  p.setPen(QPen(QColor(0, 230, 120), 1.5));
  p.drawPolyline(poly);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 80, 60));
  for (const QPointF& q : poly) p.drawEllipse(q, 2.0, 2.0);
}

}  // namespace

void DrawPicture(QPainter& painter, const QString& name, const QRect& area) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF r(area);
  if (name == "Schloss_Auf") {
    Padlock(painter, r, true, QColor(80, 170, 80));
  } else if (name == "Schloss_Zu") {
    Padlock(painter, r, false, QColor(200, 60, 50));
  } else if (name == "Parameter_Auf") {
    Padlock(painter, r, true, QColor(200, 170, 60));
  } else if (name == "Parameter_Zu") {
    Padlock(painter, r, false, QColor(200, 170, 60));
  } else if (name == "Parameter") {
    Sheet(painter, r);
  } else if (name == "Musik") {
    Note(painter, r);
  } else if (name == "Optimiere_Frame") {
    Paths(painter, r, false);
  } else if (name == "Optimiere_File") {
    Paths(painter, r, true);
  }
  painter.restore();
}

void DrawProgramIcon(QPainter& painter, const QRect& area) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF r(area);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(20, 20, 30));
  painter.drawRoundedRect(r, r.width() * 0.15, r.width() * 0.15);
  const QPointF source(r.center().x(), r.top() + r.height() * 0.18);
  const QColor colours[] = {QColor(255, 40, 40), QColor(40, 255, 80), QColor(60, 120, 255)};
  for (int k = 0; k < 3; ++k) {
    QColor c = colours[k];
    c.setAlpha(140);
    painter.setBrush(c);
    QPolygonF fan;
    const double x = r.left() + r.width() * (0.2 + 0.3 * k);
    fan << source << QPointF(x, r.bottom() - r.height() * 0.15)
        << QPointF(x + r.width() * 0.3, r.bottom() - r.height() * 0.15);
    painter.drawPolygon(fan);
  }
  painter.setBrush(Qt::white);
  painter.drawEllipse(source, r.width() * 0.05, r.width() * 0.05);
  painter.restore();
}

}  // namespace lumarex::qt
