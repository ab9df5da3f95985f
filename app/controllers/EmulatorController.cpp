#include "controllers/EmulatorController.h"

#include <QCheckBox>

#include "controllers/ActionGate.h"
#include "torq/workflow/Workbench.h"
#include "widgets/StepBar.h"

namespace torq::app {

EmulatorController::EmulatorController(Workbench& bench, ActionGate& gate,
                                       std::vector<StepBar*> bars, QObject* parent)
    : QObject(parent), bench_(bench), gate_(gate), bars_(std::move(bars)) {
    for (StepBar* bar : bars_) {
        // Emulator_Watch_CheckBoxClick and the step boxes' clicks.
        connect(bar, &StepBar::StepToggled, this, [this](Bar which, Step step, bool checked) {
            gate_.Run([&] { bench_.SetStepChecked(which, step, checked); });
            Refresh();
        });
        connect(bar, &StepBar::TargetBoardToggled, this, [this](bool checked) {
            bench_.EditOptions([checked](Options& o) { o.userTargetBoard = checked; });
            Refresh();
        });
    }
    Refresh();
}

void EmulatorController::Refresh() {
    for (StepBar* bar : bars_) {
        for (const auto& [step, box] : bar->CheckBoxes()) {
            box->setChecked(bench_.StepChecked(bar->Which(), step));
            box->setEnabled(bench_.StepChangeable(bar->Which(), step) && !gate_.Locked());
        }
        if (QCheckBox* target = bar->TargetBoardBox())
            target->setChecked(bench_.Settings().userTargetBoard);
    }
}

void EmulatorController::WatchTick() {
    // A tick during another action waits for the next one; the tick itself may reload the work
    // file and run Execute All, which locks the window through the sequencer.
    gate_.Run([this] { bench_.WatchTick(); });
}

}  // namespace torq::app
