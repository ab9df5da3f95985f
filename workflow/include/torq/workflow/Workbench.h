// The process-wide state of the program and the behaviour of the main window without a toolkit:
// unit 1's device session (the device library, the selected device, the page values, the
// programmer link, detection), the options and the information log, the four units with their
// sockets, the indicator board, the tabs, the emulator's file watch, the command line, device
// changes, start-up and closing. The window and the command-line tool each hold one Workbench and
// call it; the window only renders its state. The dialogs and pages see it through the slice each
// uses: LoadModel, PremiumModel, OptionsModel and InformationModel.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "torq/buffer/Load.h"
#include "torq/devlib/DeviceLibrary.h"
#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/HomeLock.h"
#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Options.h"
#include "torq/devlib/ParameterPages.h"
#include "torq/devlib/ProgramDirectory.h"
#include "torq/devlib/Seams.h"
#include "torq/link/DeviceOperations.h"
#include "torq/link/Identification.h"
#include "torq/link/Programmer.h"
#include "torq/usb/UsbDevice.h"
#include "torq/workflow/CommandLine.h"
#include "torq/workflow/DeviceChanges.h"
#include "torq/workflow/DeviceSession.h"
#include "torq/workflow/DeviceWork.h"
#include "torq/workflow/EmulatorWatch.h"
#include "torq/workflow/IndicatorBoard.h"
#include "torq/workflow/InformationModel.h"
#include "torq/workflow/LoadModel.h"
#include "torq/workflow/OptionsModel.h"
#include "torq/workflow/PremiumModel.h"
#include "torq/workflow/ProductionRecorder.h"
#include "torq/workflow/RunPlan.h"
#include "torq/workflow/Tabs.h"
#include "torq/workflow/Timer.h"
#include "torq/workflow/Units.h"
#include "torq/workflow/VersionText.h"

namespace torq {

class Sequencer;

inline constexpr std::string_view kApplicationTitle = "TORQ-SPI";
inline constexpr std::string_view kNoParameterLine = "Premium Tabs : No Parameter";
// Why a load asked for while device work is under way did not take place.
inline constexpr std::string_view kBusyReason = "a run is under way";

// How applying a detected device to unit 1 left the operator's image.
enum class AppliedDevice {
    Unchanged,  // the chip is the selected device: selection, buffer and socket stay as they were
    Reloaded,   // the device was selected and socket 1's work file loaded again into its buffer
    Cleared,    // the device was selected with no file to load again: the buffer is erased
    Refused,    // the device could not be selected: nothing changed (the reason is logged)
};
// The log lines of a device change that keeps the image: the work file's path follows the first.
inline constexpr std::string_view kWorkFileLoadedAgainLine =
    "The device changed : the work file is loaded again : ";
inline constexpr std::string_view kBufferClearedLine =
    "The device changed : the buffer is cleared, there is no work file to load again !";
inline constexpr std::string_view kLoadAgainFailedLine =
    "The device changed : the work file could not be loaded again, the buffer is cleared !";

// What the workbench asks of the program around it. Every call has a harmless default, so the
// command-line tool and the tests implement only what they need.
class WorkbenchHost {
  public:
    virtual ~WorkbenchHost() = default;
    // The program must end. With `closingSaves` the window's closing (history, options, empty
    // buffer) runs first, as when the operator closes it.
    virtual void EndProgram(bool /*closingSaves*/) {}
    virtual void FocusVendorBox(int /*unit*/) {}
    virtual void BringToFront() {}
    // Edit: the hex editor over the buffer file, modal. The editor's OK reaches the workbench
    // through ApplyEditedImage.
    virtual void ShowEditor(std::uint64_t /*deviceSize*/) {}
    // "-b": two tones, 2500 Hz then 5000 Hz, 300 ms each.
    virtual void PlayTones() {}
    // The tab control must show this tab (a fall-back or a return to the last operation tab).
    virtual void SelectTab(int /*tab*/) {}
    // Lists, texts or options shown by the window changed (the board has its own observer).
    virtual void SelectionChanged(int /*unit*/) {}
    virtual void OptionsChanged() {}
    virtual void LabelsChanged() {}
    virtual void PagesBuilt() {}
};

// What the workbench is made with: where its files are, the seams it talks through, the USB layer
// (libusb or the simulated programmer) and the timers the caller drives.
struct WorkbenchSeams {
    Operator& op;
    Pump& pump;
    const Clock& clock;
    Timer& watchTimer;  // WatchFile_Timer, 300 ms: calls WatchTick
    Timer& flashTimer;  // FlashSumEdit_Timer, 130 ms: calls FlashTick
    std::unique_ptr<UsbDevice> usb;
};

class Workbench : public LoadModel,
                  public PremiumModel,
                  public OptionsModel,
                  public InformationModel,
                  private SocketEvents,
                  private WatchHost,
                  private RunContext {
  public:
    Workbench(ProgramDirectory dirs, WorkbenchSeams seams, WorkbenchHost& host);
    ~Workbench() override;
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    // ---- the process-wide state ----
    const ProgramDirectory& Directories() const { return dirs_; }
    InformationLog& Log() override { return log_; }
    Operator& Asker() override { return op_; }
    IndicatorBoard& Board() { return board_; }
    Units& UnitStates() { return units_; }
    const Units& UnitStates() const { return units_; }
    // Unit 1's device work: the library, the selected device, the page values, the link.
    DeviceSession& Session() { return session_; }
    const DeviceSession& Session() const { return session_; }
    Programmer& Link() { return session_.Link(); }
    UsbDevice& Usb() { return session_.Usb(); }
    Timer& WatchTimer() { return watchTimer_; }
    Sequencer& Runs() { return *sequencer_; }
    // The production record every Execute All writes, and its counters.
    ProductionRecorder& Production() { return *recorder_; }

    int ProgrammerCount() const { return session_.ProgrammerCount(); }
    const DeviceRecord& Record() const { return session_.Record(); }
    // The library; null before CheckDeviceLibrary.
    const DeviceLibrary* Library() const { return session_.Library(); }
    const std::vector<std::string>& VendorList() const { return session_.Vendors(); }
    const std::vector<std::string>& TypeList(int unit) const;
    std::string FirmwareVersion() const override { return session_.FirmwareVersion(); }
    const std::string& LibraryDate() const override { return session_.LibraryDate(); }
    std::uint64_t DeviceSize() const override { return session_.Record().deviceSize; }

    const Options& Settings() const override { return options_; }
    const OptionFieldTexts& OptionFields() const override { return optionFields_; }
    const LoadDialogState& LoadDialog() const override { return loadDialog_; }
    const ParameterPages& PremiumPages() const override { return premiumPages_; }

    // Device work is under way (a run, a detection, an enumeration, ...): the window's messages
    // run inside its waits, and whatever they ask that would talk to the programmer is refused or
    // waits until it has ended.
    bool Busy() const;
    // The device work under way, which the window's gate consults.
    const DeviceWork& Work() const { return work_; }

    // Holds the writable folder for this process (the window holds it for its whole life, a
    // command that writes for its run). False, with the reason, when another process holds it.
    bool LockHome(std::string_view holder, std::string* problem);

    // ---- start-up and closing ----
    // FormShow: device library, options, indicators, tab, programmers (with the history of unit
    // 1, socket 1) and the command line. Each step is also callable on its own.
    void StartUp(const std::vector<std::string>& parameters);
    // Identity, date, vendor lists; every unit gets the first vendor and its first type. False
    // when the library is not ours (the program is asked to end).
    bool CheckDeviceLibrary();
    // The saves of closing: history of unit 1 socket 1, options, the buffer emptied. The option
    // fields' leave checks run first (their messages may appear; the close goes on). What could
    // not be saved is told to the operator as well as logged: the log closes with the window.
    void Close();

    // ---- runs ----
    // What the window's buttons and tiles run: plans built from the tab, the step boxes and the
    // socket boxes. Nothing runs on a tab other than Emulator or Programmer.
    // Function_ExecuteAllMouseACTFilter_LabelClick: every checked step of the current tab.
    RunResult ExecuteAll();
    // Function_ReadMouseACTFilter_LabelClick: the chip into the buffer, with its checksum lines.
    RunResult Read();
    // The step tiles (Programmer Erase, Check, Program, Verify, Protect; Emulator Verify, Reset):
    // one operation with its identity check (none for the reset), lamp, verdict and time.
    RunResult SingleStep(Bar bar, Step step);
    // Emulator_ResetMouseACTFilter_LabelClick: a target reset pulse on every checked socket.
    RunResult ResetTile();
    // Function_EditMouseACTFilter_LabelClick: the hex editor over the buffer.
    void Edit();
    // A plan for `bar` with the options' run settings (the verify list, the reset pulse and
    // level, the target board's supply on the Emulator bar), on unit 1 socket 1 whatever its box
    // says, with the identity check; the command line and the benchmarks say what it runs.
    RunPlan PlanWithOptions(Bar bar) const;
    // The window's device work runs on workers: Execute All of unit 1 alone (see
    // RunPlan::onWorker), Read, the single steps and the chip detection.
    void SetRunsOnWorker(bool onWorker) { runsOnWorker_ = onWorker; }
    // A run, or the editor, is under way.
    bool RunUnderWay() const;

    // ---- the command-line tool's start ----
    // The library checked and unit 1's device as History.ini names it, read without re-creating
    // the buffer or resetting Menu.ini (they persist between commands), and the options. With
    // `fallBackToFirst`, a missing selection takes the first type of the first vendor (for the
    // commands that need only some driver image). False, with the reason, when the library is not
    // ours or no device is selected.
    bool OpenForCommand(bool fallBackToFirst, std::string* problem);
    // The selected device's parameter pages from Menu.ini, whether or not a programmer is
    // connected. False when the device has none.
    bool BuildPagesForCommand();

    // ---- device selection ----
    // Vendor change of a unit: its type list (error lines told in one message), the first type
    // selected and its type change.
    void VendorChanged(int unit, std::string_view vendor);
    // Type change of a unit: the device file, the record, the buffer re-created erased, Menu.ini
    // reset to the device's defaults, the unit's socket fields cleared. A device without a sane
    // size, or whose buffer or Menu.ini cannot be written, is refused with the reason and nothing
    // changes (the unit keeps its previous type); other faults of the record are logged, and each
    // operation refuses the device.
    bool TypeChanged(int unit, std::string_view type);
    // Selects a vendor and type by name (any letter case), as applying a detection does. False
    // when the library has no such type.
    bool SelectDevice(int unit, std::string_view vendor, std::string_view type);
    // With several programmers the units work as a gang: units 2 to 4 program unit 1's device and
    // buffer, and their vendor, type and socket 1 fields show unit 1's (not editable).
    bool MirrorsUnit1(int unit) const { return unit > 1 && ProgrammerCount() >= 2; }
    // The unit's order button: yellow lamp, identification request, gray lamp, socket 1 enabled.
    void OrderButton(int unit);
    // Detect IC: finds the chip's device, applies it to unit 1 and logs the found or not-found
    // line with its time; unit 1's socket 1 is enabled exactly when one was found.
    void DetectIc();
    // The detection of Detect IC, the identity question's Yes and the history restore: timed,
    // with its found or not-found line. A library device that cannot be selected (refused for its
    // size, or its buffer or Menu.ini cannot be written) counts as no match, with the reason
    // logged, and the search goes on.
    DetectionResult DetectForUnit1(bool targetBoardSupply);
    // Applies a found device to unit 1 keeping the operator's image: nothing changes when it is
    // the selected device; otherwise it is selected and socket 1's work file is loaded again with
    // the socket's saved load settings, or, with no file to load ("< Data from buffer >", a load
    // that fails), the log says the buffer was cleared.
    AppliedDevice ApplyDetectedDevice(const DetectionResult& found);

    // ---- programmers ----
    // Finds the programmer, loads the selected device's image, sets the unit mode and the reset
    // level, lays the window out (restoring the history of unit 1 when asked) and reads the
    // firmware version. A missing driver image ends the program, as it says.
    void EnumerateProgrammers(bool restoreHistory);
    // Arrival and removal events queued by the USB layer are delivered (the window calls this from
    // a short timer).
    void ProcessUsbEvents();

    // ---- history ----
    void RestoreSocketHistory(int unit, int socket);

    // ---- tabs ----
    int TabIndex() const { return tabIndex_; }
    // Showing a tab: the panels, the step boxes, the Premium pages or the fall-back to the last
    // operation tab, the layout. Returns the tab shown (the fall-back's, for Premium without
    // pages).
    int ShowTab(int tab);
    // Leave and show in one: what a click on a tab does. Returns the tab shown.
    int ChangeTab(int tab);
    // Premium OK (save and back) and Cancel (back without saving), and the operator's changes to
    // the pages' components.
    void PremiumOk() override;
    void PremiumCancel() override;
    void SetPageChecked(int page, int component, bool checked) override;
    void SetPageChoice(int page, int component, int choice) override;
    void SetPageText(int page, int component, std::string text) override;

    // ---- sockets and files ----
    // Enable box, work-file field, offset field, as the operator changes them.
    void SetSocketEnabled(int unit, int socket, bool checked);
    void SetOffsetText(int unit, int socket, std::string_view text);
    // A file named on the command line, handed over or dropped on unit 1: unit 1 socket 1's work
    // file, the watch started, the file loaded with the load dialog's current settings. Nothing
    // when the file is in the buffer, else why it is not (what the operator was told).
    std::optional<std::string> LoadIntoUnit1(const std::filesystem::path& file);
    // A file dropped on a socket's panel, or on a unit's panel outside its sockets (socket 0).
    // Unit 1 (its panel or socket 1) loads it; another socket takes it as its work file.
    void Drop(int unit, int socket, const std::filesystem::path& file);
    // Browse: prepares the load dialog for a chosen file and a socket. The dialog's OK then calls
    // LoadFromDialog; its Cancel calls nothing.
    void PrepareLoad(int unit, int socket, const std::filesystem::path& file) override;
    bool ChooseFileToLoad(const std::filesystem::path& chosen) override;
    void ChooseLoadFormat(LoadFormat format) override;
    void SetLoadFieldText(LoadField field, std::string text) override;
    void SetFillUnused(bool fill) override;
    LoadOutcome LoadFromDialog(ProgressSink* progress = nullptr) override;
    // A load prepared by PrepareLoad run with the caller's settings instead of the dialog's
    // (the command-line tool's load).
    LoadOutcome LoadWithSettings(const LoadSettings& settings, ProgressSink* progress = nullptr);
    // Where an unattended load of a long file shows its progress (the window's progress window);
    // none by default. Every load counts as device work: no watch tick or drop starts another
    // load while the progress lets the window process its messages.
    void SetLoadProgress(ProgressSink* progress) { loadProgress_ = progress; }
    // The hex editor's OK after a change: unit 1 socket 1 shows "< Data from buffer >", the sum and
    // offset 00000000, and is enabled.
    void ApplyEditedImage(const std::string& checksumText);

    // ---- the step check boxes ----
    // A step box's state comes from its option flag; the Load File boxes and the Emulator Erase
    // and Program boxes are always checked and cannot be changed.
    bool StepChecked(Bar bar, Step step) const;
    bool StepChangeable(Bar bar, Step step) const;
    void SetStepChecked(Bar bar, Step step, bool checked);
    // The line limit's timer runs while its box is checked and the Options tab is not shown.
    bool InfoMessageLimitTimerWanted() const override;
    // One tick of the line limit (the window's 500 ms timer). `unsaved` says what becomes of the
    // oldest lines when they cannot be saved to the log file: the window keeps them, the
    // command line, which has printed every line already, lets them go.
    void InfoMessageLimitTick(UnsavedLines unsaved = UnsavedLines::Keep) override;
    // The information window shown separately hides the docked panel.
    void SetInformationWindowShown(bool shown) override;

    // ---- emulator and options ----
    void WatchCheckBoxChanged(bool checked);
    WatchTickResult WatchTick();
    // A tick as the command-line watch has it: as if the Emulator tab were shown with "Watch",
    // the automatic reload and the automatic procedure checked; the procedure runs `plan`.
    WatchTickResult WatchTick(const RunPlan& plan);
    void FlashTick() { units_.FlashTick(); }
    // The operator changed options (the Options tab, the target-board box): they apply at once,
    // and the section "Option" of History.ini is written when anything changed, so a crash keeps
    // them. The step boxes are not options that are written (their keys are the installation's
    // defaults); nor are the command-line tool's settings of a run (SetRunOptions).
    void EditOptions(const std::function<void(Options&)>& change) override;
    // The command-line tool's settings: they apply to this process and are not written to
    // History.ini.
    void SetRunOptions(const std::function<void(Options&)>& change);
    // "Normal Low" / "Normal High" chosen: the new idle level is sent at once.
    void ResetLevelChanged(bool normalHigh) override;
    // A numeric option field as typed, and its leave check; false when it had to correct the
    // value (the field takes the focus back). A new value is written to History.ini as
    // EditOptions does.
    void SetOptionFieldText(OptionField field, std::string text) override;
    bool LeaveOptionField(OptionField field) override;

    // ---- the command line ----
    void ProcessCommandLine(const std::vector<std::string>& parameters);
    void ProcessHandedOver(std::string_view text);

    // The working values of the parameter pages (Menu.ini) as the operations use them.
    PageValues CurrentPageValues() const { return session_.Values(); }
    void StorePageValues(const PageValues& values) { session_.StoreValues(values); }
    // One component of the built pages set from a value as its control would take it, and the
    // pages' values stored. The reason when the value is refused (nothing changes then).
    std::optional<std::string> StorePageValue(int page, int component, std::string_view value);

  private:
    // ---- used inside the workbench only ----
    void LoadOptions();
    // A USB arrival or removal; re-enumerates when the notifications say so (after the run, when
    // one is under way).
    void UsbChanged(UsbChange change);
    // What was decided while a run was under way.
    void RunDeferredDeviceChanges();
    // False, logged and with the reason in `problem` (when given), when it could not be written.
    bool SaveSocketHistory(int unit, int socket, std::string* problem = nullptr);
    // Leaving the current tab: on Options the three fields' leave checks (refused when one holds
    // a value it had to correct), then the Premium values saved when pages were built. False
    // refuses the change.
    bool LeaveTab();
    void Layout(bool restoreHistory);
    // The unattended load of a socket's work file.
    LoadOutcome LoadForSocket(int unit, int socket, bool useSaved);
    // A Read's result in unit 1 socket 1.
    void ShowDataFromBuffer(const std::string& checksumText);
    // The emulator is powered by the target board: the Emulator tab is shown and its box checked.
    bool TargetBoardSuppliesEmulator() const;
    bool LeaveOptionFields();
    // The numeric option values as the operations use them.
    VerifyListing VerifyListingOption() const;
    std::uint16_t ResetPulseMs() const;

    // SocketEvents
    void WorkFileChanged(int unit, int socket, bool watchedFileSet) override;
    void FieldsChanged(int unit, int socket) override;
    // The window redraws the unit's selection; a change of unit 1 reaches the gang first.
    void ShowSelection(int unit);
    void MirrorGang();
    // WatchHost
    void BringToFront() override { host_.BringToFront(); }
    std::optional<std::string> ReloadWorkFile() override;
    void ShowLastOperationTab() override;
    void ProcessPendingMessages() override { pump_.ProcessPendingMessages(); }
    void RunWatchProcedure() override;
    // RunContext
    DeviceAtYes ApplyChipDevice(bool targetBoardSupply) override;
    void CheckFirstSocket() override;
    void VerifyPassed(int socketIndex) override;
    void ReadIntoBuffer(const std::string& checksumText) override;
    void PageValuesRead(const PageValues& values) override;
    void RunEnded(const RunResult& result) override;
    // The plan of a window's click: the tab's bar with its checked steps, the socket boxes.
    RunPlan WindowPlan(RunKind kind, Bar bar) const;
    bool OperationTabShown() const;
    WatchTickResult WatchTickWith(const WatchTickContext& context, const RunPlan* plan);

    void ApplyLoadOutcome(const LoadOutcome& outcome);
    // Loads `file` into a socket; the socket's fields take it only once it is in the buffer. The
    // load's messages go to `asker` when given, else to the operator.
    LoadOutcome LoadFile(int unit, int socket, const std::filesystem::path& file, bool useSaved,
                         Operator* asker = nullptr);
    // Unit 1 socket 1's work file loaded unattended: nothing when it is in the buffer, else why
    // not.
    std::optional<std::string> LoadWorkFileOfUnit1(const std::filesystem::path& file);
    // The names a device file without BRAND or NAME gives its record: unit 1's remembered device.
    DeviceName RecordDefaults() const;
    AppliedDevice LoadAgainForNewDevice(const std::string& workFile);
    void EndProgram(bool closingSaves);
    // The docked information panel: shown on the operation tabs unless the log is in its own
    // window.
    void ShowDockedLog();
    // The leave rule applied to a field and its option value, without writing anything.
    bool ApplyOptionField(std::string& text, const NumericFieldRule& rule);
    // The component a Premium control changes; null when the pages no longer have it.
    PageComponent* PremiumComponent(int page, int component);
    // Writes the options when they differ from `before`. A failure is logged each time and told
    // once, until a write succeeds again.
    void StoreOptionsChangedFrom(const Options& before);
    // A type change in two halves: everything the new device needs (record, buffer, Menu.ini)
    // made ready beside the old files, then put in place together and shown in the unit.
    // PrepareDevice changes nothing; null refuses the device, with the reason (empty when the
    // operator was told already).
    std::unique_ptr<StagedDevice> PrepareDevice(std::string_view vendor, std::string_view type,
                                                std::string& refusal);
    // What staging noticed: a missing device file ends the program, a wrong library focuses the
    // vendor box.
    void ActOnStageNotes(const StageNotes& notes);
    bool CommitDevice(int unit, StagedDevice& device, std::string& refusal);
    void ClearSocketFields(int unit);
    // The restore with the watch timer paused; true when it put a work file into the socket.
    bool RestoreSocketHistoryPaused(int unit, int socket);
    LoadEnvironment Environment(ProgressSink* progress, Operator* asker = nullptr);
    void ActOnDeviceChange(ReEnumeration decision);

    ProgramDirectory dirs_;
    Operator& op_;
    Pump& pump_;
    const Clock& clock_;
    WorkbenchHost& host_;
    Timer& watchTimer_;
    std::optional<HomeLock> homeLock_;

    InformationLog log_;
    Options options_;
    OptionFieldTexts optionFields_;
    DeviceSession session_;
    std::array<std::vector<std::string>, kUnitCount> typeLists_;
    bool runsOnWorker_ = false;

    IndicatorBoard board_;
    Units units_;
    EmulatorWatch watch_;
    DeviceChangeTracker deviceChanges_;
    CommandLine commandLine_;
    LoadDialogState loadDialog_;
    ParameterPages premiumPages_;
    bool premiumPagesChanged_ = false;
    bool informationWindowShown_ = false;
    bool optionsWriteFailureTold_ = false;
    int tabIndex_ = kProgrammerTabIndex;
    int lastOperationTab_ = kProgrammerTabIndex;

    DeviceWork work_;
    std::unique_ptr<Sequencer> sequencer_;
    std::unique_ptr<ProductionRecorder> recorder_;
    bool editing_ = false;
    const RunPlan* watchPlan_ = nullptr;  // the command-line watch's procedure during its tick
    ProgressSink* loadProgress_ = nullptr;
    // Unit 1's device is this session's own (the history restored, a detection applied, the
    // operator's choice). Until then the boxes hold the library's first device only as a
    // placeholder: History.ini is not rewritten from it, and the first restore takes the history
    // (unless the operator has loaded a file meanwhile).
    bool unit1Chosen_ = false;
    bool endRequested_ = false;
};

}  // namespace torq
