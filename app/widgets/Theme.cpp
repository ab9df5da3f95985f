#include "widgets/Theme.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>

namespace torq::app::theme {

namespace {

QColor Pick(const QPalette& palette, const char* light, const char* dark) {
    return QColor(QString::fromLatin1(IsDark(palette) ? dark : light));
}

qreal Luminance(const QColor& colour) {
    const auto linear = [](qreal c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

// Fusion, with check box and radio button indicators that keep a visible rim on dark palettes
// (Fusion draws it a shade darker than the window, which all but vanishes there).
class ReadableFusion final : public QProxyStyle {
  public:
    ReadableFusion() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        const bool box = element == PE_IndicatorCheckBox;
        const bool radio = element == PE_IndicatorRadioButton;
        if ((!box && !radio) || !IsDark(option->palette))
            return;
        const QPalette& palette = option->palette;
        QColor rim =
            Blend(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.55);
        if (!(option->state & State_Enabled))
            rim = Blend(rim, palette.color(QPalette::Window), 0.5);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, radio);
        painter->setPen(QPen(rim, 1));
        painter->setBrush(Qt::NoBrush);
        if (box)
            painter->drawRect(QRectF(option->rect).adjusted(0.5, 0.5, -1.5, -1.5));
        else
            painter->drawEllipse(QRectF(option->rect).adjusted(1, 1, -1, -1));
        painter->restore();
    }
};

}  // namespace

qreal Contrast(const QColor& foreground, const QColor& background) {
    // A translucent foreground is seen over the background.
    const QColor seen =
        Blend(background, QColor(foreground.red(), foreground.green(), foreground.blue()),
              foreground.alphaF());
    const qreal a = Luminance(seen) + 0.05;
    const qreal b = Luminance(background) + 0.05;
    return std::max(a, b) / std::min(a, b);
}

QPalette ReadablePalette(const QPalette& desktop) {
    QPalette palette = desktop;
    const QColor accent = Accent(palette);
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    // Links in the accent, which reads on light and dark palettes alike.
    palette.setColor(QPalette::Link, accent);
    palette.setColor(QPalette::LinkVisited, accent);
    // A palette made without a placeholder colour of its own keeps one meant for light fields:
    // hints and range captions would vanish on a dark one.
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        const QColor hint = palette.color(group, QPalette::PlaceholderText);
        if (Contrast(hint, palette.color(group, QPalette::Base)) < kHintContrast ||
            Contrast(hint, palette.color(group, QPalette::Window)) < kHintContrast) {
            palette.setColor(group, QPalette::PlaceholderText,
                             Blend(palette.color(group, QPalette::Text),
                                   palette.color(group, QPalette::Base), 0.45));
        }
    }
    return palette;
}

void ApplyApplicationLook(QApplication& app) {
    const QPalette desktop = QApplication::palette();
    QApplication::setStyle(new ReadableFusion);
    QApplication::setPalette(ReadablePalette(desktop));
    // Also for window managers that do not match the window with the desktop entry.
    QApplication::setWindowIcon(ApplicationIcon());
    Q_UNUSED(app);
}

QIcon ApplicationIcon() {
    // Drawn from the SVG at the usual icon sizes, so no icon-engine plug-in is needed.
    QSvgRenderer renderer(QStringLiteral(":/icons/org.torqspi.TorqSpi.svg"));
    QIcon icon;
    if (!renderer.isValid())
        return icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

bool IsDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightnessF() < 0.45;
}

QColor Accent(const QPalette& palette) {
    return Pick(palette, "#1f6feb", "#4493f8");
}

QColor Pass(const QPalette& palette) {
    return Pick(palette, "#1a7f37", "#3fb950");
}

QColor Fail(const QPalette& palette) {
    return Pick(palette, "#cf222e", "#f85149");
}

QColor Working(const QPalette& palette) {
    return Pick(palette, "#bf8700", "#d29922");
}

QColor Dim(const QPalette& palette) {
    return Blend(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.45);
}

QColor Blend(const QColor& a, const QColor& b, qreal t) {
    return QColor::fromRgbF(
        a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
        a.blueF() + (b.blueF() - a.blueF()) * t, a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}

QFont ScaledFont(const QFont& base, qreal factor, int weight) {
    QFont font = base;
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * factor);
    else
        font.setPixelSize(static_cast<int>(font.pixelSize() * factor));
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

}  // namespace torq::app::theme
