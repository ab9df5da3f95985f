// The window's look in one place: the 8-pixel grid, the one accent colour, the verdict colours
// (chosen to read on light and dark palettes alike) and the fixed-width font.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>

class QApplication;

namespace torq::app::theme {

inline constexpr int kGrid = 8;

// Fusion with the desktop's palette; the palette's highlight becomes the accent, so selections,
// focus frames and progress bars agree with the tiles. The program's icon becomes every window's.
void ApplyApplicationLook(QApplication& app);
// The program's icon (the one the desktop entry names).
QIcon ApplicationIcon();

bool IsDark(const QPalette& palette);
QColor Accent(const QPalette& palette);
QColor Pass(const QPalette& palette);
QColor Fail(const QPalette& palette);
QColor Working(const QPalette& palette);
// Text that steps back: time stamps, captions of idle indicators.
QColor Dim(const QPalette& palette);
// a at t = 0, b at t = 1.
QColor Blend(const QColor& a, const QColor& b, qreal t);

QFont FixedFont();
// The palette's font scaled (status words, unit titles).
QFont ScaledFont(const QFont& base, qreal factor, int weight);

}  // namespace torq::app::theme
