// One clickable indicator: a step tile, a function button or a unit's order button. It is the
// image panel of the indicator board ("Programmer_EraseImage_Panel") with one face per image
// ("Programmer_EraseNorm_Image" ...), of which the board shows exactly one, and the transparent
// click label on top ("Programmer_EraseMouseACTFilter_Label") that takes the mouse, the focus and
// the keys. The faces differ by shape and mark as well as colour: Light has a glow (and turns an
// activity mark while its step runs), Down is inset, Pass wears a round tick badge, Fail a
// diamond cross badge.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "torq/workflow/IndicatorBoard.h"

class QTimer;

namespace torq::app {

class Tile;

enum class TileSize {
    Step,     // the step bars' tiles and the function buttons
    Primary,  // Execute All: wider, filled with the accent colour
    Compact,  // the unit order button: pictogram beside the caption
};

struct TileLook {
    QString pictogram;  // name of the SVG in app/art
    QString caption;
    TileSize size = TileSize::Step;
};

// One image of the panel, painted as the tile in that state.
class TileFace final : public QWidget {
    Q_OBJECT
  public:
    TileFace(Tile* tile, TileImage state, const QString& name);
    TileImage State() const { return state_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Tile* tile_;
    TileImage state_;
};

// The transparent click area: mouse events go to the handler (the board decides the image), a
// release inside, Space or Enter is a click.
class ClickLabel final : public QWidget {
    Q_OBJECT
  public:
    ClickLabel(Tile* tile, const QString& name, bool clickable);
    // Runs the click as the keyboard does (shortcuts and tests).
    void Activate();

  signals:
    void Clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Forward(MouseEvent event);
    Tile* tile_;
    bool clickable_;
    bool pressed_ = false;
};

class Tile final : public QWidget {
    Q_OBJECT
  public:
    Tile(const Indicator& indicator, TileLook look, QWidget* parent);

    // What a mouse event does to the images and the cursor: the board's reaction.
    using MouseHandler = std::function<CursorChange(MouseEvent)>;
    void SetMouseHandler(MouseHandler handler) { mouseHandler_ = std::move(handler); }

    ClickLabel* Label() const { return label_; }
    const TileLook& Look() const { return look_; }
    bool Clickable() const { return clickable_; }

    // Whether a click does something now (programmers present, the right tab); an idle tile that
    // cannot be used is drawn faded.
    void SetUsable(bool usable);
    // A run is under way: clicks are refused and idle tiles fade; the lit tile turns its mark.
    void SetLocked(bool locked);
    bool Usable() const { return usable_ && !locked_; }
    bool Faded() const { return clickable_ && !Usable(); }
    bool Running() const { return locked_; }

    // A small widget (the step's check box) on the tile's top-left corner.
    void SetCornerWidget(QWidget* widget);
    // Tool tip of the click label: the step and its shortcut.
    void SetHint(const QString& hint);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  signals:
    void Clicked();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    friend class ClickLabel;
    friend class TileFace;
    void UpdateAnimation();

    TileLook look_;
    bool clickable_;
    bool usable_ = true;
    bool locked_ = false;
    ClickLabel* label_ = nullptr;
    QPointer<QWidget> corner_;
    QTimer* animation_ = nullptr;
    MouseHandler mouseHandler_;
};

}  // namespace torq::app
