#include "controllers/ProductionController.h"

#include <QTimer>

#include "torq/workflow/Sequencer.h"
#include "torq/workflow/Workbench.h"
#include "widgets/ProductionLogWindow.h"
#include "widgets/ProductionPanel.h"

namespace torq::app {

ProductionController::ProductionController(Workbench& bench, Operator& op, FileChooser& files,
                                           ProductionPanel& panel, QWidget* window)
    : QObject(window), bench_(bench), op_(op), files_(files), panel_(panel), window_(window) {
    bench_.Runs().AddObserver(this);
    connect(&panel_, &ProductionPanel::LogRequested, this, &ProductionController::ShowLog);
}

ProductionController::~ProductionController() {
    bench_.Runs().RemoveObserver(this);
}

void ProductionController::RunEnded(const RunResult&) {
    // After every observer has had the result (the workbench counts it), and outside the run.
    QTimer::singleShot(0, this, &ProductionController::AfterRun);
}

void ProductionController::AfterRun() {
    panel_.Refresh();
    if (log_ != nullptr && log_->isVisible())
        log_->Apply();
    if (const std::optional<std::string> warning = bench_.Production().SizeWarning())
        op_.Tell(Severity::Warning, *warning);
}

ProductionLogWindow* ProductionController::LogWindow() const {
    return log_;
}

void ProductionController::ShowLog() {
    if (log_ == nullptr)
        log_ = new ProductionLogWindow([this] { return bench_.Production().Store(); }, op_, files_,
                                       window_);
    log_->show();
    log_->raise();
    log_->activateWindow();
    log_->Apply();
}

}  // namespace torq::app
