#include "controllers/SequencerController.h"

#include <QCheckBox>
#include <QLocale>
#include <QShortcut>

#include "controllers/ActionGate.h"
#include "torq/workflow/TimeText.h"
#include "torq/workflow/Workbench.h"
#include "widgets/BottomPanel.h"
#include "widgets/StatusPanel.h"
#include "widgets/StepBar.h"
#include "widgets/Tile.h"
#include "widgets/UnitPanel.h"

namespace torq::app {

namespace {

QString Bytes(std::uint64_t bytes) {
    return QLocale::c().formattedDataSize(static_cast<qint64>(bytes), 1,
                                          QLocale::DataSizeTraditionalFormat);
}

QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The line under the verdict: what ran, the step that failed, and the run's time, the same
// figure as the log's "Finished with total time".
QString RunSummary(const QString& title, const RunResult& result) {
    switch (result.Outcome()) {
        case Verdict::None:
            return {};
        case Verdict::Stopped:
            return result.stopped ? QStringLiteral("%1 \u00b7 not done: stopped").arg(title)
                                  : QStringLiteral("%1 \u00b7 not done: the chip was not confirmed")
                                        .arg(title);
        case Verdict::Pass:
        case Verdict::Fail:
            break;
    }
    QString summary = title;
    if (result.units.size() > 1) {
        QStringList failed;
        for (const RunResult::UnitOutcome& unit : result.units) {
            if (unit.result.Outcome() != Verdict::Pass)
                failed << QString::number(unit.unit);
        }
        summary +=
            failed.isEmpty()
                ? QStringLiteral(" \u00b7 %1 units").arg(result.units.size())
                : QStringLiteral(" \u00b7 unit %1 failed").arg(failed.join(QStringLiteral(", ")));
    } else if (result.Outcome() == Verdict::Fail && result.failedStep)
        summary +=
            QStringLiteral(" \u00b7 %1 failed").arg(Latin1(OperationLogName(*result.failedStep)));
    else if (result.Outcome() == Verdict::Fail && !result.failure.empty())
        summary += QStringLiteral(" \u00b7 %1").arg(QString::fromStdString(result.failure));
    if (result.elapsedMs)
        summary += QStringLiteral(" \u00b7 %1 s")
                       .arg(QString::fromStdString(GeneralSecondsText(*result.elapsedMs)));
    return summary;
}

QString TitleOf(FunctionButton button) {
    switch (button) {
        case FunctionButton::Read:
            return QStringLiteral("Read");
        case FunctionButton::Edit:
            return QStringLiteral("Edit");
        case FunctionButton::LookIC:
            return QStringLiteral("Detect IC");
        case FunctionButton::ExecuteAll:
            return QStringLiteral("Execute All");
        default:
            return {};
    }
}

}  // namespace

SequencerController::SequencerController(Workbench& bench, ActionGate& gate,
                                         std::vector<StepBar*> bars, BottomPanel& bottom,
                                         std::array<UnitPanel*, kUnitCount> units, QWidget* window)
    : QObject(window),
      bench_(bench),
      gate_(gate),
      bars_(std::move(bars)),
      bottom_(bottom),
      units_(units),
      status_(bottom.Status()) {
    bench_.Runs().AddObserver(this);
    connect(&bottom_, &BottomPanel::StopClicked, this, &SequencerController::RequestStop);
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    connect(stop, &QShortcut::activated, this, &SequencerController::RequestStop);
    stepClock_.setInterval(250);
    connect(&stepClock_, &QTimer::timeout, this, &SequencerController::TickStepClocks);
    for (StepBar* bar : bars_) {
        for (const auto& [step, tile] : bar->Tiles())
            Wire(tile, TileClickLabelName(bar->Which(), step));
        // Programmer_EraseMouseACTFilter_LabelClick ... Emulator_ResetMouseACTFilter_LabelClick
        connect(bar, &StepBar::TileClicked, this, [this](Bar which, Step step) {
            if (TileBrowsesSocket(which, step))
                return;  // the window opens the socket's Browse
            const QString title = QString::fromLatin1(LookOfStep(step).title);
            Start(title, [this, which, step] { bench_.SingleStep(which, step); });
        });
    }
    for (const auto& [button, tile] : bottom_.Buttons())
        Wire(tile, FunctionClickLabelName(button));
    // Function_ReadMouseACTFilter_LabelClick, Function_EditMouseACTFilter_LabelClick,
    // Function_LookICMouseACTFilter_LabelClick, Function_ExecuteAllMouseACTFilter_LabelClick
    connect(&bottom_, &BottomPanel::FunctionClicked, this, [this](FunctionButton button) {
        switch (button) {
            case FunctionButton::Read:
                Start(TitleOf(button), [this] { bench_.Read(); });
                break;
            case FunctionButton::Edit:
                gate_.Run([this] { bench_.Edit(); });
                break;
            case FunctionButton::LookIC:
                Start(TitleOf(button), [this] { bench_.DetectIc(); });
                break;
            case FunctionButton::ExecuteAll:
                Start(TitleOf(button), [this] { bench_.ExecuteAll(); });
                break;
            default:
                break;
        }
    });
}

SequencerController::~SequencerController() {
    bench_.Runs().RemoveObserver(this);
}

void SequencerController::Wire(Tile* tile, const std::string& clickLabel) {
    tiles_.push_back(tile);
    tile->SetMouseHandler([this, clickLabel](MouseEvent event) {
        return bench_.Board().Mouse(clickLabel, event, bench_.ProgrammerCount(), bench_.TabIndex());
    });
}

void SequencerController::Start(const QString& title, const std::function<void()>& run) {
    gate_.Run(
        [&] {
            runTitle_ = title;
            run();
        },
        Lock::Window);
}

void SequencerController::UpdateUsable() {
    const int count = bench_.ProgrammerCount();
    const int tab = bench_.TabIndex();
    for (StepBar* bar : bars_) {
        for (const auto& [step, tile] : bar->Tiles()) {
            const Indicator* indicator =
                bench_.Board().FindIndicator(TilePanelName(bar->Which(), step));
            if (indicator != nullptr)
                tile->SetUsable(ClickUsable(indicator->family, count, tab));
        }
    }
    for (const auto& [button, tile] : bottom_.Buttons()) {
        const Indicator* indicator = bench_.Board().FindIndicator(FunctionPanelName(button));
        if (indicator != nullptr)
            tile->SetUsable(ClickUsable(indicator->family, count, tab));
    }
}

void SequencerController::SetLocked(bool locked) {
    for (Tile* tile : tiles_)
        tile->SetLocked(locked);
    for (StepBar* bar : bars_) {
        for (const auto& [step, box] : bar->CheckBoxes())
            box->setEnabled(!locked && bench_.StepChangeable(bar->Which(), step));
        if (QCheckBox* target = bar->TargetBoardBox())
            target->setEnabled(!locked);
    }
}

void SequencerController::UpdateStatusDetail() {
    if (status_ == nullptr)
        return;
    const std::string shown = bench_.Board().ShownImage(StatusPanelName());
    QString detail;
    if (shown == StatusImageName(StatusImage::Wait)) {
        detail = gangRun_              ? QStringLiteral("%1 \u00b7 units at work").arg(runTitle_)
                 : stepText_.isEmpty() ? runTitle_
                                       : stepText_;
    } else if (shown == StatusImageName(StatusImage::Pass) ||
               shown == StatusImageName(StatusImage::Fail) ||
               shown == StatusImageName(StatusImage::Stopped)) {
        detail = lastRun_;
    } else if (shown == StatusImageName(StatusImage::Online)) {
        const QString firmware = QString::fromStdString(bench_.FirmwareVersion());
        detail = QStringLiteral("Programmer ready");
        if (!firmware.isEmpty() && firmware != QStringLiteral("None"))
            detail += QStringLiteral(" \u00b7 firmware %1").arg(firmware);
    } else if (shown == StatusImageName(StatusImage::Offline)) {
        detail = started_ ? QStringLiteral("No programmer found")
                          : QStringLiteral("Looking for the programmer...");
        // A programmer pulled out during a run: its verdict stays readable under OFFLINE.
        if (started_ && !lastVerdict_.isEmpty())
            detail += QStringLiteral(" \u00b7 last run %1").arg(lastVerdict_);
    }
    status_->SetDetail(detail);
}

void SequencerController::SetStarted(bool started) {
    started_ = started;
    UpdateStatusDetail();
}

void SequencerController::ShowStep(const QString& text) {
    stepText_ = text;
    UpdateStatusDetail();
}

void SequencerController::ShowUnitStep(int unit, const QString& text) {
    if (unit < 1 || unit > kUnitCount)
        return;
    units_[static_cast<std::size_t>(unit - 1)]->SetProgressText(text);
    if (unit == 1 && !gangRun_)
        ShowStep(text);
}

void SequencerController::RequestStop() {
    if (!bench_.Runs().Busy() || bench_.Runs().StopRequested())
        return;
    bench_.Runs().RequestStop();
    if (QPushButton* button = bottom_.StopButton()) {
        button->setEnabled(false);
        button->setText(QStringLiteral("Stopping..."));
    }
}

void SequencerController::RunStarted() {
    gate_.SetRunUnderWay(true);
    runClock_.start();
    lastRun_.clear();
    gangRun_ = false;
    unitSteps_ = {};
    for (int unit = 1; unit <= kUnitCount; ++unit)
        ShowUnitStep(unit, {});
    ShowStep({});
    if (QPushButton* button = bottom_.StopButton()) {
        button->setText(QStringLiteral("Stop"));
        button->setEnabled(true);
        button->show();
    }
    stepClock_.start();
}

void SequencerController::RunEnded(const RunResult& result) {
    stepClock_.stop();
    if (QPushButton* button = bottom_.StopButton())
        button->hide();
    lastRun_ = RunSummary(runTitle_, result);
    lastVerdict_ = Latin1(VerdictWord(result.Outcome()));
    if (result.Outcome() == Verdict::Fail && result.units.size() > 1) {
        QStringList failed;
        for (const RunResult::UnitOutcome& unit : result.units) {
            if (unit.result.Outcome() != Verdict::Pass)
                failed << QStringLiteral("unit %1").arg(unit.unit);
        }
        lastVerdict_ += QStringLiteral(" at %1").arg(failed.join(QStringLiteral(", ")));
    } else if (result.Outcome() == Verdict::Fail && result.failedStep) {
        lastVerdict_ += QStringLiteral(" at %1").arg(Latin1(OperationLogName(*result.failedStep)));
    }
    if (!gangRun_)
        ShowUnitStep(1, {});
    ShowStep({});
    gate_.SetRunUnderWay(false);
}

QString SequencerController::StepText(int unit, Operation operation, std::uint64_t done,
                                      std::uint64_t total) {
    const QString name = Latin1(OperationLogName(operation));
    UnitStep& step = unitSteps_[static_cast<std::size_t>(unit - 1)];
    const qint64 now = runClock_.isValid() ? runClock_.elapsed() : 0;
    if (total == 0 || (!step.reported && done == 0)) {
        // Nothing to count yet (a whole-chip erase says nothing until it ends): the time so far,
        // against the time the last erase of this device took.
        const auto minutes = [](qint64 ms) {
            const qint64 seconds = ms / 1000;
            return QStringLiteral("%1:%2")
                .arg(seconds / 60)
                .arg(seconds % 60, 2, 10, QLatin1Char('0'));
        };
        if (operation != Operation::Erase)
            return name;  // its first block is on its way
        const auto last = lastEraseMs_.find(DeviceKey());
        if (last != lastEraseMs_.end())
            return QStringLiteral("%1  %2 of about %3")
                .arg(name, minutes(now - step.startedMs), minutes(last->second));
        return QStringLiteral("%1  %2 elapsed").arg(name, minutes(now - step.startedMs));
    }
    const int percent = static_cast<int>(100 * std::min(done, total) / total);
    // Erase reports blocks, the others bytes; both read as "done of total".
    const bool bytes = ProgressUnitOf(operation) == ProgressUnit::Bytes;
    const QString amount = bytes ? QStringLiteral("%1 of %2").arg(Bytes(done), Bytes(total))
                                 : QStringLiteral("%1 of %2 blocks").arg(done).arg(total);
    return QStringLiteral("%1  %2 \u00b7 %3%").arg(name, amount).arg(percent);
}

void SequencerController::StepStarted(Operation operation) {
    StartUnitStep(1, operation);
}

void SequencerController::StepProgress(Operation operation, std::uint64_t done,
                                       std::uint64_t total) {
    ProgressUnitStep(1, operation, done, total);
}

void SequencerController::StepEnded(Operation, bool pass) {
    EndUnitStep(1, pass);
}

void SequencerController::UnitStepStarted(int unit, Operation operation) {
    if (!gangRun_) {
        gangRun_ = true;
        UpdateStatusDetail();
    }
    StartUnitStep(unit, operation);
}

void SequencerController::UnitStepProgress(int unit, Operation operation, std::uint64_t done,
                                           std::uint64_t total) {
    ProgressUnitStep(unit, operation, done, total);
}

void SequencerController::UnitStepEnded(int unit, Operation, bool pass) {
    EndUnitStep(unit, pass);
}

void SequencerController::StartUnitStep(int unit, Operation operation) {
    if (unit < 1 || unit > kUnitCount)
        return;
    UnitStep& step = unitSteps_[static_cast<std::size_t>(unit - 1)];
    step = UnitStep{operation, runClock_.isValid() ? runClock_.elapsed() : 0, false, -1};
    ShowUnitStep(unit, StepText(unit, operation, 0, 0));
}

void SequencerController::ProgressUnitStep(int unit, Operation operation, std::uint64_t done,
                                           std::uint64_t total) {
    if (unit < 1 || unit > kUnitCount)
        return;
    UnitStep& step = unitSteps_[static_cast<std::size_t>(unit - 1)];
    // The text changes at most every 100 ms: the bar itself moves with the board.
    const qint64 now = runClock_.isValid() ? runClock_.elapsed() : 0;
    if (step.lastTextMs >= 0 && now - step.lastTextMs < 100 && done < total)
        return;
    step.lastTextMs = now;
    step.reported = step.reported || done > 0;
    ShowUnitStep(unit, StepText(unit, operation, done, total));
}

std::string SequencerController::DeviceKey() const {
    const UnitState& unit1 = bench_.UnitStates().Unit(1);
    return unit1.vendor + '\n' + unit1.type;
}

void SequencerController::EndUnitStep(int unit, bool pass) {
    if (unit < 1 || unit > kUnitCount)
        return;
    UnitStep& step = unitSteps_[static_cast<std::size_t>(unit - 1)];
    if (pass && step.operation == Operation::Erase && !step.reported)
        lastEraseMs_[DeviceKey()] =
            (runClock_.isValid() ? runClock_.elapsed() : 0) - step.startedMs;
    step.operation.reset();
    ShowUnitStep(unit, {});
}

void SequencerController::UnitEnded(int unit, const RunResult& result) {
    gangRun_ = true;
    QString text = Latin1(VerdictWord(result.Outcome()));
    const std::string words = FailureWords(result);
    if (result.Outcome() == Verdict::Fail && !words.empty())
        text += QStringLiteral("  %1").arg(QString::fromStdString(words));
    ShowUnitStep(unit, text);
}

void SequencerController::TickStepClocks() {
    for (int unit = 1; unit <= kUnitCount; ++unit) {
        const UnitStep& step = unitSteps_[static_cast<std::size_t>(unit - 1)];
        if (step.operation && !step.reported)
            ShowUnitStep(unit, StepText(unit, *step.operation, 0, 0));
    }
}

}  // namespace torq::app
