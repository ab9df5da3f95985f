// The main window: composes the tab control, the step bars, the unit panels, the bottom panel and
// the information panel, embeds the dialogs and pages, and hands each area to its controller.
// It is the workbench's host (what the core asks of the program) and the hex editor's host.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <vector>

#include "seams/QtSeams.h"
#include "torq/app/DesktopSeams.h"
#include "torq/devlib/ProgramDirectory.h"
#include "torq/editor/EditorSession.h"
#include "torq/usb/UsbDevice.h"
#include "torq/workflow/Workbench.h"

class QLabel;

namespace torq::editor::qt {
class HexEditorDialog;
}

namespace torq::app {

class ActionGate;
class BottomPanel;
class EmulatorController;
class FileChooser;
class IndicatorController;
class InformationView;
class InformationWindow;
class LineLimitTimer;
class LoadFileDialog;
class MenuTabControl;
class OptionsPage;
class PremiumPages;
class ProductionController;
class ProductionPanel;
class ProgressWindow;
class SequencerController;
class StepBar;
class UnitPanel;
class UnitsController;

// What the window asks the operator through: message boxes and file dialogs (tests script both);
// and the desktop the Options tab's desktop group works on (null: the user's own).
struct WindowSeams {
    Operator& op;
    FileChooser& files;
    const DesktopSeams* desktop = nullptr;
};

class MainWindow final : public QMainWindow, private WorkbenchHost, private editor::EditorHost {
    Q_OBJECT
  public:
    MainWindow(ProgramDirectory dirs, std::unique_ptr<UsbDevice> usb, WindowSeams seams,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    Workbench& Bench() { return *bench_; }
    ActionGate& Gate() { return *gate_; }

    // Takes the home folder's lock for the window's life. Refused (another program holds the
    // folder): the operator is told so, naming the folder and its holder once, and `problem` says
    // the same for the terminal.
    bool LockHome(std::string* problem = nullptr);
    // The start-up sequence (device library, options, indicators, programmers, history, command
    // line). False when the program had to end during it.
    bool Start(const std::vector<std::string>& parameters);
    // True once the workbench asked the program to end.
    bool EndRequested() const { return endRequested_; }

    // A text handed over by a second start: processed as soon as nothing else is under way,
    // then `done` acknowledges it.
    void ReceiveHandOver(const QString& text, std::function<void()> done);
    // The program is asked to end from outside (a signal, the session ending): no question; an
    // open question is answered with its cancelling choice and later ones are not shown; a run
    // under way stops before its next block of data, then the window closes with its saves.
    void ShutDown();

    // The window's timers, for tests: WatchFile_Timer, FlashSumEdit_Timer, the USB event poll.
    QtTimer& WatchTimer() { return watchTimer_; }
    QTimer& UsbTimer() { return usbTimer_; }

  signals:
    // The window was painted for the first time.
    void FirstPainted();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // WorkbenchHost
    void EndProgram(bool closingSaves) override;
    void FocusVendorBox(int unit) override;
    void BringToFront() override;
    void ShowEditor(std::uint64_t deviceSize) override;
    void PlayTones() override;
    void SelectTab(int tab) override;
    void SelectionChanged(int unit) override;
    void OptionsChanged() override;
    void LabelsChanged() override;
    void PagesBuilt() override;
    // EditorHost
    void ApplyEditedImage(const SocketFields& fields) override;

    QWidget* BuildOperationPanel();
    QWidget* BuildInformationPanel();
    void Wire();
    void TabRequested(int tab);
    void Locked(bool locked);
    void ContainerShown(std::string_view container);
    void UpdateUsable();
    void ProcessHandOvers();
    void UpdateCaption();

    WindowSeams seams_;
    // Everything the window asks goes through it: once the program is told to end, nothing waits
    // for an answer.
    EndingOperator asker_;
    QtPump pump_;
    QtTimer watchTimer_;
    QtTimer flashTimer_;
    QTimer usbTimer_;
    std::unique_ptr<Workbench> bench_;
    std::unique_ptr<ActionGate> gate_;

    MenuTabControl* tabs_ = nullptr;
    StepBar* emulatorBar_ = nullptr;
    StepBar* programmerBar_ = nullptr;
    ProductionPanel* production_ = nullptr;
    std::array<UnitPanel*, kUnitCount> units_{};
    QLabel* offlineHint_ = nullptr;
    BottomPanel* bottom_ = nullptr;
    InformationView* infoView_ = nullptr;
    InformationWindow* infoWindow_ = nullptr;
    OptionsPage* optionsPage_ = nullptr;
    PremiumPages* premiumPages_ = nullptr;
    ProgressWindow* progressWindow_ = nullptr;
    LoadFileDialog* loadDialog_ = nullptr;
    std::unique_ptr<editor::qt::HexEditorDialog> editor_;

    std::unique_ptr<IndicatorController> indicators_;
    UnitsController* unitsController_ = nullptr;
    SequencerController* sequencerController_ = nullptr;
    EmulatorController* emulatorController_ = nullptr;
    ProductionController* productionController_ = nullptr;
    LineLimitTimer* lineLimit_ = nullptr;

    struct HandOver {
        QString text;
        std::function<void()> done;
    };
    std::deque<HandOver> handOvers_;
    QTimer handOverRetry_;
    // The "-b" tones, playing beside the window's thread.
    std::future<void> tones_;

    bool started_ = false;
    bool endRequested_ = false;
    bool closingSaves_ = true;
    bool closed_ = false;
    bool closeWhenIdle_ = false;
    bool shuttingDown_ = false;
    bool painted_ = false;
    QObject* firstPaintWatched_ = nullptr;  // the tab bar, until its first paint
};

}  // namespace torq::app
