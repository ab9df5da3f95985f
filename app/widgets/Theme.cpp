#include "widgets/Theme.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QStyleFactory>
#include <QSvgRenderer>

#include "torq/editor/qt/EditorWidgets.h"

namespace torq::app::theme {

namespace {
QColor Pick(const QPalette& palette, const char* light, const char* dark) {
    return QColor(QString::fromLatin1(IsDark(palette) ? dark : light));
}
}  // namespace

void ApplyApplicationLook(QApplication& app) {
    const QPalette desktop = QApplication::palette();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette palette = desktop;
    const QColor accent = Accent(palette);
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    QApplication::setPalette(palette);
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

QFont FixedFont() {
    return editor::qt::FixedFont();
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
