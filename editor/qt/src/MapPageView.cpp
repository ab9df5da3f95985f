#include "torq/editor/qt/MapPageView.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <climits>

#include "EditorPalette.h"
#include "torq/devlib/Text.h"
#include "torq/editor/qt/EditorWidgets.h"

namespace torq::editor::qt {

namespace {

QString Latin(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A small swatch of a class and its name, for the legend.
QWidget* LegendEntry(MapClass kind, QWidget* parent) {
    auto* entry = new QWidget(parent);
    auto* layout = new QHBoxLayout(entry);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* swatch = new QLabel(entry);
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.fillRect(QRect(0, 0, 16, 16), MapClassBrush(kind));
        painter.setPen(QColor(0x80, 0x80, 0x80));
        painter.drawRect(QRect(0, 0, 15, 15));
    }
    swatch->setPixmap(pixmap);
    layout->addWidget(swatch);
    layout->addWidget(new QLabel(QString::fromLatin1(MapClassName(kind).data()), entry), 1);
    return entry;
}

}  // namespace

QBrush MapClassBrush(MapClass kind) {
    switch (kind) {
        case MapClass::Erased:
            return QBrush(Qt::white);
        case MapClass::Zero: {
            // Green, crossed by darker diagonal lines.
            QPixmap tile(8, 8);
            tile.fill(QColor(0x6C, 0xC4, 0x6C));
            QPainter painter(&tile);
            painter.setPen(QPen(QColor(0x1E, 0x6B, 0x2A), 1.5));
            painter.setRenderHint(QPainter::Antialiasing);
            painter.drawLine(QPointF(0, 8), QPointF(8, 0));
            painter.drawLine(QPointF(-1, 1), QPointF(1, -1));
            painter.drawLine(QPointF(7, 9), QPointF(9, 7));
            return QBrush(tile);
        }
        case MapClass::Data:
            return QBrush(QColor(0x1F, 0x4E, 0xB4));  // solid and dark
    }
    return {};
}

MapGrid::MapGrid(MapPageView* page, Kind kind, QWidget* parent)
    : QWidget(parent), page_(page), kind_(kind) {
    setObjectName(kind == Kind::Cells ? QStringLiteral("DrawGrid")
                                      : QStringLiteral("MapAddressStringGrid"));
    setFont(FixedFont());
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize MapGrid::sizeHint() const {
    const int height = page_->rowHeight_ * (kMapPageRows + 1);
    if (kind_ == Kind::Address)
        return {page_->addressWidth_, height};
    return {page_->cellWidth_ * kMapColumns + 1, height};
}

void MapGrid::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (kind_ == Kind::Cells)
        page_->PaintCells(painter);
    else
        page_->PaintAddresses(painter);
}

bool MapGrid::event(QEvent* event) {
    if (kind_ == Kind::Cells && event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        int row = 0, column = 0;
        if (page_->CellAt(help->pos(), row, column))
            QToolTip::showText(help->globalPos(), Latin(page_->session_.Map().Hint(row, column)),
                               this, page_->CellRect(row, column));
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void MapGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    int row = 0, column = 0;
    if (kind_ == Kind::Cells && page_->CellAt(event->position().toPoint(), row, column))
        emit page_->OpenAddress(page_->session_.Map().CellStart(row, column));
}

void MapGrid::wheelEvent(QWheelEvent* event) {
    QCoreApplication::sendEvent(page_->scrollBar_, event);
}

MapPageView::MapPageView(EditorSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    setObjectName(QStringLiteral("MapPageView"));
    const QFontMetrics fm(FixedFont());
    rowHeight_ = fm.height() + 6;
    cellWidth_ = std::max(rowHeight_, fm.horizontalAdvance(QStringLiteral("000")));
    addressWidth_ = fm.horizontalAdvance(QString(kAddressDigits, QLatin1Char('0'))) + 16;

    addresses_ = new MapGrid(this, MapGrid::Kind::Address, this);
    cells_ = new MapGrid(this, MapGrid::Kind::Cells, this);
    scrollBar_ = new QScrollBar(Qt::Vertical, this);
    scrollBar_->setObjectName(QStringLiteral("MapScrollBar"));
    connect(scrollBar_, &QScrollBar::valueChanged, this, [this](int value) {
        if (syncing_)
            return;
        session_.Map().SetTopRow(static_cast<std::uint64_t>(value));
        Refresh();
    });

    pageLabel_ = new QLabel(this);
    pageLabel_->setObjectName(QStringLiteral("PageLabel"));
    pagesLabel_ = new QLabel(this);
    pagesLabel_->setObjectName(QStringLiteral("PagesLabel"));
    cellLabel_ = new QLabel(this);
    cellLabel_->setObjectName(QStringLiteral("ByteCellLabel"));
    auto* facts = new QGridLayout;
    facts->setHorizontalSpacing(16);
    facts->addWidget(new QLabel(QStringLiteral("Page"), this), 0, 0);
    facts->addWidget(pageLabel_, 0, 1);
    facts->addWidget(new QLabel(QStringLiteral("Pages"), this), 1, 0);
    facts->addWidget(pagesLabel_, 1, 1);
    facts->addWidget(new QLabel(QStringLiteral("Byte / Cell"), this), 2, 0);
    facts->addWidget(cellLabel_, 2, 1);
    for (QLabel* value : {pageLabel_, pagesLabel_, cellLabel_}) {
        value->setFont(FixedFont());
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }

    auto* detail = MakeButton(this, "DetailButton", QStringLiteral("Detail"));
    auto* zoomIn = MakeButton(this, "ZoomInButton", QStringLiteral("Zoom IN"));
    auto* zoomOut = MakeButton(this, "ZoomOutButton", QStringLiteral("Zoom OUT"));
    auto* full = MakeButton(this, "FullDeviceButton", QStringLiteral("Full Device"));
    connect(detail, &QPushButton::clicked, this, [this] { Zoom(&ByteMap::Detail); });
    connect(zoomIn, &QPushButton::clicked, this, [this] { Zoom(&ByteMap::ZoomIn); });
    connect(zoomOut, &QPushButton::clicked, this, [this] { Zoom(&ByteMap::ZoomOut); });
    connect(full, &QPushButton::clicked, this, [this] { Zoom(&ByteMap::FullDevice); });

    auto* side = new QVBoxLayout;
    side->addLayout(facts);
    side->addSpacing(8);
    for (QPushButton* button : {detail, zoomIn, zoomOut, full})
        side->addWidget(button);
    side->addSpacing(8);
    for (MapClass kind : {MapClass::Erased, MapClass::Zero, MapClass::Data})
        side->addWidget(LegendEntry(kind, this));
    side->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(addresses_, 0, Qt::AlignTop);
    layout->addWidget(cells_, 0, Qt::AlignTop);
    layout->addWidget(scrollBar_);
    layout->addSpacing(16);
    layout->addLayout(side);
    layout->addStretch(1);
    scrollBar_->setFixedHeight(rowHeight_ * (kMapPageRows + 1));
}

QRect MapPageView::CellRect(int row, int column) const {
    return {column * cellWidth_, (row + 1) * rowHeight_, cellWidth_, rowHeight_};
}

bool MapPageView::CellAt(const QPoint& at, int& row, int& column) const {
    row = at.y() / rowHeight_ - 1;
    column = at.x() / cellWidth_;
    return row >= 0 && row < kMapPageRows && column >= 0 && column < kMapColumns &&
           session_.Map().CellInsideDevice(row, column);
}

void MapPageView::PaintCells(QPainter& painter) {
    const EditorColours colours(palette());
    const ByteMap& map = session_.Map();
    const QRect all(0, 0, cellWidth_ * kMapColumns + 1, rowHeight_ * (kMapPageRows + 1));
    painter.fillRect(all, colours.base);
    // The header row is blank.
    painter.fillRect(QRect(0, 0, all.width(), rowHeight_), colours.header);
    const QColor grid = Mix(colours.text, colours.base, 0.75);
    const std::uint64_t cellBytes = map.CellBytes();
    for (int row = 0; row < kMapPageRows; ++row) {
        for (int column = 0; column < kMapColumns; ++column) {
            const QRect cell = CellRect(row, column);
            if (!map.CellInsideDevice(row, column))
                continue;
            painter.fillRect(cell, MapClassBrush(map.ClassAt(row, column)));
            painter.setPen(grid);
            painter.drawRect(cell.adjusted(0, 0, 0, 0));
            const std::uint64_t start = map.CellStart(row, column);
            if (map.Position() >= start && map.Position() - start < cellBytes) {
                // The current position: a dark ring inside a light one reads on every class.
                painter.setPen(QPen(Qt::white, 3));
                painter.drawRect(cell.adjusted(2, 2, -2, -2));
                painter.setPen(QPen(Qt::black, 1));
                painter.drawRect(cell.adjusted(3, 3, -3, -3));
            }
        }
    }
}

void MapPageView::PaintAddresses(QPainter& painter) {
    const EditorColours colours(palette());
    const ByteMap& map = session_.Map();
    painter.setFont(FixedFont());
    painter.fillRect(QRect(0, 0, addressWidth_, rowHeight_ * (kMapPageRows + 1)), colours.base);
    painter.fillRect(QRect(0, 0, addressWidth_, rowHeight_), colours.header);
    painter.setPen(colours.offset);
    painter.drawText(QRect(8, 0, addressWidth_ - 8, rowHeight_), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Address"));
    for (int row = 0; row < kMapPageRows; ++row) {
        if (!map.CellInsideDevice(row, 0))
            break;
        painter.drawText(QRect(8, (row + 1) * rowHeight_, addressWidth_ - 8, rowHeight_),
                         Qt::AlignLeft | Qt::AlignVCenter, Latin(map.RowAddressText(row)));
    }
}

void MapPageView::Zoom(void (ByteMap::*change)()) {
    (session_.Map().*change)();
    SyncFromModel();
}

void MapPageView::Refresh() {
    session_.RefreshMap();
    const ByteMap& map = session_.Map();
    pageLabel_->setText(QString::number(map.PageNumber()));
    pagesLabel_->setText(QString::number(map.Pages()));
    cellLabel_->setText(QString::number(map.CellBytes()));
    addresses_->update();
    cells_->update();
}

void MapPageView::SyncFromModel() {
    const ByteMap& map = session_.Map();
    syncing_ = true;
    scrollBar_->setRange(0, static_cast<int>(std::min<std::uint64_t>(map.ScrollLimit(), INT_MAX)));
    scrollBar_->setPageStep(kMapPageRows);
    scrollBar_->setSingleStep(1);
    scrollBar_->setValue(static_cast<int>(std::min<std::uint64_t>(map.TopRow(), INT_MAX)));
    syncing_ = false;
    Refresh();
}

}  // namespace torq::editor::qt
