// Renders the indicator board: every control of the board's tree is the widget with the same
// object name, shown exactly when the board shows it; progress bars and checksum colours follow
// the board too.
#pragma once

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <string_view>

#include "torq/workflow/IndicatorBoard.h"

namespace torq::app {

class IndicatorController final : public IndicatorObserver {
  public:
    struct Targets {
        std::function<void(int unit, int value)> progress;
        std::function<void(int socketIndex, ChecksumLook look)> checksumLook;
        // After the children of a container were shown or hidden.
        std::function<void(std::string_view container)> shown;
    };
    IndicatorController(IndicatorBoard& board, QWidget& window, Targets targets);
    ~IndicatorController() override;

    // Every widget to the board's state (after building the window).
    void SyncAll();

    void VisibilityChanged(std::string_view container) override;
    void ProgressChanged(int unit, int value) override;
    void ChecksumLookChanged(int socketIndex, ChecksumLook look) override;

  private:
    QWidget* WidgetNamed(const std::string& name);
    void Apply(ControlId id);

    IndicatorBoard& board_;
    QWidget& window_;
    Targets targets_;
    QHash<QString, QPointer<QWidget>> widgets_;
};

}  // namespace torq::app
