// A step bar ("Emulator_Panel", "Programmer_Panel"): the bar's tiles in their order, each with
// its step check box on the corner. The Emulator bar also holds the target-board check box.
#pragma once

#include <QWidget>
#include <map>

#include "torq/workflow/IndicatorBoard.h"

class QCheckBox;
class QLabel;

namespace torq::app {

class Tile;

class StepBar final : public QWidget {
    Q_OBJECT
  public:
    StepBar(Bar bar, const IndicatorBoard& board, QWidget* parent);

    Bar Which() const { return bar_; }
    Tile* TileOf(Step step) const;
    QCheckBox* CheckBoxOf(Step step) const;
    const std::map<Step, Tile*>& Tiles() const { return tiles_; }
    const std::map<Step, QCheckBox*>& CheckBoxes() const { return boxes_; }
    // Emulator bar only; null on the Programmer bar.
    QCheckBox* TargetBoardBox() const { return targetBoard_; }
    // A widget at the bar's right end, shown and hidden with the bar; the tiles keep to the top
    // when it is taller than they are.
    void AddAside(QWidget* widget);

  signals:
    void TileClicked(torq::Bar bar, torq::Step step);
    void StepToggled(torq::Bar bar, torq::Step step, bool checked);
    void TargetBoardToggled(bool checked);

  private:
    Bar bar_;
    std::map<Step, Tile*> tiles_;
    std::map<Step, QCheckBox*> boxes_;
    QCheckBox* targetBoard_ = nullptr;
};

// The caption and pictogram of a step's tile, and its name in tool tips.
struct StepLook {
    const char* pictogram;
    const char* caption;
    const char* title;
};
StepLook LookOfStep(Step step);

}  // namespace torq::app
