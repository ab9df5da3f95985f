// The SVG pictograms of app/art drawn in one colour at any size and pixel ratio, cached.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

class QPainter;
class QRectF;

namespace torq::app {

// The pictogram ":/art/<name>.svg" as a pixmap of `logicalSize` x `logicalSize` device-independent
// pixels in `colour`.
QPixmap Pictogram(const QString& name, int logicalSize, qreal devicePixelRatio,
                  const QColor& colour);
// Draws it centred in `rect` (the largest square that fits).
void DrawPictogram(QPainter& painter, const QRectF& rect, const QString& name,
                   const QColor& colour);

}  // namespace torq::app
