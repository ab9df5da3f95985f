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

// The least contrast of a hint (placeholder text, range captions) with the field and the window.
inline constexpr qreal kHintContrast = 2.5;

// The desktop's palette with the accent as highlight and link colour, and a readable placeholder
// colour when the palette has none of its own for its background.
QPalette ReadablePalette(const QPalette& desktop);
// The contrast ratio of two colours (1 to 21); a translucent foreground is taken over the
// background.
qreal Contrast(const QColor& foreground, const QColor& background);

// Fusion with the desktop's palette (as ReadablePalette makes it); the palette's highlight becomes
// the accent, so selections, focus frames and progress bars agree with the tiles. The program's
// icon becomes every window's.
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

// The palette's font scaled (status words, unit titles).
QFont ScaledFont(const QFont& base, qreal factor, int weight);

}  // namespace torq::app::theme
