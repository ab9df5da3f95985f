// The map page ("UesrMap"): the cell grid ("DrawGrid") with its address column
// ("MapAddressStringGrid") and scroll bar ("MapScrollBar"), the page and cell-size labels, the
// zoom buttons and a legend of the three classes.
#pragma once

#include <QWidget>

#include "torq/editor/EditorSession.h"

class QLabel;
class QScrollBar;

namespace torq::editor::qt {

class MapPageView;

class MapGrid final : public QWidget {
    Q_OBJECT
  public:
    enum class Kind { Address, Cells };
    MapGrid(MapPageView* page, Kind kind, QWidget* parent);
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    MapPageView* page_;
    Kind kind_;
};

class MapPageView final : public QWidget {
    Q_OBJECT
  public:
    explicit MapPageView(EditorSession& session, QWidget* parent = nullptr);

    // Entering the map, or the image changed: classify the visible cells again.
    void SyncFromModel();

  signals:
    // A cell was double-clicked: show its first byte in the hex view.
    void OpenAddress(std::uint64_t address);

  private:
    friend class MapGrid;
    QRect CellRect(int row, int column) const;
    bool CellAt(const QPoint& at, int& row, int& column) const;
    void PaintCells(QPainter& painter);
    void PaintAddresses(QPainter& painter);
    void Zoom(void (ByteMap::*change)());
    void Refresh();

    EditorSession& session_;
    int cellWidth_ = 24;
    int rowHeight_ = 20;
    int addressWidth_ = 96;
    MapGrid* addresses_;
    MapGrid* cells_;
    QScrollBar* scrollBar_;
    QLabel* pageLabel_;
    QLabel* pagesLabel_;
    QLabel* cellLabel_;
    bool syncing_ = false;
};

// How a map class is drawn: colour and pattern differ, so the classes read without colour too.
QBrush MapClassBrush(MapClass kind);

}  // namespace torq::editor::qt
