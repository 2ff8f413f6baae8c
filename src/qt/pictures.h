#pragma once

#include <QPainter>
#include <QRect>
#include <QString>

namespace lumarex::qt {

// The program's pictures, drawn in code so that no artwork comes from elsewhere: an open and a
// closed padlock (power lock and overwrite protection), the parameter sheet, the music note,
// the optimiser's two picture buttons, and the program's icon.
void DrawPicture(QPainter& painter, const QString& name, const QRect& area);

// The program's icon: a beam fanning out from a source into a ring.
void DrawProgramIcon(QPainter& painter, const QRect& area);

}  // namespace lumarex::qt
