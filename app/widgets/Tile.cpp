#include "widgets/Tile.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include "widgets/Pictograms.h"
#include "widgets/Theme.h"

namespace torq::app {

namespace {

using theme::kGrid;

constexpr qreal kRadius = 8;

// The tick badge of Pass: a disc; the cross badge of Fail: a diamond, so that the two differ in
// outline even where their colours do not.
void DrawBadge(QPainter& painter, QPointF centre, qreal radius, bool pass, const QColor& colour) {
    painter.save();
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(colour);
    if (pass) {
        painter.drawEllipse(centre, radius, radius);
    } else {
        QPainterPath diamond;
        const qreal r = radius * 1.15;
        diamond.moveTo(centre.x(), centre.y() - r);
        diamond.lineTo(centre.x() + r, centre.y());
        diamond.lineTo(centre.x(), centre.y() + r);
        diamond.lineTo(centre.x() - r, centre.y());
        diamond.closeSubpath();
        painter.drawPath(diamond);
    }
    const qreal mark = radius * 1.25;
    DrawPictogram(painter, QRectF(centre.x() - mark / 2, centre.y() - mark / 2, mark, mark),
                  pass ? QStringLiteral("tick") : QStringLiteral("cross"), Qt::white);
    painter.restore();
}

// The turning arc of a step that runs.
void DrawActivity(QPainter& painter, QPointF centre, qreal radius, const QColor& colour) {
    painter.save();
    const int phase = static_cast<int>((QDateTime::currentMSecsSinceEpoch() / 4) % 360);
    painter.setPen(QPen(theme::Blend(colour, Qt::transparent, 0.75), 2.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(QPen(colour, 2.5, Qt::SolidLine, Qt::RoundCap));
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    painter.drawArc(box, -phase * 16, 100 * 16);
    painter.restore();
}

}  // namespace

// ---- faces ----

TileFace::TileFace(Tile* tile, TileImage state, const QString& name)
    : QWidget(tile), tile_(tile), state_(state) {
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TileFace::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const TileLook& look = tile_->Look();
    const bool primary = look.size == TileSize::Primary;
    const QColor accent = theme::Accent(pal);
    const QColor button = pal.color(QPalette::Button);
    QColor fill = primary ? accent : button;
    QColor border = primary ? accent.darker(115) : pal.color(QPalette::Mid);
    QColor ink = primary ? QColor(Qt::white) : pal.color(QPalette::ButtonText);
    qreal borderWidth = 1;
    QPointF shift(0, 0);

    switch (state_) {
        case TileImage::Norm:
            break;
        case TileImage::Light:
            fill = primary ? accent.lighter(112) : theme::Blend(button, accent, 0.10);
            border = accent;
            borderWidth = 2;
            break;
        case TileImage::Down:
            fill = primary ? accent.darker(125)
                           : theme::Blend(button, pal.color(QPalette::Dark), 0.35);
            border = pal.color(QPalette::Dark);
            shift = QPointF(0, 1);
            break;
        case TileImage::Pass:
            fill = theme::Blend(button, theme::Pass(pal), 0.16);
            border = theme::Pass(pal);
            borderWidth = 2;
            ink = pal.color(QPalette::ButtonText);
            break;
        case TileImage::Fail:
            fill = theme::Blend(button, theme::Fail(pal), 0.16);
            border = theme::Fail(pal);
            borderWidth = 2;
            ink = pal.color(QPalette::ButtonText);
            break;
    }
    if (state_ == TileImage::Norm && tile_->Faded())
        painter.setOpacity(0.45);

    const QRectF frame = QRectF(rect()).adjusted(1, 1, -1, -1);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(frame, kRadius, kRadius);
    if (state_ == TileImage::Light) {
        // A soft glow inside the outline.
        for (int ring = 1; ring <= 3; ++ring) {
            QColor glow = accent;
            glow.setAlphaF(0.22 / ring);
            painter.setPen(QPen(glow, 2));
            painter.setBrush(Qt::NoBrush);
            const qreal in = 1.5 + 2 * ring;
            painter.drawRoundedRect(frame.adjusted(in, in, -in, -in), kRadius - 2, kRadius - 2);
        }
    }
    if (state_ == TileImage::Down) {
        // Inset: a shadow along the top edge.
        QColor shadow = pal.color(QPalette::Shadow);
        shadow.setAlphaF(0.25);
        painter.setPen(QPen(shadow, 2));
        painter.drawLine(frame.topLeft() + QPointF(kRadius, 2),
                         frame.topRight() + QPointF(-kRadius, 2));
    }
    painter.setPen(QPen(border, borderWidth));
    painter.setBrush(Qt::NoBrush);
    const qreal half = borderWidth / 2;
    painter.drawRoundedRect(frame.adjusted(half, half, -half, -half), kRadius, kRadius);

    // Pictogram and caption.
    QFont font = this->font();
    if (primary)
        font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    painter.setPen(ink);
    const QRectF inner = frame.translated(shift);
    if (look.size == TileSize::Compact) {
        const qreal side = inner.height() - kGrid;
        const QRectF icon(inner.left() + kGrid, inner.center().y() - side / 2, side, side);
        DrawPictogram(painter, icon, look.pictogram, ink);
        painter.drawText(inner.adjusted(kGrid + side + kGrid, 0, -kGrid / 2, 0),
                         Qt::AlignVCenter | Qt::AlignLeft, look.caption);
    } else {
        const int textHeight = painter.fontMetrics().height();
        const qreal iconSide = std::min(inner.height() - textHeight - 3 * kGrid, 40.0);
        const QRectF icon(inner.center().x() - iconSide / 2, inner.top() + 1.5 * kGrid, iconSide,
                          iconSide);
        DrawPictogram(painter, icon, look.pictogram, ink);
        painter.drawText(
            QRectF(inner.left() + 2, icon.bottom() + kGrid / 2, inner.width() - 4, textHeight + 2),
            Qt::AlignHCenter | Qt::AlignTop, look.caption);
    }

    const QPointF badge(frame.right() - 13, frame.top() + 13);
    if (state_ == TileImage::Pass)
        DrawBadge(painter, badge, 9, true, theme::Pass(pal));
    else if (state_ == TileImage::Fail)
        DrawBadge(painter, badge, 9, false, theme::Fail(pal));
    else if (state_ == TileImage::Light && tile_->Running())
        DrawActivity(painter, badge, 7, primary ? QColor(Qt::white) : accent);
}

// ---- click label ----

ClickLabel::ClickLabel(Tile* tile, const QString& name, bool clickable)
    : QWidget(tile), tile_(tile), clickable_(clickable) {
    setObjectName(name);
    setFocusPolicy(clickable ? Qt::StrongFocus : Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

void ClickLabel::Forward(MouseEvent event) {
    if (!tile_->mouseHandler_)
        return;
    switch (tile_->mouseHandler_(event)) {
        case CursorChange::Hand:
            setCursor(Qt::PointingHandCursor);
            break;
        case CursorChange::Default:
            unsetCursor();
            break;
        case CursorChange::Unchanged:
            break;
    }
}

void ClickLabel::Activate() {
    if (!clickable_ || tile_->locked_)
        return;
    // The images follow the mouse only: a key press runs the click and leaves them to the run.
    emit Clicked();
}

void ClickLabel::paintEvent(QPaintEvent*) {
    if (!hasFocus())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(theme::Accent(palette()), 2, Qt::DashLine);
    painter.setPen(pen);
    painter.drawRoundedRect(QRectF(rect()).adjusted(4, 4, -4, -4), 6, 6);
}

void ClickLabel::enterEvent(QEnterEvent*) {
    if (!tile_->locked_)
        Forward(MouseEvent::Enter);
}

void ClickLabel::leaveEvent(QEvent*) {
    pressed_ = false;
    // Leaving always acts, but not on a tile whose step the run has lit.
    if (!tile_->locked_)
        Forward(MouseEvent::Leave);
}

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || tile_->locked_)
        return;
    pressed_ = true;
    if (clickable_)
        setFocus(Qt::MouseFocusReason);
    Forward(MouseEvent::LeftDown);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_ || tile_->locked_)
        return;
    pressed_ = false;
    const QPoint at = event->position().toPoint();
    if (!IsInsideLabel(at.x(), at.y(), width(), height()))
        return;
    Forward(MouseEvent::LeftUpInside);
    if (clickable_)
        emit Clicked();
}

void ClickLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (clickable_ && !event->isAutoRepeat() &&
        (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        Activate();
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---- tile ----

Tile::Tile(const Indicator& indicator, TileLook look, QWidget* parent)
    : QWidget(parent), look_(std::move(look)), clickable_(indicator.family != MouseFamily::None) {
    setObjectName(QString::fromStdString(indicator.panel));
    for (std::size_t i = 0; i < indicator.images.size(); ++i) {
        auto* face = new TileFace(this, static_cast<TileImage>(i),
                                  QString::fromStdString(indicator.images[i]));
        face->setVisible(i == 0);
    }
    if (!indicator.clickLabel.empty()) {
        label_ = new ClickLabel(this, QString::fromStdString(indicator.clickLabel), clickable_);
        connect(label_, &ClickLabel::Clicked, this, &Tile::Clicked);
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Tile::SetUsable(bool usable) {
    if (usable_ == usable)
        return;
    usable_ = usable;
    update();
    for (QWidget* child : findChildren<TileFace*>(Qt::FindDirectChildrenOnly))
        child->update();
}

void Tile::SetLocked(bool locked) {
    if (locked_ == locked)
        return;
    locked_ = locked;
    if (label_ != nullptr && locked)
        label_->unsetCursor();
    UpdateAnimation();
    for (QWidget* child : findChildren<TileFace*>(Qt::FindDirectChildrenOnly))
        child->update();
}

void Tile::UpdateAnimation() {
    if (!locked_) {
        if (animation_ != nullptr)
            animation_->stop();
        return;
    }
    if (animation_ == nullptr) {
        animation_ = new QTimer(this);
        animation_->setInterval(80);
        connect(animation_, &QTimer::timeout, this, [this] {
            for (TileFace* face : findChildren<TileFace*>(Qt::FindDirectChildrenOnly)) {
                if (face->State() == TileImage::Light && face->isVisible())
                    face->update();
            }
        });
    }
    animation_->start();
}

void Tile::SetCornerWidget(QWidget* widget) {
    corner_ = widget;
    widget->setParent(this);
    widget->raise();
    widget->adjustSize();
    widget->move(6, 5);
}

void Tile::SetHint(const QString& hint) {
    if (label_ != nullptr)
        label_->setToolTip(hint);
    setToolTip(hint);
}

QSize Tile::sizeHint() const {
    switch (look_.size) {
        case TileSize::Step:
            return {13 * kGrid, 12 * kGrid};
        case TileSize::Primary:
            return {20 * kGrid, 12 * kGrid};
        case TileSize::Compact:
            return {14 * kGrid, 4 * kGrid};
    }
    return {13 * kGrid, 12 * kGrid};
}

void Tile::resizeEvent(QResizeEvent*) {
    for (QObject* child : children()) {
        if (auto* face = qobject_cast<TileFace*>(child))
            face->setGeometry(rect());
    }
    if (label_ != nullptr) {
        label_->setGeometry(rect());
        label_->raise();
    }
    if (corner_)
        corner_->raise();
}

}  // namespace torq::app
