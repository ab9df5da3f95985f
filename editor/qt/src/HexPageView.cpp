#include "torq/editor/qt/HexPageView.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <climits>

#include "EditorPalette.h"
#include "torq/editor/qt/EditorWidgets.h"

namespace torq::editor::qt {

namespace {

QString Latin(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

const char* ObjectNameOf(PageColumn::Kind kind) {
    switch (kind) {
        case PageColumn::Kind::Address:
            return "AddressStringGrid";
        case PageColumn::Kind::Hex:
            return "HexStringGrid";
        case PageColumn::Kind::Character:
            return "AsciiStringGrid";
    }
    return "";
}

// The cursor's twin inside a selection or a match: a frame, so the fill still shows.
void DrawTwinFrame(QPainter& painter, const QRect& cell, const EditorColours& colours) {
    painter.save();
    painter.setPen(colours.highlight);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(cell.adjusted(0, 0, -1, -1));
    painter.restore();
}

}  // namespace

PageColumn::PageColumn(HexPageView* view, Kind kind, QWidget* parent)
    : QWidget(parent), view_(view), kind_(kind) {
    setObjectName(QString::fromLatin1(ObjectNameOf(kind)));
    setFont(FixedFont());
    // The address column is typed into after a click; Tab walks the data and character cells.
    setFocusPolicy(kind == Kind::Address ? Qt::ClickFocus : Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize PageColumn::sizeHint() const {
    return {view_->ColumnWidth(kind_), view_->ColumnHeight()};
}

void PageColumn::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    view_->Paint(kind_, painter, hasFocus());
}

void PageColumn::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        view_->Press(kind_, event->position().toPoint(),
                     event->modifiers().testFlag(Qt::ShiftModifier));
    QWidget::mousePressEvent(event);
}

void PageColumn::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons().testFlag(Qt::LeftButton) && kind_ != Kind::Address)
        view_->Drag(kind_, event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void PageColumn::keyPressEvent(QKeyEvent* event) {
    if (!view_->Key(kind_, event))
        QWidget::keyPressEvent(event);
}

void PageColumn::wheelEvent(QWheelEvent* event) {
    // The wheel scrolls the page wherever the pointer is over it.
    QCoreApplication::sendEvent(view_->verticalScrollBar(), event);
}

bool PageColumn::focusNextPrevChild(bool next) {
    // Tab goes from the data cells to the character cells and Shift+Tab back; from there on the
    // focus leaves the grid as usual.
    if (kind_ == Kind::Hex && next) {
        view_->session_.View().SetSide(CursorSide::Character);
        view_->ascii_->setFocus(Qt::TabFocusReason);
        view_->AfterChange();
        return true;
    }
    if (kind_ == Kind::Character && !next) {
        view_->session_.View().SetSide(CursorSide::Hex);
        view_->hex_->setFocus(Qt::BacktabFocusReason);
        view_->AfterChange();
        return true;
    }
    return QWidget::focusNextPrevChild(next);
}

void PageColumn::focusInEvent(QFocusEvent* event) {
    if (kind_ != Kind::Address) {
        view_->session_.View().SetSide(kind_ == Kind::Hex ? CursorSide::Hex
                                                          : CursorSide::Character);
    }
    view_->AfterChange();
    QWidget::focusInEvent(event);
}

void PageColumn::focusOutEvent(QFocusEvent* event) {
    view_->address_->update();
    view_->hex_->update();
    view_->ascii_->update();
    QWidget::focusOutEvent(event);
}

HexPageView::HexPageView(EditorSession& session, QWidget* parent)
    : QAbstractScrollArea(parent), session_(session) {
    setObjectName(QStringLiteral("HexPageView"));
    const QFontMetrics fm(FixedFont());
    metrics_.charWidth = fm.horizontalAdvance(QLatin1Char('0'));
    metrics_.rowHeight = fm.height() + 6;
    metrics_.pad = std::max(8, metrics_.charWidth);
    metrics_.byteCell = metrics_.charWidth * 3;
    metrics_.groupGap = metrics_.charWidth;

    verticalScrollBar()->setObjectName(QStringLiteral("ScrollBar"));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);

    auto* layout = new QHBoxLayout(viewport());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    address_ = new PageColumn(this, PageColumn::Kind::Address, viewport());
    hex_ = new PageColumn(this, PageColumn::Kind::Hex, viewport());
    ascii_ = new PageColumn(this, PageColumn::Kind::Character, viewport());
    // At the top of a taller view (a window made larger, a bar closed below it), not centred.
    layout->addWidget(address_, 0, Qt::AlignTop);
    layout->addWidget(hex_, 0, Qt::AlignTop);
    layout->addWidget(ascii_, 0, Qt::AlignTop);
    layout->addStretch(1);
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // The whole page always shows: a bar opened below the view makes the window taller instead
    // of cutting the last row.
    setMinimumHeight(sizeHint().height());
    setFocusProxy(hex_);
    SyncFromModel();
}

QSize HexPageView::viewportSizeHint() const {
    return {ColumnWidth(PageColumn::Kind::Address) + ColumnWidth(PageColumn::Kind::Hex) +
                ColumnWidth(PageColumn::Kind::Character),
            ColumnHeight()};
}

int HexPageView::ColumnWidth(PageColumn::Kind kind) const {
    const Metrics& m = metrics_;
    switch (kind) {
        case PageColumn::Kind::Address:
            return m.pad + kAddressDigits * m.charWidth + m.pad;
        case PageColumn::Kind::Hex:
            return m.pad + 16 * m.byteCell + m.groupGap + m.pad;
        case PageColumn::Kind::Character:
            return m.pad + 16 * m.charWidth + m.pad;
    }
    return 0;
}

QRect HexPageView::HexCellRect(int row, int column) const {
    const HexView& view = session_.View();
    const int cells = view.CellsPerRow();
    const int width = metrics_.byteCell * view.BytesPerCell();
    const int x = metrics_.pad + column * width + (column >= cells / 2 ? metrics_.groupGap : 0);
    return {x, (row + 1) * metrics_.rowHeight, width, metrics_.rowHeight};
}

QRect HexPageView::CharacterRect(int row, int index) const {
    return {metrics_.pad + index * metrics_.charWidth, (row + 1) * metrics_.rowHeight,
            metrics_.charWidth, metrics_.rowHeight};
}

QRect HexPageView::AddressDigitRect(int row, int digit) const {
    return CharacterRect(row, digit);
}

int HexPageView::RowAt(int y) const {
    const int row = y / metrics_.rowHeight - 1;
    return row >= 0 && row < kPageRows ? row : -1;
}

int HexPageView::DragRowAt(int y) const {
    if (y < metrics_.rowHeight)
        return -1;
    return std::min(y / metrics_.rowHeight - 1, kPageRows);
}

int HexPageView::ByteAt(PageColumn::Kind kind, int x) const {
    if (kind == PageColumn::Kind::Character)
        return std::clamp((x - metrics_.pad) / std::max(1, metrics_.charWidth), 0, 15);
    const HexView& view = session_.View();
    for (int column = 0; column < view.CellsPerRow(); ++column) {
        if (x <= HexCellRect(0, column).right())
            return column * view.BytesPerCell();
    }
    return (view.CellsPerRow() - 1) * view.BytesPerCell();
}

void HexPageView::Paint(PageColumn::Kind kind, QPainter& painter, bool focused) {
    const EditorColours colours(palette());
    painter.fillRect(QRect(0, 0, ColumnWidth(kind), ColumnHeight()), colours.base);
    painter.fillRect(QRect(0, 0, ColumnWidth(kind), metrics_.rowHeight), colours.header);
    switch (kind) {
        case PageColumn::Kind::Address:
            PaintAddress(painter, focused);
            break;
        case PageColumn::Kind::Hex:
            PaintHex(painter, focused);
            break;
        case PageColumn::Kind::Character:
            PaintCharacters(painter, focused);
            break;
    }
}

void HexPageView::PaintAddress(QPainter& painter, bool focused) {
    const EditorColours colours(palette());
    const HexView& view = session_.View();
    painter.setPen(colours.offset);
    painter.drawText(
        QRect(metrics_.pad, 0, kAddressDigits * metrics_.charWidth, metrics_.rowHeight),
        Qt::AlignLeft | Qt::AlignVCenter,
        view.Width() == CellWidth::Byte ? QStringLiteral("Address") : QStringLiteral("Word Addr"));
    for (int row = 0; row < kPageRows; ++row) {
        const QString text = Latin(view.RowAddressText(row));
        const bool inside = view.InsideDevice(view.RowByteAddress(row));
        for (int digit = 0; digit < kAddressDigits; ++digit) {
            const QRect cell = AddressDigitRect(row, digit);
            const bool caret =
                focused && row == view.AddressCaretRow() && digit == view.AddressCaretDigit();
            if (caret)
                painter.fillRect(cell, colours.highlight);
            painter.setPen(caret ? colours.highlightedText
                                 : (inside ? colours.offset : colours.outside));
            painter.drawText(cell, Qt::AlignCenter, text.mid(digit, 1));
        }
    }
}

void HexPageView::PaintHex(QPainter& painter, bool focused) {
    const EditorColours colours(palette());
    const HexView& view = session_.View();
    const int cells = view.CellsPerRow();
    const int bytesPerCell = view.BytesPerCell();
    painter.setPen(colours.offset);
    for (int column = 0; column < cells; ++column)
        painter.drawText(HexCellRect(-1, column), Qt::AlignCenter, Latin(view.HeaderText(column)));
    const auto& page = view.Page();
    for (int row = 0; row < kPageRows; ++row) {
        for (int column = 0; column < cells; ++column) {
            const QRect cell = HexCellRect(row, column);
            const int offset = row * static_cast<int>(kRowBytes) + column * bytesPerCell;
            const bool inside = view.InsideDevice(
                view.RowByteAddress(row) + static_cast<std::uint64_t>(column * bytesPerCell));
            const bool erased =
                page[offset] == 0xFF && (bytesPerCell == 1 || page[offset + 1] == 0xFF);
            const bool cursorCell =
                row == view.CursorRow() && column == view.CursorByte() / bytesPerCell;
            const std::uint64_t address =
                view.RowByteAddress(row) + static_cast<std::uint64_t>(column * bytesPerCell);
            const bool selected =
                view.Selected(address) || (bytesPerCell == 2 && view.Selected(address + 1));
            const bool matched = session_.PageMatches()[static_cast<std::size_t>(offset)] ||
                                 (bytesPerCell == 2 && session_.PageMatches()[offset + 1]);
            QColor pen = inside ? (erased ? colours.erased : colours.text) : colours.outside;
            if (cursorCell && view.Side() == CursorSide::Hex) {
                QColor fill = colours.highlight;
                if (!focused)
                    fill = Mix(colours.highlight, colours.base, 0.45);
                painter.fillRect(cell.adjusted(1, 1, -1, -1), fill);
                pen = colours.highlightedText;
            } else if (selected || matched) {
                painter.fillRect(cell, selected ? colours.selection : colours.match);
                if (cursorCell)
                    DrawTwinFrame(painter, cell, colours);
            } else if (cursorCell) {
                painter.fillRect(cell.adjusted(1, 1, -1, -1), colours.twin);
            }
            painter.setPen(pen);
            const QString text = Latin(view.CellText(row, column));
            painter.drawText(cell, Qt::AlignCenter, text);
            if (cursorCell && !view.Pending().empty() && view.Side() == CursorSide::Hex) {
                // Underline the digits typed so far.
                const int textWidth = metrics_.charWidth * static_cast<int>(text.size());
                const int x = cell.left() + (cell.width() - textWidth) / 2;
                const int width = metrics_.charWidth * static_cast<int>(view.Pending().size());
                painter.fillRect(QRect(x, cell.bottom() - 3, width, 2), pen);
            }
        }
    }
}

void HexPageView::PaintCharacters(QPainter& painter, bool focused) {
    const EditorColours colours(palette());
    const HexView& view = session_.View();
    painter.setPen(colours.offset);
    for (int index = 0; index < 16; ++index)
        painter.drawText(CharacterRect(-1, index), Qt::AlignCenter,
                         QString(QLatin1Char("0123456789ABCDEF"[index])));
    const int bytesPerCell = view.BytesPerCell();
    for (int row = 0; row < kPageRows; ++row) {
        for (int index = 0; index < 16; ++index) {
            const QRect cell = CharacterRect(row, index);
            const std::uint8_t byte = view.Page()[static_cast<std::size_t>(row) * kRowBytes +
                                                  static_cast<std::size_t>(index)];
            const char shown = view.CharacterAt(row, index);
            const bool inside = view.InsideDevice(view.RowByteAddress(row) + index);
            const bool onCursorRow = row == view.CursorRow();
            const bool cursorCell =
                onCursorRow && view.Side() == CursorSide::Character && index == view.CursorByte();
            const bool twinCell = onCursorRow && view.Side() == CursorSide::Hex &&
                                  index / bytesPerCell == view.CursorByte() / bytesPerCell;
            const bool selected = view.Selected(view.RowByteAddress(row) + index);
            const bool matched =
                session_.PageMatches()[static_cast<std::size_t>(row) * kRowBytes + index];
            QColor pen = !inside                                              ? colours.outside
                         : (byte == 0xFF || shown != static_cast<char>(byte)) ? colours.erased
                                                                              : colours.text;
            if (cursorCell) {
                painter.fillRect(
                    cell, focused ? colours.highlight : Mix(colours.highlight, colours.base, 0.45));
                pen = colours.highlightedText;
            } else if (selected || matched) {
                painter.fillRect(cell, selected ? colours.selection : colours.match);
                if (twinCell)
                    DrawTwinFrame(painter, cell, colours);
            } else if (twinCell) {
                painter.fillRect(cell, colours.twin);
            }
            painter.setPen(pen);
            painter.drawText(cell, Qt::AlignCenter, QString(QLatin1Char(shown)));
        }
    }
}

void HexPageView::Press(PageColumn::Kind kind, const QPoint& at, bool extend) {
    const int row = RowAt(at.y());
    if (row < 0)
        return;
    HexView& view = session_.View();
    switch (kind) {
        case PageColumn::Kind::Address: {
            const int digit = (at.x() - metrics_.pad) / std::max(1, metrics_.charWidth);
            view.PlaceAddressCaret(row, digit);
            break;
        }
        case PageColumn::Kind::Hex:
            for (int column = 0; column < view.CellsPerRow(); ++column) {
                const QRect cell = HexCellRect(row, column);
                if (at.x() >= cell.left() && at.x() <= cell.right()) {
                    view.Click(row, column * view.BytesPerCell(), CursorSide::Hex, extend);
                    break;
                }
            }
            break;
        case PageColumn::Kind::Character: {
            const int index = (at.x() - metrics_.pad) / std::max(1, metrics_.charWidth);
            if (index >= 0 && index < 16)
                view.Click(row, index, CursorSide::Character, extend);
            break;
        }
    }
    AfterChange();
}

void HexPageView::Drag(PageColumn::Kind kind, const QPoint& at) {
    HexView& view = session_.View();
    const std::uint64_t before = view.EditAddress();
    const auto selection = view.Selection();
    view.DragTo(DragRowAt(at.y()), ByteAt(kind, at.x()));
    if (view.EditAddress() != before || view.Selection() != selection)
        AfterChange();
}

bool HexPageView::Key(PageColumn::Kind kind, QKeyEvent* event) {
    HexView& view = session_.View();
    const bool control = event->modifiers() & Qt::ControlModifier;
    // Shift with a movement key extends the selection (on the data and character sides).
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool address = kind == PageColumn::Kind::Address;
    if (event->matches(QKeySequence::Copy) ||
        (event->key() == Qt::Key_C &&
         event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier))) {
        emit CopyRequested(event->modifiers().testFlag(Qt::ShiftModifier));
        return true;
    }
    if (event->matches(QKeySequence::Paste)) {
        emit PasteRequested();
        return true;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        view.SelectAll();
        AfterChange();
        return true;
    }
    switch (event->key()) {
        case Qt::Key_Left:
            if (address)
                view.PlaceAddressCaret(view.AddressCaretRow(), view.AddressCaretDigit() - 1);
            else
                view.Move(CursorMove::Left, extend);
            break;
        case Qt::Key_Right:
            if (address)
                view.PlaceAddressCaret(view.AddressCaretRow(), view.AddressCaretDigit() + 1);
            else
                view.Move(CursorMove::Right, extend);
            break;
        case Qt::Key_Up:
            if (address)
                view.PlaceAddressCaret(view.AddressCaretRow() - 1, view.AddressCaretDigit());
            else
                view.Move(CursorMove::Up, extend);
            break;
        case Qt::Key_Down:
            if (address)
                view.PlaceAddressCaret(view.AddressCaretRow() + 1, view.AddressCaretDigit());
            else
                view.Move(CursorMove::Down, extend);
            break;
        case Qt::Key_PageUp:
            view.Move(CursorMove::PageUp, extend && !address);
            break;
        case Qt::Key_PageDown:
            view.Move(CursorMove::PageDown, extend && !address);
            break;
        case Qt::Key_Home:
            view.Move(control ? CursorMove::First : CursorMove::RowStart, extend && !address);
            break;
        case Qt::Key_End:
            view.Move(control ? CursorMove::Last : CursorMove::RowEnd, extend && !address);
            break;
        case Qt::Key_Escape:
            // A half-typed cell first, then the selection; only then does Escape close.
            if (!view.Pending().empty())
                view.ClearPending();
            else if (view.Selection())
                view.ClearSelection();
            else
                return false;
            break;
        default: {
            const QString text = event->text();
            if (text.size() != 1 || control)
                return false;
            const char16_t code = text.at(0).unicode();
            if (code > 0x7F)
                return false;
            const char c = static_cast<char>(code);
            const bool taken = kind == PageColumn::Kind::Hex         ? session_.TypeHexDigit(c)
                               : kind == PageColumn::Kind::Character ? session_.TypeCharacter(c)
                                                                     : view.TypeAddressDigit(c);
            if (!taken)
                return false;
        }
    }
    AfterChange();
    return true;
}

void HexPageView::AfterChange() {
    session_.RefreshView();
    SyncFromModel();
    emit Changed();
}

void HexPageView::SyncFromModel() {
    const HexView& view = session_.View();
    syncing_ = true;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, static_cast<int>(std::min<std::uint64_t>(view.ScrollLimit(), INT_MAX)));
    bar->setSingleStep(1);
    bar->setPageStep(kPageRows);
    bar->setValue(static_cast<int>(std::min<std::uint64_t>(view.ScrollPosition(), INT_MAX)));
    syncing_ = false;
    address_->update();
    hex_->update();
    ascii_->update();
}

void HexPageView::scrollContentsBy(int, int) {
    if (syncing_)
        return;
    session_.View().SetScrollPosition(static_cast<std::uint64_t>(verticalScrollBar()->value()));
    AfterChange();
}

void HexPageView::FocusCursor() {
    (session_.View().Side() == CursorSide::Hex ? hex_ : ascii_)->setFocus();
}

}  // namespace torq::editor::qt
