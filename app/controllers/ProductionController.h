// The production group and the production log: after each run the counters are read again and a
// record grown too big is told once; the log window opens from the group's button.
#pragma once

#include <QObject>
#include <QPointer>

#include "torq/workflow/RunPlan.h"

namespace torq {
class Operator;
class Workbench;
}  // namespace torq

namespace torq::app {

class FileChooser;
class ProductionLogWindow;
class ProductionPanel;

class ProductionController final : public QObject, private SequencerObserver {
    Q_OBJECT
  public:
    ProductionController(Workbench& bench, Operator& op, FileChooser& files, ProductionPanel& panel,
                         QWidget* window);
    ~ProductionController() override;
    // Opens (or raises) the production log, read again.
    void ShowLog();
    ProductionLogWindow* LogWindow() const;

  private:
    void RunEnded(const RunResult& result) override;
    void AfterRun();

    Workbench& bench_;
    Operator& op_;
    FileChooser& files_;
    ProductionPanel& panel_;
    QWidget* window_;
    QPointer<ProductionLogWindow> log_;
};

}  // namespace torq::app
