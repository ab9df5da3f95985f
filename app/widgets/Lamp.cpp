#include "widgets/Lamp.h"

#include <QPainter>

#include "widgets/Pictograms.h"
#include "widgets/Theme.h"

namespace torq::app {

LampFace::LampFace(QWidget* panel, LampImage state, const QString& name)
    : QWidget(panel), state_(state) {
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LampFace::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const qreal side = std::min(width(), height()) - 2;
    const QRectF disc(width() / 2.0 - side / 2, height() / 2.0 - side / 2, side, side);
    if (state_ == LampImage::Gray) {
        painter.setPen(QPen(theme::Dim(pal), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(disc.adjusted(1, 1, -1, -1));
        return;
    }
    const QColor colour = state_ == LampImage::Yellow  ? theme::Working(pal)
                          : state_ == LampImage::Green ? theme::Pass(pal)
                                                       : theme::Fail(pal);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(disc);
    const QString mark = state_ == LampImage::Yellow  ? QStringLiteral("hourglass")
                         : state_ == LampImage::Green ? QStringLiteral("tick")
                                                      : QStringLiteral("cross");
    const qreal inner = side * 0.62;
    DrawPictogram(
        painter, QRectF(disc.center().x() - inner / 2, disc.center().y() - inner / 2, inner, inner),
        mark, Qt::white);
}

Lamp::Lamp(const Indicator& indicator, QWidget* parent) : QWidget(parent) {
    setObjectName(QString::fromStdString(indicator.panel));
    for (std::size_t i = 0; i < indicator.images.size(); ++i) {
        auto* face = new LampFace(this, static_cast<LampImage>(i),
                                  QString::fromStdString(indicator.images[i]));
        face->setVisible(i == 0);
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize Lamp::sizeHint() const {
    return {3 * theme::kGrid, 3 * theme::kGrid};
}

void Lamp::resizeEvent(QResizeEvent*) {
    for (LampFace* face : findChildren<LampFace*>(Qt::FindDirectChildrenOnly))
        face->setGeometry(rect());
}

}  // namespace torq::app
