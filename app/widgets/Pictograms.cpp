#include "widgets/Pictograms.h"

#include <QCoreApplication>
#include <QHash>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>
#include <memory>

namespace torq::app {

namespace {

// The caches hold Qt objects: they are emptied when the application object ends, before the
// program's static objects go.
struct Caches {
    QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    QHash<QString, QPixmap> pixmaps;
};

Caches& TheCaches() {
    static Caches caches;
    static const bool registered = [] {
        qAddPostRoutine([] {
            TheCaches().renderers.clear();
            TheCaches().pixmaps.clear();
        });
        return true;
    }();
    Q_UNUSED(registered);
    return caches;
}

QSvgRenderer& Renderer(const QString& name) {
    auto& renderer = TheCaches().renderers[name];
    if (!renderer)
        renderer = std::make_shared<QSvgRenderer>(QStringLiteral(":/art/%1.svg").arg(name));
    return *renderer;
}

}  // namespace

QPixmap Pictogram(const QString& name, int logicalSize, qreal devicePixelRatio,
                  const QColor& colour) {
    // A handful of pictograms in a few sizes and colours: the cache stays small.
    QHash<QString, QPixmap>& cache = TheCaches().pixmaps;
    const QString key = QStringLiteral("%1|%2|%3|%4")
                            .arg(name)
                            .arg(logicalSize)
                            .arg(devicePixelRatio)
                            .arg(colour.rgba());
    if (const auto found = cache.constFind(key); found != cache.constEnd())
        return *found;
    const int pixels = std::max(1, static_cast<int>(std::lround(logicalSize * devicePixelRatio)));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        Renderer(name).render(&painter, QRectF(0, 0, pixels, pixels));
        // The artwork is drawn in black: keep its shape, take the colour asked for.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), colour);
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    if (cache.size() > 512)
        cache.clear();
    cache.insert(key, pixmap);
    return pixmap;
}

void DrawPictogram(QPainter& painter, const QRectF& rect, const QString& name,
                   const QColor& colour) {
    const int side = static_cast<int>(std::floor(std::min(rect.width(), rect.height())));
    if (side <= 0)
        return;
    const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap pixmap = Pictogram(name, side, ratio, colour);
    const QPointF topLeft(rect.center().x() - side / 2.0, rect.center().y() - side / 2.0);
    painter.drawPixmap(QPointF(std::round(topLeft.x()), std::round(topLeft.y())), pixmap);
}

}  // namespace torq::app
