#include "MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTabBar>
#include <QVBoxLayout>
#include <cctype>

#include "controllers/ActionGate.h"
#include "controllers/EmulatorController.h"
#include "controllers/IndicatorController.h"
#include "controllers/ProductionController.h"
#include "controllers/SequencerController.h"
#include "controllers/UnitsController.h"
#include "torq/app/FileChooser.h"
#include "torq/app/InformationView.h"
#include "torq/app/LoadFileDialog.h"
#include "torq/app/OptionsPage.h"
#include "torq/app/PremiumPages.h"
#include "torq/app/ProgressWindow.h"
#include "torq/desktop/Tones.h"
#include "torq/editor/qt/HexEditorDialog.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/WindowRules.h"
#include "widgets/BottomPanel.h"
#include "widgets/MenuTabControl.h"
#include "widgets/ProductionPanel.h"
#include "widgets/SocketPanel.h"
#include "widgets/StepBar.h"
#include "widgets/Theme.h"
#include "widgets/UnitPanel.h"

namespace torq::app {

namespace {

constexpr int kWatchIntervalMs = 300;
constexpr int kFlashIntervalMs = 130;
// How often the USB layer's arrivals and removals are looked at.
constexpr int kUsbPollMs = 100;
constexpr int kHandOverRetryMs = 250;

QString Name(std::string_view name) {
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QWidget* Panel(std::string_view name, QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(Name(name));
    return panel;
}

// Closes the open modal dialogs, topmost first, with their cancelling choice: a message box as
// its Escape button (Cancel, No, or OK for a plain message), any other dialog as Escape closes it.
// True when one was open.
bool AnswerOpenDialogsWithCancel() {
    bool answered = false;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            box->close();
        else if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;  // it stays open (an editor still at work)
        answered = true;
    }
    return answered;
}

}  // namespace

MainWindow::MainWindow(ProgramDirectory dirs, std::unique_ptr<UsbDevice> usb, WindowSeams seams,
                       QWidget* parent)
    : QMainWindow(parent),
      seams_(seams),
      asker_(seams.op),
      watchTimer_("WatchFile_Timer", kWatchIntervalMs, this),
      flashTimer_("FlashSumEdit_Timer", kFlashIntervalMs, this) {
    setObjectName(QStringLiteral("MainForm"));
    bench_ = std::make_unique<Workbench>(std::move(dirs),
                                         WorkbenchSeams{asker_, pump_, SystemClock::Instance(),
                                                        watchTimer_, flashTimer_, std::move(usb)},
                                         static_cast<WorkbenchHost&>(*this));
    // Execute All runs on workers: the window's thread only paints and takes their events.
    bench_->SetRunsOnWorker(true);
    gate_ = std::make_unique<ActionGate>(bench_->Work());

    // Window set-up: what this release hides stays hidden but keeps its values (socket 2 of every
    // unit, the Save and Option buttons).
    IndicatorBoard& board = bench_->Board();
    for (int unit = 1; unit <= kUnitCount; ++unit)
        board.SetVisible(SocketControlName(unit, "Socket", 2, kind::kPanel), false);
    board.SetVisible(FunctionPanelName(FunctionButton::Save), false);
    board.SetVisible(FunctionPanelName(FunctionButton::Option), false);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("MainForm_Central"));
    auto* column = new QVBoxLayout(central);
    const int margin = 2 * theme::kGrid;
    column->setContentsMargins(margin, theme::kGrid, margin, margin);
    column->setSpacing(theme::kGrid);

    tabs_ = new MenuTabControl(central);
    tabs_->AddPanel(BuildOperationPanel());
    auto* premium = Panel(control::kPremiumPanel, tabs_);
    premiumPages_ = new PremiumPages(*bench_, premium);
    auto* premiumLayout = new QVBoxLayout(premium);
    premiumLayout->setContentsMargins(0, 0, 0, 0);
    premiumLayout->addWidget(premiumPages_);
    tabs_->AddPanel(premium);
    auto* options = Panel(control::kOptionsPanel, tabs_);
    auto* optionsScroll = new QScrollArea(options);
    optionsScroll->setFrameShape(QFrame::NoFrame);
    optionsScroll->setWidgetResizable(true);
    optionsPage_ = new OptionsPage(*bench_, seams_.files,
                                   seams_.desktop ? *seams_.desktop : DesktopSeams::System());
    optionsScroll->setWidget(optionsPage_);
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->setContentsMargins(0, 0, 0, 0);
    optionsLayout->addWidget(optionsScroll);
    tabs_->AddPanel(options);
    column->addWidget(tabs_, 0);

    bottom_ = new BottomPanel(board, central);
    column->addWidget(bottom_);
    column->addWidget(BuildInformationPanel(), 1);
    setCentralWidget(central);

    progressWindow_ = new ProgressWindow(this);
    bench_->SetLoadProgress(progressWindow_);
    loadDialog_ = new LoadFileDialog(*bench_, progressWindow_, this);
    infoWindow_ = new InformationWindow(*bench_, seams_.files, this);
    lineLimit_ = new LineLimitTimer(*bench_, this);

    Wire();
    UpdateCaption();
    // The first paint already shows the current tab's layout (no programmer yet: the start-up
    // looks for it right after).
    bench_->ShowTab(bench_->TabIndex());
    tabs_->SetCurrent(bench_->TabIndex());

    // A laptop screen's worth, never more than the screen.
    QSize size(1280, 800);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize());
    resize(size);
    firstPaintWatched_ = tabs_->Bar();
    firstPaintWatched_->installEventFilter(this);
}

MainWindow::~MainWindow() {
    if (tones_.valid())
        tones_.wait();
    usbTimer_.stop();
    handOverRetry_.stop();
    watchTimer_.Stop();
    flashTimer_.Stop();
    if (!painted_ && firstPaintWatched_ != nullptr)
        firstPaintWatched_->removeEventFilter(this);
    // Everything that observes or calls the workbench goes before it.
    indicators_.reset();
    editor_.reset();
    delete takeCentralWidget();
    bench_->SetLoadProgress(nullptr);
    for (QObject* owned : std::initializer_list<QObject*>{
             productionController_, sequencerController_, unitsController_, emulatorController_,
             lineLimit_, infoWindow_, loadDialog_, progressWindow_}) {
        delete owned;
    }
}

QWidget* MainWindow::BuildOperationPanel() {
    IndicatorBoard& board = bench_->Board();
    auto* operation = Panel(control::kOperationPanel, nullptr);
    auto* column = new QVBoxLayout(operation);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2 * theme::kGrid);

    auto* top = Panel(control::kOperationTopPanel, operation);
    auto* bars = new QVBoxLayout(top);
    bars->setContentsMargins(0, 0, 0, 0);
    emulatorBar_ = new StepBar(Bar::Emulator, board, top);
    programmerBar_ = new StepBar(Bar::Programmer, board, top);
    bars->addWidget(emulatorBar_);
    bars->addWidget(programmerBar_);
    // Beside the programmer's tiles, where they leave room; it shows and hides with its bar.
    production_ = new ProductionPanel(*bench_, programmerBar_);
    programmerBar_->AddAside(production_);
    column->addWidget(top);

    auto* bottom = Panel(control::kOperationBottomPanel, operation);
    auto* unitColumn = new QVBoxLayout(bottom);
    unitColumn->setContentsMargins(0, 0, 0, 0);
    unitColumn->setSpacing(theme::kGrid);
    for (int unit = 1; unit <= kUnitCount; ++unit) {
        units_[static_cast<std::size_t>(unit - 1)] = new UnitPanel(unit, board, bottom);
        unitColumn->addWidget(units_[static_cast<std::size_t>(unit - 1)]);
    }
    column->addWidget(bottom);
    offlineHint_ = new QLabel(
        QStringLiteral("No programmer is connected. Plug in the programmer: the window finds it "
                       "at once."),
        operation);
    offlineHint_->setObjectName(QStringLiteral("Operation_Offline_Label"));
    offlineHint_->setAlignment(Qt::AlignCenter);
    offlineHint_->setMinimumHeight(8 * theme::kGrid);
    offlineHint_->setStyleSheet(QStringLiteral("color: %1;").arg(theme::Dim(palette()).name()));
    column->addWidget(offlineHint_);
    column->addStretch(1);
    return operation;
}

QWidget* MainWindow::BuildInformationPanel() {
    auto* panel = Panel(control::kInfoMessagePanel, nullptr);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    infoView_ =
        new InformationView(bench_->Log(), seams_.files, asker_, InformationPlace::Docked, panel);
    layout->addWidget(infoView_);
    return panel;
}

void MainWindow::Wire() {
    ActionGate& gate = *gate_;
    unitsController_ = new UnitsController(*bench_, gate, seams_.files, *loadDialog_, units_, this);
    sequencerController_ = new SequencerController(*bench_, gate, {emulatorBar_, programmerBar_},
                                                   *bottom_, units_, this);
    emulatorController_ =
        new EmulatorController(*bench_, gate, {emulatorBar_, programmerBar_}, this);
    productionController_ =
        new ProductionController(*bench_, asker_, seams_.files, *production_, this);

    IndicatorController::Targets targets;
    targets.progress = [this](int unit, int value) {
        if (unit >= 1 && unit <= kUnitCount)
            units_[static_cast<std::size_t>(unit - 1)]->SetProgress(value);
    };
    targets.checksumLook = [this](int index, ChecksumLook look) {
        const SocketPosition at = SocketAtIndex(index);
        units_[static_cast<std::size_t>(at.unit - 1)]->Socket(at.socket)->SetChecksumLook(look);
    };
    targets.shown = [this](std::string_view container) { ContainerShown(container); };
    indicators_ = std::make_unique<IndicatorController>(bench_->Board(), *this, targets);
    indicators_->SyncAll();

    connect(tabs_, &MenuTabControl::TabRequested, this, &MainWindow::TabRequested);
    connect(&gate, &ActionGate::LockChanged, this, &MainWindow::Locked);
    connect(&gate, &ActionGate::Idle, this, &MainWindow::ProcessHandOvers, Qt::QueuedConnection);
    connect(infoView_, &InformationView::modeClicked, infoWindow_,
            &InformationWindow::ShowSeparately);

    watchTimer_.SetTick([this] { emulatorController_->WatchTick(); });
    flashTimer_.SetTick([this] { bench_->FlashTick(); });
    usbTimer_.setObjectName(QStringLiteral("UsbEvents_Timer"));
    usbTimer_.setInterval(kUsbPollMs);
    connect(&usbTimer_, &QTimer::timeout, this, [this] {
        // During an action the events wait in the USB layer until it has ended.
        if (!gate_->Busy())
            gate_->Run([this] { bench_->ProcessUsbEvents(); });
    });
    handOverRetry_.setInterval(kHandOverRetryMs);
    connect(&handOverRetry_, &QTimer::timeout, this, &MainWindow::ProcessHandOvers);

    // Ctrl+O and a click on a Load File tile: Browse of unit 1, socket 1.
    auto* browse = new QShortcut(QKeySequence::Open, this);
    connect(browse, &QShortcut::activated, this, [this] {
        unitsController_->Browse(kBrowseShortcutSocket.unit, kBrowseShortcutSocket.socket);
    });
    for (StepBar* bar : {emulatorBar_, programmerBar_}) {
        connect(bar, &StepBar::TileClicked, this, [this](Bar which, Step step) {
            if (const auto socket = TileBrowsesSocket(which, step))
                unitsController_->Browse(socket->unit, socket->socket);
        });
    }
}

bool MainWindow::LockHome(std::string* problem) {
    std::string refusal;
    if (bench_->LockHome("torq-spi window", &refusal))
        return true;
    // The refusal names the folder and who holds it: the box says it as one sentence.
    std::string sentence = refusal;
    if (!sentence.empty())
        sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
    if (!sentence.ends_with('.'))
        sentence += '.';
    asker_.Tell(Severity::Error, sentence);
    if (problem != nullptr)
        *problem = refusal;
    return false;
}

bool MainWindow::Start(const std::vector<std::string>& parameters) {
    gate_->Run([&] { bench_->StartUp(parameters); }, Lock::Window);
    started_ = true;
    sequencerController_->SetStarted(true);
    UpdateUsable();
    emulatorController_->Refresh();
    unitsController_->RefreshAll();
    lineLimit_->Sync();
    if (endRequested_) {
        close();
        return false;
    }
    usbTimer_.start();
    ProcessHandOvers();
    return true;
}

void MainWindow::TabRequested(int tab) {
    // Menu_TabControlChanging and Menu_TabControlChange: the leave checks may refuse the tab, and
    // Premium may fall back to the last operation tab; the bar shows what the workflow shows.
    gate_->Run([&] { bench_->ChangeTab(tab); });
    tabs_->SetCurrent(bench_->TabIndex());
    UpdateUsable();
    lineLimit_->Sync();
}

void MainWindow::Locked(bool locked) {
    tabs_->Bar()->setEnabled(!locked);
    unitsController_->SetLocked(locked);
    sequencerController_->SetLocked(locked);
    production_->SetLocked(locked);
    optionsPage_->setEnabled(!locked);
    premiumPages_->setEnabled(!locked);
    if (!locked)
        emulatorController_->Refresh();
}

void MainWindow::ContainerShown(std::string_view container) {
    if (container == StatusPanelName()) {
        sequencerController_->UpdateStatusDetail();
        UpdateUsable();
    }
    if (container == control::kOperationBottomPanel || container == control::kOperationPanel) {
        // Without programmers the unit area is hidden: the hint says why the tab is empty.
        bool anyUnit = false;
        for (const UnitPanel* unit : units_)
            anyUnit = anyUnit || !unit->isHidden();
        const QWidget* area = units_[0]->parentWidget();
        offlineHint_->setVisible(area->isHidden() || !anyUnit);
    }
}

void MainWindow::UpdateUsable() {
    sequencerController_->UpdateUsable();
    unitsController_->UpdateUsable();
}

void MainWindow::UpdateCaption() {
    const QString version = QString::fromStdString(
        VersionText(TORQ_VERSION_MAJOR, TORQ_VERSION_MINOR, TORQ_VERSION_PATCH));
    setWindowTitle(QStringLiteral("%1 Ver. %2").arg(Name(kApplicationTitle), version));
}

// ---- hand-over from a second start ----

void MainWindow::ReceiveHandOver(const QString& text, std::function<void()> done) {
    handOvers_.push_back({text, std::move(done)});
    ProcessHandOvers();
}

void MainWindow::ProcessHandOvers() {
    if (handOvers_.empty()) {
        handOverRetry_.stop();
        return;
    }
    // Not in the middle of another action, a modal question or the start-up.
    if (!started_ || gate_->Busy() || QApplication::activeModalWidget() != nullptr) {
        handOverRetry_.start();
        return;
    }
    HandOver next = std::move(handOvers_.front());
    handOvers_.pop_front();
    BringToFront();
    gate_->Run([&] { bench_->ProcessHandedOver(next.text.toStdString()); }, Lock::Window);
    unitsController_->RefreshAll();
    if (next.done)
        next.done();
    if (!handOvers_.empty())
        handOverRetry_.start();
}

// ---- closing ----

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    switch (DecideClose(gate_->Busy(), bench_->RunUnderWay(), !shuttingDown_, asker_,
                        [this] { bench_->Runs().RequestStop(); })) {
        case CloseDecision::Close:
            break;
        case CloseDecision::StayOpen:
            event->ignore();
            return;
        case CloseDecision::CloseWhenIdle:
            event->ignore();
            if (!closeWhenIdle_) {
                closeWhenIdle_ = true;
                connect(gate_.get(), &ActionGate::Idle, this, &QWidget::close,
                        Qt::QueuedConnection);
            }
            return;
    }
    closed_ = true;
    usbTimer_.stop();
    handOverRetry_.stop();
    // FormCloseQuery: history, options, the buffer emptied (unless the program ends on an error
    // that asked to skip them).
    if (closingSaves_)
        gate_->Run([this] { bench_->Close(); });
    watchTimer_.Stop();
    flashTimer_.Stop();
    infoWindow_->hide();
    // Senders still waiting get their answer: the window is gone.
    for (HandOver& pending : handOvers_) {
        if (pending.done)
            pending.done();
    }
    handOvers_.clear();
    event->accept();
}

void MainWindow::ShutDown() {
    shuttingDown_ = true;
    asker_.SetEnding();
    // A box or dialog open now is answered as its cancel button would answer it; the close then
    // waits for the code that opened it to go on (queued), or for the work under way to end.
    if (AnswerOpenDialogsWithCancel())
        QMetaObject::invokeMethod(
            this, [this] { close(); }, Qt::QueuedConnection);
    else
        close();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Compared by address only: the filter also sees the events of the bar's destruction, when
    // the tab control around it is no longer whole.
    if (!painted_ && watched == firstPaintWatched_ && event->type() == QEvent::Paint) {
        painted_ = true;
        watched->removeEventFilter(this);
        QTimer::singleShot(0, this, &MainWindow::FirstPainted);
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- WorkbenchHost ----

void MainWindow::EndProgram(bool closingSaves) {
    endRequested_ = true;
    closingSaves_ = closingSaves;
    if (started_)
        QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::FocusVendorBox(int unit) {
    if (unit >= 1 && unit <= kUnitCount)
        units_[static_cast<std::size_t>(unit - 1)]->VendorBox()->setFocus();
}

void MainWindow::BringToFront() {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void MainWindow::ShowEditor(std::uint64_t deviceSize) {
    if (!editor_) {
        editor_ = std::make_unique<editor::qt::HexEditorDialog>(
            bench_->Directories().BufferFile(), asker_, static_cast<editor::EditorHost&>(*this),
            &bench_->Log(), this);
    }
    editor_->PrepareForShow(deviceSize);
    editor_->exec();
}

void MainWindow::PlayTones() {
    // The tones take 0.6 s: they play beside the window's thread, so the window stays live, and
    // one "-b" after another waits for the previous tones. With neither a sound device nor a
    // terminal, the desktop's bell rings twice instead, on the window's thread.
    tones_ = std::async(std::launch::async, [previous = std::move(tones_)]() mutable {
        if (previous.valid())
            previous.wait();
        if (torq::PlayTones() != ToneOutput::Nothing)
            return;
        QMetaObject::invokeMethod(qApp, [] {
            QApplication::beep();
            QTimer::singleShot(300, qApp, [] { QApplication::beep(); });
        });
    });
}

void MainWindow::SelectTab(int tab) {
    tabs_->SetCurrent(tab);
}

void MainWindow::SelectionChanged(int unit) {
    if (unitsController_ != nullptr)
        unitsController_->Refresh(unit);
}

void MainWindow::OptionsChanged() {
    if (emulatorController_ != nullptr)
        emulatorController_->Refresh();
    if (optionsPage_ != nullptr)
        optionsPage_->SyncFromModel();
    if (production_ != nullptr)
        production_->Refresh();
    if (lineLimit_ != nullptr)
        lineLimit_->Sync();
}

void MainWindow::LabelsChanged() {
    if (optionsPage_ != nullptr)
        optionsPage_->RefreshAboutLabels();
    if (sequencerController_ != nullptr)
        sequencerController_->UpdateStatusDetail();
}

void MainWindow::PagesBuilt() {
    if (premiumPages_ != nullptr)
        premiumPages_->Rebuild();
}

void MainWindow::ApplyEditedImage(const SocketFields& fields) {
    bench_->ApplyEditedImage(fields.checksumText);
}

}  // namespace torq::app
