#include "widgets/StatusPanel.h"

#include <QPainter>
#include <QPainterPath>

#include "widgets/Pictograms.h"
#include "widgets/Theme.h"

namespace torq::app {

namespace {

struct StatusLook {
    const char* word;
    const char* icon;
};

StatusLook LookOf(StatusImage state) {
    switch (state) {
        case StatusImage::Wait:
            return {"WAIT", "hourglass"};
        case StatusImage::Pass:
            return {"PASS", "tick"};
        case StatusImage::Fail:
            return {"FAIL", "cross"};
        case StatusImage::Online:
            return {"ONLINE", "online"};
        case StatusImage::Offline:
            return {"OFFLINE", "offline"};
        case StatusImage::Stopped:
            return {"STOPPED", "stop"};
    }
    return {"", ""};
}

QColor ColourOf(StatusImage state, const QPalette& pal) {
    switch (state) {
        case StatusImage::Wait:
            return theme::Working(pal);
        case StatusImage::Pass:
            return theme::Pass(pal);
        case StatusImage::Fail:
            return theme::Fail(pal);
        case StatusImage::Online:
            return theme::Accent(pal);
        case StatusImage::Offline:
            return theme::Dim(pal);
        case StatusImage::Stopped:
            return theme::Working(pal);
    }
    return pal.color(QPalette::WindowText);
}

}  // namespace

StatusFace::StatusFace(StatusPanel* panel, StatusImage state, const QString& name)
    : QWidget(panel), panel_(panel), state_(state) {
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void StatusFace::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QColor colour = ColourOf(state_, pal);
    const StatusLook look = LookOf(state_);
    const int grid = theme::kGrid;

    const QRectF frame = QRectF(rect()).adjusted(1, 1, -1, -1);
    painter.setPen(QPen(theme::Blend(colour, pal.color(QPalette::Window), 0.4), 2));
    painter.setBrush(theme::Blend(pal.color(QPalette::Base), colour, 0.08));
    painter.drawRoundedRect(frame, 8, 8);

    // The icon: a filled shape for the verdicts, so PASS (disc), FAIL (diamond) and STOPPED
    // (octagon with a bar: the run was not done) also differ in shape.
    const qreal side = std::min(frame.height() - 2 * grid, 7.0 * grid);
    const QRectF icon(frame.left() + 2 * grid, frame.center().y() - side / 2, side, side);
    if (state_ == StatusImage::Pass || state_ == StatusImage::Fail ||
        state_ == StatusImage::Stopped) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        if (state_ == StatusImage::Pass) {
            painter.drawEllipse(icon);
        } else if (state_ == StatusImage::Stopped) {
            const qreal cut = side * 0.29;  // an octagon: the corners of the square cut off
            painter.drawPolygon(QPolygonF{{icon.left() + cut, icon.top()},
                                          {icon.right() - cut, icon.top()},
                                          {icon.right(), icon.top() + cut},
                                          {icon.right(), icon.bottom() - cut},
                                          {icon.right() - cut, icon.bottom()},
                                          {icon.left() + cut, icon.bottom()},
                                          {icon.left(), icon.bottom() - cut},
                                          {icon.left(), icon.top() + cut}});
        } else {
            QPainterPath diamond;
            diamond.moveTo(icon.center().x(), icon.top());
            diamond.lineTo(icon.right(), icon.center().y());
            diamond.lineTo(icon.center().x(), icon.bottom());
            diamond.lineTo(icon.left(), icon.center().y());
            diamond.closeSubpath();
            painter.drawPath(diamond);
        }
        DrawPictogram(painter, icon.adjusted(side * 0.22, side * 0.22, -side * 0.22, -side * 0.22),
                      QString::fromLatin1(look.icon), Qt::white);
    } else {
        DrawPictogram(painter, icon.adjusted(side * 0.08, side * 0.08, -side * 0.08, -side * 0.08),
                      QString::fromLatin1(look.icon), colour);
    }

    const QRectF text(icon.right() + 2 * grid, frame.top() + grid,
                      frame.right() - icon.right() - 3 * grid, frame.height() - 2 * grid);
    QFont wordFont = theme::ScaledFont(font(), 2.6, QFont::Bold);
    painter.setFont(wordFont);
    painter.setPen(colour);
    const QString detail = panel_->Detail();
    const int wordHeight = QFontMetrics(wordFont).height();
    const int detailHeight = detail.isEmpty() ? 0 : fontMetrics().height();
    const qreal top = text.center().y() - (wordHeight + detailHeight) / 2.0;
    painter.drawText(QRectF(text.left(), top, text.width(), wordHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(look.word));
    if (!detail.isEmpty()) {
        painter.setFont(font());
        painter.setPen(pal.color(QPalette::WindowText));
        painter.drawText(
            QRectF(text.left(), top + wordHeight, text.width(), detailHeight),
            Qt::AlignLeft | Qt::AlignVCenter,
            fontMetrics().elidedText(detail, Qt::ElideRight, static_cast<int>(text.width())));
    }
}

StatusPanel::StatusPanel(const Indicator& indicator, QWidget* parent) : QWidget(parent) {
    setObjectName(QString::fromStdString(indicator.panel));
    for (std::size_t i = 0; i < indicator.images.size(); ++i) {
        auto* face = new StatusFace(this, static_cast<StatusImage>(i),
                                    QString::fromStdString(indicator.images[i]));
        face->setVisible(false);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StatusPanel::SetDetail(const QString& detail) {
    if (detail_ == detail)
        return;
    detail_ = detail;
    for (StatusFace* face : findChildren<StatusFace*>(Qt::FindDirectChildrenOnly)) {
        if (face->isVisible())
            face->update();
    }
}

QSize StatusPanel::sizeHint() const {
    return {36 * theme::kGrid, 12 * theme::kGrid};
}

void StatusPanel::resizeEvent(QResizeEvent*) {
    for (StatusFace* face : findChildren<StatusFace*>(Qt::FindDirectChildrenOnly))
        face->setGeometry(rect());
}

}  // namespace torq::app
