// The process-wide state of the program and the behaviour of the main window without a toolkit:
// the device library and the selected device, the options and the information log, the
// programmer link, the four units with their sockets, the indicator board, the tabs, the
// emulator's file watch, the command line, device changes, start-up and closing. The window and
// the command-line tool each hold one Workbench and call it; the window only renders its state.
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
#include "torq/workflow/DeviceWork.h"
#include "torq/workflow/EmulatorWatch.h"
#include "torq/workflow/IndicatorBoard.h"
#include "torq/workflow/RunPlan.h"
#include "torq/workflow/Timer.h"
#include "torq/workflow/Units.h"

namespace torq {

class Sequencer;

inline constexpr std::string_view kApplicationTitle = "TORQ-SPI";
inline constexpr int kProgrammerTabIndex = 1;
inline constexpr int kPremiumTabIndex = 2;
inline constexpr int kOptionsTabIndex = 3;
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
// "The detected device Winbond -> W25X40 cannot be selected : " + the reason.
std::string DetectedDeviceRefusedLine(std::string_view vendor, std::string_view type,
                                      std::string_view reason);

// "TORQ-SPI Ver. 1.4.9": major.minor, and .release when it is not 0.
std::string VersionText(int major, int minor, int release);
// The same from a dotted version ("1.4.9.0", the CMake project version "0.1.0"); the build
// number is ignored, missing parts read as 0.
std::string VersionText(std::string_view dotted);

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

// The three numeric fields of the Options tab as the operator typed them.
struct OptionFieldTexts {
    std::string verifyErrorsList = "100";
    std::string resetTime = "500";
    std::string infoMessageLimit = "5000";
};

class Workbench : private SocketEvents, private WatchHost, private RunContext {
  public:
    Workbench(ProgramDirectory dirs, WorkbenchSeams seams, WorkbenchHost& host);
    ~Workbench() override;
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    // ---- the process-wide state ----
    const ProgramDirectory& Directories() const { return dirs_; }
    InformationLog& Log() { return log_; }
    Operator& Asker() { return op_; }
    IndicatorBoard& Board() { return board_; }
    Units& UnitStates() { return units_; }
    const Units& UnitStates() const { return units_; }
    Programmer& Link() { return *programmer_; }
    UsbDevice& Usb() { return *usb_; }
    Timer& WatchTimer() { return watchTimer_; }
    Sequencer& Runs() { return *sequencer_; }

    int ProgrammerCount() const { return programmer_->ProgrammerCount(); }
    const DeviceRecord& Record() const { return record_; }
    // The checked library; null before CheckDeviceLibrary or when Select.ini is not ours.
    const DeviceLibrary* Library() const { return library_ ? &*library_ : nullptr; }
    const std::vector<std::string>& VendorList() const { return vendorList_; }
    const std::vector<std::string>& TypeList(int unit) const;
    std::string FirmwareVersion() const { return programmer_->FirmwareVersion(); }
    const std::string& LibraryDate() const { return libraryDate_; }

    Options& Settings() { return options_; }
    const Options& Settings() const { return options_; }
    OptionFieldTexts& OptionFields() { return optionFields_; }
    LoadDialogState& LoadDialog() { return loadDialog_; }
    ParameterPages& PremiumPages() { return premiumPages_; }

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
    // A run, or the editor, is under way.
    bool RunUnderWay() const;

    // ---- the command-line tool's start ----
    // The library checked and unit 1's device as History.ini names it, read without re-creating
    // the buffer or resetting Menu.ini (they persist between commands), and the options. With
    // `fallBackToFirst`, a missing selection takes the first type of the first vendor (for the
    // commands that need only some driver image). False, with the reason, when the library is not
    // ours or no device is selected.
    bool OpenForCommand(bool fallBackToFirst, std::string* problem);
    // Selects a type for unit 1 as choosing it does (buffer re-created, Menu.ini reset) and
    // remembers it in History.ini. Names match without regard to case. The three files are
    // replaced together once each could be written: a select that fails changes none of them.
    bool SelectForCommand(std::string_view vendor, std::string_view type, std::string* problem);
    // Read ID: opens the programmer with the device's image and checks the chip.
    bool ReadChipId();
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
    // The search alone (no selection is changed): the result and its log line.
    DetectionResult DetectAndLog();

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
    // Premium OK (save and back) and Cancel (back without saving).
    void PremiumOk();
    void PremiumCancel();

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
    void PrepareLoad(int unit, int socket, const std::filesystem::path& file);
    LoadOutcome LoadFromDialog(ProgressSink* progress = nullptr);
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
    bool InfoMessageLimitTimerWanted() const;
    // One tick of the line limit (the window's 500 ms timer). `unsaved` says what becomes of the
    // oldest lines when they cannot be saved to the log file: the window keeps them, the
    // command line, which has printed every line already, lets them go.
    void InfoMessageLimitTick(UnsavedLines unsaved = UnsavedLines::Keep);
    // The information window shown separately hides the docked panel.
    void SetInformationWindowShown(bool shown);

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
    // defaults); nor are the command-line tool's settings of a run, which change Settings()
    // directly.
    void EditOptions(const std::function<void(Options&)>& change);
    // "Normal Low" / "Normal High" chosen: the new idle level is sent at once.
    void ResetLevelChanged(bool normalHigh);
    // The leave check of one numeric option field; false when it had to correct the value (the
    // field takes the focus back). A new value is written to History.ini as EditOptions does.
    bool LeaveOptionField(std::string& text, const NumericFieldRule& rule);

    // ---- the command line ----
    void ProcessCommandLine(const std::vector<std::string>& parameters);
    void ProcessHandedOver(std::string_view text);

    // The working values of the parameter pages (Menu.ini) as the operations use them.
    PageValues CurrentPageValues() const;
    void StorePageValues(const PageValues& values);

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
    bool IsUnit1Device(std::string_view vendor, std::string_view type) const;
    // The detection filter: a device that is not unit 1's is made ready (kept for the apply).
    bool AcceptDetected(const std::string& vendor, const std::string& type);
    AppliedDevice LoadAgainForNewDevice(const std::string& workFile);
    void EndProgram(bool closingSaves);
    // The docked information panel: shown on the operation tabs unless the log is in its own
    // window.
    void ShowDockedLog();
    // The leave rule applied to a field and its option value, without writing anything.
    bool ApplyOptionField(std::string& text, const NumericFieldRule& rule);
    // Writes the options when they differ from `before`. A failure is logged each time and told
    // once, until a write succeeds again.
    void StoreOptionsChangedFrom(const Options& before);
    // A type change in two halves: everything the new device needs (record, buffer, Menu.ini)
    // made ready beside the old files, then put in place together. PrepareDevice changes nothing;
    // false refuses the device, with the reason (empty when the operator was told already).
    struct PreparedDevice;
    bool PrepareDevice(std::string_view vendor, std::string_view type, PreparedDevice& device,
                       std::string& refusal);
    bool CommitDevice(int unit, PreparedDevice& device, std::string& refusal);
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
    std::optional<DeviceLibrary> library_;
    std::string libraryDate_ = "None";
    std::vector<std::string> vendorList_;
    std::array<std::vector<std::string>, kUnitCount> typeLists_;
    DeviceRecord record_;

    std::unique_ptr<UsbDevice> usb_;
    std::unique_ptr<Programmer> programmer_;
    std::unique_ptr<DeviceOperations> operations_;

    IndicatorBoard board_;
    Units units_;
    EmulatorWatch watch_;
    DeviceChangeTracker deviceChanges_;
    CommandLine commandLine_;
    LoadDialogState loadDialog_;
    ParameterPages premiumPages_;
    bool premiumPagesChanged_ = false;
    PageValues pageValues_;  // Menu.ini as the operations use it
    bool informationWindowShown_ = false;
    bool optionsWriteFailureTold_ = false;
    int tabIndex_ = kProgrammerTabIndex;
    int lastOperationTab_ = kProgrammerTabIndex;

    DeviceWork work_;
    std::unique_ptr<Sequencer> sequencer_;
    bool editing_ = false;
    const RunPlan* watchPlan_ = nullptr;  // the command-line watch's procedure during its tick
    ProgressSink* loadProgress_ = nullptr;
    // The device the last detection made ready for unit 1.
    std::unique_ptr<PreparedDevice> detectedDevice_;
    // Unit 1's device is this session's own (the history restored, a detection applied, the
    // operator's choice). Until then the boxes hold the library's first device only as a
    // placeholder: History.ini is not rewritten from it, and the first restore takes the history
    // (unless the operator has loaded a file meanwhile).
    bool unit1Chosen_ = false;
    bool endRequested_ = false;
};

}  // namespace torq
