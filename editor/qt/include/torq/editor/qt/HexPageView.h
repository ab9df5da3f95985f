// The hex view: the address column ("AddressStringGrid"), the data cells ("HexStringGrid") and
// the character cells ("AsciiStringGrid") under a header row, with the scroll bar ("ScrollBar").
// Each column paints the one page the model holds; nothing is kept per cell.
#pragma once

#include <QAbstractScrollArea>
#include <QWidget>

#include "torq/editor/EditorSession.h"

namespace torq::editor::qt {

class HexPageView;

// One painted column of the page; it hands painting, the mouse and the keys to the view.
class PageColumn final : public QWidget {
    Q_OBJECT
  public:
    enum class Kind { Address, Hex, Character };
    PageColumn(HexPageView* view, Kind kind, QWidget* parent);
    Kind ColumnKind() const { return kind_; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    HexPageView* view_;
    Kind kind_;
};

class HexPageView final : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit HexPageView(EditorSession& session, QWidget* parent = nullptr);

    // After the model changed (a tool, a swap, a new showing): the scroll bar and the columns.
    void SyncFromModel();
    PageColumn* HexGrid() const { return hex_; }
    PageColumn* AsciiGrid() const { return ascii_; }
    PageColumn* AddressGrid() const { return address_; }
    // Focus on the grid of the cursor's side.
    void FocusCursor();

  signals:
    // The cursor, the page or the image changed.
    void Changed();
    // Ctrl+C (the focused side's form) or Ctrl+Shift+C (the other form); Ctrl+V.
    void CopyRequested(bool otherForm);
    void PasteRequested();

  protected:
    void scrollContentsBy(int dx, int dy) override;
    QSize viewportSizeHint() const override;

  private:
    friend class PageColumn;
    struct Metrics {
        int charWidth = 8;
        int rowHeight = 20;
        int pad = 8;
        int byteCell = 24;  // an 8-bit cell; a 16-bit cell is two of them
        int groupGap = 8;   // between the two groups of eight bytes
    };
    int ColumnWidth(PageColumn::Kind kind) const;
    int ColumnHeight() const { return metrics_.rowHeight * (kPageRows + 1); }
    QRect HexCellRect(int row, int column) const;
    QRect CharacterRect(int row, int index) const;
    QRect AddressDigitRect(int row, int digit) const;
    int RowAt(int y) const;
    // The row under y, -1 above the rows and kPageRows below them (a drag past the page).
    int DragRowAt(int y) const;
    // The byte within the row under x in a data or character column, the nearest at the edges.
    int ByteAt(PageColumn::Kind kind, int x) const;
    void Paint(PageColumn::Kind kind, QPainter& painter, bool focused);
    void PaintAddress(QPainter& painter, bool focused);
    void PaintHex(QPainter& painter, bool focused);
    void PaintCharacters(QPainter& painter, bool focused);
    void Press(PageColumn::Kind kind, const QPoint& at, bool extend);
    void Drag(PageColumn::Kind kind, const QPoint& at);
    bool Key(PageColumn::Kind kind, QKeyEvent* event);
    void AfterChange();

    EditorSession& session_;
    Metrics metrics_;
    PageColumn* address_;
    PageColumn* hex_;
    PageColumn* ascii_;
    bool syncing_ = false;
};

}  // namespace torq::editor::qt
