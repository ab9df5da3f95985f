// The editor's colours, taken from the desktop's palette so light and dark themes both read.
#pragma once

#include <QColor>
#include <QPalette>

namespace torq::editor::qt {

// t = 0 gives a, t = 1 gives b.
inline QColor Mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

struct EditorColours {
    explicit EditorColours(const QPalette& palette)
        : base(palette.color(QPalette::Base)),
          text(palette.color(QPalette::Text)),
          header(Mix(palette.color(QPalette::Base), palette.color(QPalette::Window), 0.7)),
          offset(Mix(text, base, 0.45)),
          erased(Mix(text, base, 0.5)),
          outside(Mix(text, base, 0.82)),
          highlight(palette.color(QPalette::Highlight)),
          highlightedText(palette.color(QPalette::HighlightedText)),
          twin(Mix(highlight, base, 0.72)),
          selection(Mix(highlight, base, 0.55)),
          match(Mix(QColor(255, 176, 0), base, 0.45)) {}
    QColor base;
    QColor text;
    QColor header;
    QColor offset;     // addresses and column labels
    QColor erased;     // FF bytes, slightly dimmed so data stands out
    QColor outside;    // cells beyond the device
    QColor highlight;  // the cursor cell
    QColor highlightedText;
    QColor twin;       // the cursor's twin on the other side
    QColor selection;  // selected bytes
    QColor match;      // bytes a match of the find pattern covers
};

}  // namespace torq::editor::qt
