#include "controllers/SequencerController.h"

#include <QCheckBox>
#include <QLocale>

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
            return QStringLiteral("%1 \u00b7 not done: the chip was not confirmed").arg(title);
        case Verdict::Pass:
        case Verdict::Fail:
            break;
    }
    QString summary = title;
    if (result.Outcome() == Verdict::Fail && result.failedStep)
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
                                         UnitPanel& unit1, QObject* parent)
    : QObject(parent),
      bench_(bench),
      gate_(gate),
      bars_(std::move(bars)),
      bottom_(bottom),
      unit1_(unit1),
      status_(bottom.Status()) {
    bench_.Runs().AddObserver(this);
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
        detail = stepText_.isEmpty() ? runTitle_ : stepText_;
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
    unit1_.SetProgressText(text);
    UpdateStatusDetail();
}

void SequencerController::RunStarted() {
    gate_.SetRunUnderWay(true);
    runClock_.start();
    lastRun_.clear();
    ShowStep({});
}

void SequencerController::RunEnded(const RunResult& result) {
    lastRun_ = RunSummary(runTitle_, result);
    lastVerdict_ = Latin1(VerdictWord(result.Outcome()));
    if (result.Outcome() == Verdict::Fail && result.failedStep)
        lastVerdict_ += QStringLiteral(" at %1").arg(Latin1(OperationLogName(*result.failedStep)));
    ShowStep({});
    gate_.SetRunUnderWay(false);
}

void SequencerController::StepStarted(Operation operation) {
    lastProgressMs_ = -1;
    ShowStep(Latin1(OperationLogName(operation)));
}

void SequencerController::StepProgress(Operation operation, std::uint64_t done,
                                       std::uint64_t total) {
    // The text changes at most every 100 ms: the bar itself moves with the board.
    const qint64 now = runClock_.isValid() ? runClock_.elapsed() : 0;
    if (lastProgressMs_ >= 0 && now - lastProgressMs_ < 100 && done < total)
        return;
    lastProgressMs_ = now;
    const QString name = Latin1(OperationLogName(operation));
    // Erase reports blocks, the others bytes; both read as "done of total".
    const bool bytes = ProgressUnitOf(operation) == ProgressUnit::Bytes;
    ShowStep(bytes ? QStringLiteral("%1  %2 of %3").arg(name, Bytes(done), Bytes(total))
                   : QStringLiteral("%1  %2 of %3 blocks").arg(name).arg(done).arg(total));
}

void SequencerController::StepEnded(Operation, bool) {
    ShowStep({});
}

}  // namespace torq::app
