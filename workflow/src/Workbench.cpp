#include "torq/workflow/Workbench.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

#include "torq/buffer/BufferFile.h"
#include "torq/devlib/Ini.h"
#include "torq/devlib/RegularFile.h"
#include "torq/devlib/Text.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/SocketHistory.h"
#include "torq/workflow/Tabs.h"
#include "torq/workflow/WindowRules.h"

namespace torq {

namespace fs = std::filesystem;

namespace {

bool ListHas(const std::vector<std::string>& items, std::string_view text) {
    return std::find(items.begin(), items.end(), text) != items.end();
}

// The decimal value of an option field's text, or the fallback when it is not a whole number.
int FieldInteger(std::string_view text, int fallback) {
    const auto value = ParseIniInteger(text);
    return value ? *value : fallback;
}

}  // namespace

Workbench::Workbench(ProgramDirectory dirs, WorkbenchSeams seams, WorkbenchHost& host)
    : dirs_(std::move(dirs)),
      op_(seams.op),
      pump_(seams.pump),
      clock_(seams.clock),
      host_(host),
      watchTimer_(seams.watchTimer),
      log_(seams.clock),
      session_(dirs_,
               DeviceSessionSeams{log_, seams.op, seams.pump, seams.clock, std::move(seams.usb)}),
      board_(seams.op),
      units_(board_, seams.flashTimer),
      watch_(units_.Saved(), seams.watchTimer, board_, seams.op, log_, *this),
      commandLine_(dirs_.DataFolder(), "torq-spi", log_) {
    units_.SetEvents(this);
    // Everything a run works with, in one place.
    sequencer_ = std::make_unique<Sequencer>(
        RunServices{log_, op_, clock_, board_, units_, session_, watchTimer_, work_},
        static_cast<RunContext&>(*this));
    recorder_ = std::make_unique<ProductionRecorder>(
        dirs_.DataFolder() / kProductionDatabaseName, clock_, log_,
        [this] {
            RecordBasis basis;
            basis.vendor = units_.Unit(1).vendor;
            basis.type = units_.Unit(1).type;
            basis.workFile = units_.Socket(1, 1).workFile;
            const std::string& checksum = units_.Socket(1, 1).checksumText;
            if (!basis.workFile.empty()) {
                basis.fileChecksum = "0x" + checksum;
            } else {
                // No work file (the command line keeps no work-file field): the image is the
                // buffer's.
                const std::filesystem::path buffer = dirs_.BufferFile();
                const std::uint64_t length = BufferFile(buffer).Length().value_or(0);
                const auto sum =
                    length > 0 ? Checksum(buffer, length - 1, kErasedByte) : std::nullopt;
                if (sum)
                    basis.fileChecksum = "0x" + ChecksumText(*sum);
            }
            return basis;
        },
        [this] { return options_; });
    sequencer_->SetRecorder(recorder_.get());
    session_.Usb().SetChangeHandler([this](UsbChange change) { UsbChanged(change); });
}

Workbench::~Workbench() {
    session_.Usb().SetChangeHandler({});
}

const std::vector<std::string>& Workbench::TypeList(int unit) const {
    return typeLists_[static_cast<std::size_t>(std::clamp(unit, 1, kUnitCount) - 1)];
}

bool Workbench::LockHome(std::string_view holder, std::string* problem) {
    if (homeLock_)
        return true;
    homeLock_ = HomeLock::Acquire(dirs_, holder, problem);
    return homeLock_.has_value();
}

bool Workbench::Busy() const {
    return work_.Busy();
}

bool Workbench::RunUnderWay() const {
    return sequencer_->Busy() || editing_;
}

// ---- runs ----

bool Workbench::OperationTabShown() const {
    return tabIndex_ == kEmulatorTabIndex || tabIndex_ == kProgrammerTabIndex;
}

RunPlan Workbench::PlanWithOptions(Bar bar) const {
    RunPlan plan;
    plan.bar = bar;
    plan.socketsFromBoxes = false;
    plan.sockets = {0};
    plan.targetBoardSupply = bar == Bar::Emulator && options_.userTargetBoard;
    plan.verifyListing = VerifyListingOption();
    plan.resetPulseMs = ResetPulseMs();
    plan.resetIdleLevel = options_.ResetIdleLevel();
    return plan;
}

RunPlan Workbench::WindowPlan(RunKind kind, Bar bar) const {
    RunPlan plan = PlanWithOptions(bar);
    plan.kind = kind;
    plan.socketsFromBoxes = true;
    plan.sockets.clear();
    plan.onWorker = runsOnWorker_;
    plan.targetBoardSupply = TargetBoardSuppliesEmulator();
    for (const StepRow& row : StepRowsOf(bar)) {
        if (StepChecked(bar, row.step))
            plan.steps.push_back(row.step);
    }
    return plan;
}

RunResult Workbench::ExecuteAll() {
    if (!OperationTabShown())
        return {};
    const Bar bar = tabIndex_ == kEmulatorTabIndex ? Bar::Emulator : Bar::Programmer;
    return sequencer_->Run(WindowPlan(RunKind::Steps, bar));
}

RunResult Workbench::Read() {
    if (!OperationTabShown())
        return {};
    const Bar bar = tabIndex_ == kEmulatorTabIndex ? Bar::Emulator : Bar::Programmer;
    return sequencer_->Run(WindowPlan(RunKind::Read, bar));
}

RunResult Workbench::SingleStep(Bar bar, Step step) {
    const auto operation = TileOperation(bar, step);
    if (!operation)
        return {};  // the Watch, Load File, Erase and Program tiles of the Emulator bar do nothing
    RunPlan plan = WindowPlan(RunKind::Single, bar);
    plan.operation = *operation;
    plan.tile = step;
    return sequencer_->Run(plan);
}

RunResult Workbench::ResetTile() {
    return SingleStep(Bar::Emulator, Step::Reset);
}

void Workbench::Edit() {
    if (Busy() || ProgrammerCount() == 0 || !OperationTabShown())
        return;
    // Afterwards the watch runs exactly when "Watch" is checked, whatever the timer did before.
    const bool watchChecked = options_.emulatorWatch;
    watchTimer_.Stop();
    {
        const DeviceWork::Guard work(work_);
        editing_ = true;
        host_.ShowEditor(session_.Record().deviceSize);
        editing_ = false;
    }
    watchTimer_.SetEnabled(watchChecked);
    RunDeferredDeviceChanges();
}

DeviceAtYes Workbench::ApplyChipDevice(bool targetBoardSupply) {
    const DetectionResult result = DetectForUnit1(targetBoardSupply);
    if (!result.found)
        return DeviceAtYes::NotApplied;
    switch (ApplyDetectedDevice(result)) {
        case AppliedDevice::Refused:
            return DeviceAtYes::NotApplied;
        case AppliedDevice::Cleared:
            return DeviceAtYes::ImageLost;
        case AppliedDevice::Unchanged:
        case AppliedDevice::Reloaded:
            break;
    }
    return DeviceAtYes::ImageKept;
}

void Workbench::CheckFirstSocket() {
    units_.SetEnabled(1, 1, true);
}

void Workbench::VerifyPassed(int socketIndex) {
    const SocketPosition at = SocketAtIndex(socketIndex);
    units_.ClearChecksumWarning(at.unit, at.socket);
}

void Workbench::ReadIntoBuffer(const std::string& checksumText) {
    ShowDataFromBuffer(checksumText);
}

void Workbench::PageValuesRead(const PageValues& values) {
    StorePageValues(values);
}

void Workbench::RunEnded(const RunResult& result) {
    if (sequencer_->LastRunKind() == RunKind::Steps)
        recorder_->Count(result);
    // The device changes and USB events that arrived during the run.
    RunDeferredDeviceChanges();
    ProcessUsbEvents();
}

// ---- start-up and closing ----

void Workbench::StartUp(const std::vector<std::string>& parameters) {
    lastOperationTab_ = tabIndex_ == kEmulatorTabIndex ? kEmulatorTabIndex : kProgrammerTabIndex;
    premiumPagesChanged_ = false;
    if (!CheckDeviceLibrary())
        return;
    LoadOptions();
    board_.ResetIndicators(false, ProgrammerCount());
    ShowTab(tabIndex_);
    // A program that was asked to end (a device file or driver image missing) does no more work.
    if (endRequested_)
        return;
    EnumerateProgrammers(true);
    if (endRequested_)
        return;
    ProcessCommandLine(parameters);
}

void Workbench::EndProgram(bool closingSaves) {
    endRequested_ = true;
    host_.EndProgram(closingSaves);
}

bool Workbench::CheckDeviceLibrary() {
    std::vector<std::string> vendorErrors;
    const bool ours = session_.OpenLibrary(&vendorErrors);
    host_.LabelsChanged();
    if (!ours) {
        // Nothing else can work with a library that is not ours: the program ends here rather
        // than going on to fail on every device file.
        op_.Tell(Severity::Error, kLibraryIncorrectMessage);
        EndProgram(false);
        return false;
    }
    const auto& vendors = session_.Vendors();
    const std::string first = vendors.empty() ? std::string() : vendors.front();
    for (int unit = 1; unit <= kUnitCount; ++unit)
        VendorChanged(unit, first);
    unit1Chosen_ = false;  // a placeholder until the history, a detection or the operator decides
    if (!vendorErrors.empty())
        op_.Tell(Severity::Plain, JoinLines(vendorErrors));
    return true;
}

void Workbench::LoadOptions() {
    options_ = torq::LoadOptions(dirs_.HistoryIni(), log_);
    optionFields_.verifyErrorsList = std::to_string(options_.verifyErrorsListLimit);
    optionFields_.resetTime = std::to_string(options_.resetTimeMs);
    optionFields_.infoMessageLimit = std::to_string(options_.infoMessageLimit);
    host_.OptionsChanged();
}

void Workbench::Close() {
    // The fields' leave checks correct what they must; the close goes on whatever they say.
    ApplyOptionField(optionFields_.resetTime, kResetTimeField);
    ApplyOptionField(optionFields_.verifyErrorsList, kVerifyErrorsField);
    ApplyOptionField(optionFields_.infoMessageLimit, kInfoMessageLimitField);
    const std::string history = dirs_.HistoryIni().string();
    std::string unsaved;
    std::string why;
    // A start that never chose a device (its driver image missing, no programmer found) leaves
    // the device history as the last session wrote it.
    if (unit1Chosen_ && !SaveSocketHistory(1, 1, &why))
        unsaved +=
            "The history of unit 1, socket 1 could not be saved to " + history + ": " + why + "\n";
    if (!SaveOptions(dirs_.HistoryIni(), options_, &why)) {
        log_.WriteInfoLine("Error : The options could not be saved to " + history);
        unsaved += "The options could not be saved to " + history + ": " + why + "\n";
    }
    if (!EmptyBuffer(BufferFile::In(dirs_)))
        log_.WriteInfoLine(BufferFileErrorLine(dirs_.BufferFile(), BufferAccess::Write));
    // The log goes with the window: what was not saved is told where the operator sees it.
    if (!unsaved.empty())
        op_.Tell(Severity::Error, unsaved + "The next start uses what the file held before.");
}

// ---- the command-line tool's start ----

bool Workbench::OpenForCommand(bool fallBackToFirst, std::string* problem) {
    if (!session_.OpenLibrary()) {
        if (problem != nullptr)
            *problem =
                std::string(kLibraryIncorrectMessage) + " (" + dirs_.SelectIni().string() + ")";
        return false;
    }
    LoadOptions();
    if (!session_.OpenRemembered(fallBackToFirst, problem))
        return false;
    typeLists_[0] = session_.Library()->TypesOf(session_.Vendor()).names;
    units_.SetVendorText(1, session_.Vendor());
    units_.SetTypeText(1, session_.Type());
    units_.Saved().vendor = session_.Vendor();
    units_.Saved().type = session_.Type();
    units_.Saved().deviceFile = session_.DeviceFile().string();
    return true;
}

bool Workbench::BuildPagesForCommand() {
    const DeviceRecord& record = session_.Record();
    if (record.protMode == 0 || !io::IsRegularFile(record.menuFilePath))
        return false;
    premiumPages_ = BuildParameterPages(record.menuFilePath, session_.Values());
    return true;
}

// ---- device selection ----

void Workbench::VendorChanged(int unit, std::string_view vendor) {
    if (unit < 1 || unit > kUnitCount || session_.Library() == nullptr || MirrorsUnit1(unit))
        return;
    const UnitState before = units_.Unit(unit);
    const std::vector<std::string> typesBefore = TypeList(unit);
    units_.SetVendorText(unit, std::string(vendor));
    NameList types = session_.Library()->TypesOf(vendor);
    typeLists_[static_cast<std::size_t>(unit - 1)] = std::move(types.names);
    const auto& list = TypeList(unit);
    units_.SetTypeText(unit, list.empty() ? std::string() : list.front());
    ShowSelection(unit);
    if (!types.errors.empty())
        op_.Tell(Severity::Plain, JoinLines(types.errors));
    if (TypeChanged(unit, list.empty() ? std::string_view() : std::string_view(list.front())))
        return;
    // The boxes show the device that is loaded: a vendor whose first type is refused puts them
    // back.
    units_.SetVendorText(unit, before.vendor);
    typeLists_[static_cast<std::size_t>(unit - 1)] = typesBefore;
    units_.SetTypeText(unit, before.type);
    ShowSelection(unit);
}

DeviceName Workbench::RecordDefaults() const {
    return DeviceName{units_.Saved().vendor, units_.Saved().type};
}

void Workbench::ActOnStageNotes(const StageNotes& notes) {
    if (notes.libraryWrong)
        host_.FocusVendorBox(1);
    if (notes.deviceFileMissing)
        EndProgram(true);
}

std::unique_ptr<StagedDevice> Workbench::PrepareDevice(std::string_view vendor,
                                                       std::string_view type,
                                                       std::string& refusal) {
    StageNotes notes;
    auto device = session_.Stage(vendor, type, RecordDefaults(), refusal, &notes);
    ActOnStageNotes(notes);
    return device;
}

bool Workbench::CommitDevice(int unit, StagedDevice& device, std::string& refusal) {
    if (!session_.Commit(device, refusal))
        return false;
    units_.SetTypeText(unit, device.Type());
    if (unit == 1)
        units_.Saved().deviceFile = device.DeviceFile().string();
    ClearSocketFields(unit);
    ShowSelection(unit);
    return true;
}

bool Workbench::TypeChanged(int unit, std::string_view type) {
    if (unit < 1 || unit > kUnitCount || session_.Library() == nullptr || MirrorsUnit1(unit))
        return false;
    // A device that cannot be made ready leaves the previous device, its buffer and Menu.ini as
    // they were (the unit keeps its previous type).
    std::string refusal;
    const auto device = PrepareDevice(units_.Unit(unit).vendor, type, refusal);
    if (!device || !CommitDevice(unit, *device, refusal)) {
        if (!refusal.empty()) {
            op_.Tell(Severity::Warning,
                     "The device " + std::string(type) + " cannot be selected: " + refusal);
            ShowSelection(unit);
        }
        return false;
    }
    if (unit == 1)
        unit1Chosen_ = true;
    return true;
}

void Workbench::ClearSocketFields(int unit) {
    for (int socket = 1; socket <= kSocketsPerUnit; ++socket) {
        if (unit >= 3)
            units_.SetEnabled(unit, socket, false);
        units_.SetWorkFile(unit, socket, "");
        units_.SetChecksumText(unit, socket, std::string(kZeroAddressText));
        units_.SetOffsetText(unit, socket, kZeroAddressText, Record().deviceSize);
    }
}

bool Workbench::SelectDevice(int unit, std::string_view vendor, std::string_view type) {
    const DeviceLibrary* library = session_.Library();
    const auto vendorItem = library != nullptr ? library->VendorNamed(vendor) : std::nullopt;
    if (!vendorItem)
        return false;
    VendorChanged(unit, *vendorItem);
    const auto typeItem = library->TypeNamed(*vendorItem, type);
    if (!typeItem)
        return false;
    return TypeChanged(unit, *typeItem);
}

void Workbench::OrderButton(int unit) {
    if (Busy() || ProgrammerCount() == 0 || unit < 1 || unit > kUnitCount)
        return;
    // Another unit's request goes to that unit's programmer, and unit 1's stays the one open;
    // a unit without a programmer has nothing to send it to.
    if (unit > ProgrammerCount())
        return;
    const DeviceWork::Guard work(work_);
    board_.ShowLamp(unit, 1, LampImage::Yellow);
    if (unit == 1) {
        Link().Channel().SetLampIndex(0, 5);
    } else if (Link().SelectUnit(unit - 1)) {
        Link().Channel().SetLampIndex(0, 5);
        Link().SelectUnit(0);
    }
    board_.ShowLamp(unit, 1, LampImage::Gray);
    units_.SetEnabled(unit, 1, true);
}

void Workbench::DetectIc() {
    if (ProgrammerCount() == 0 || tabIndex_ > kProgrammerTabIndex || Busy())
        return;
    const DeviceWork::Guard work(work_);
    const TimerPause pause(watchTimer_);
    const DetectionResult result = DetectForUnit1(TargetBoardSuppliesEmulator());
    const bool found = result.found && ApplyDetectedDevice(result) != AppliedDevice::Refused;
    units_.SetEnabled(1, 1, found);
}

DetectionResult Workbench::DetectForUnit1(bool targetBoardSupply) {
    StageNotes notes;
    DetectionRequest request{targetBoardSupply, true, RecordDefaults()};
    request.onWorker = runsOnWorker_;
    const DetectionResult result = session_.Detect(request, &notes);
    ActOnStageNotes(notes);
    return result;
}

AppliedDevice Workbench::ApplyDetectedDevice(const DetectionResult& found) {
    StageNotes notes;
    std::unique_ptr<StagedDevice> device = session_.TakeDetected(found, RecordDefaults(), &notes);
    ActOnStageNotes(notes);
    if (!found.found || session_.Library() == nullptr)
        return AppliedDevice::Refused;
    if (session_.IsSelected(found.vendor, found.type)) {
        unit1Chosen_ = true;
        return AppliedDevice::Unchanged;
    }
    if (!device)
        return AppliedDevice::Refused;
    // The image to keep: what socket 1 holds before the new device's buffer replaces it.
    const std::string workFile = units_.Socket(1, 1).workFile;
    // The detected device directly: a vendor change would first make its first type ready.
    const std::string vendorBefore = units_.Unit(1).vendor;
    const std::vector<std::string> typesBefore = TypeList(1);
    units_.SetVendorText(1, found.vendor);
    typeLists_[0] = session_.Library()->TypesOf(found.vendor).names;
    std::string refusal;
    if (!CommitDevice(1, *device, refusal)) {
        units_.SetVendorText(1, vendorBefore);
        typeLists_[0] = typesBefore;
        ShowSelection(1);
        log_.WriteInfoLine(DetectedDeviceRefusedLine(found.vendor, found.type, refusal));
        return AppliedDevice::Refused;
    }
    unit1Chosen_ = true;
    return LoadAgainForNewDevice(workFile);
}

AppliedDevice Workbench::LoadAgainForNewDevice(const std::string& workFile) {
    if (workFile.empty() || workFile == kDataFromBuffer || !io::IsRegularFile(workFile)) {
        // An empty socket held nothing but an erased buffer: there is nothing to tell.
        if (!workFile.empty())
            log_.WriteInfoLine(kBufferClearedLine);
        return AppliedDevice::Cleared;
    }
    log_.WriteInfoLine(std::string(kWorkFileLoadedAgainLine) + workFile);
    if (LoadFile(1, 1, workFile, true).end == LoadEnd::Loaded)
        return AppliedDevice::Reloaded;
    log_.WriteInfoLine(kLoadAgainFailedLine);
    return AppliedDevice::Cleared;
}

// ---- programmers ----

void Workbench::EnumerateProgrammers(bool restoreHistory) {
    const DeviceWork::Guard work(work_);
    // Without a path (the image the device file names is missing or was refused), the warning
    // names the device file and key instead.
    const std::string origin =
        fs::path(units_.Saved().deviceFile).filename().string() + " : UserWav=" + Record().userWav;
    const EnumerationResult result =
        Link().EnumerateProgrammers(Record().driverImagePath, options_.ResetIdleLevel(), origin);
    if (result.imageMissing) {
        EndProgram(true);
        return;
    }
    host_.LabelsChanged();
    Layout(restoreHistory && result.downloaded);
}

void Workbench::UsbChanged(UsbChange change) {
    ActOnDeviceChange(deviceChanges_.Notify(change, Busy()));
}

void Workbench::ProcessUsbEvents() {
    // Not from inside a transfer's wait: the notifications are delivered once the work ends.
    if (Busy())
        return;
    Usb().ProcessEvents();
}

void Workbench::RunDeferredDeviceChanges() {
    if (Busy())
        return;
    ActOnDeviceChange(deviceChanges_.TakeDeferred());
}

void Workbench::ActOnDeviceChange(ReEnumeration decision) {
    switch (decision) {
        case ReEnumeration::None:
            return;
        case ReEnumeration::CloseWaitAndEnumerate:
            Usb().Close();
            std::this_thread::sleep_for(std::chrono::milliseconds(kCloseBeforeEnumerateWaitMs));
            EnumerateProgrammers(true);
            return;
        case ReEnumeration::Enumerate:
            EnumerateProgrammers(true);
            return;
    }
}

// ---- history ----

void Workbench::RestoreSocketHistory(int unit, int socket) {
    if (socket == 0)
        return;
    bool restoredFile = false;
    {
        // Paused for the restore, so that no change is acted on while the history is applied.
        const TimerPause pause(watchTimer_);
        restoredFile = RestoreSocketHistoryPaused(unit, socket);
    }
    // A work file restored is a new work file: with "Watch" checked it is watched from now on,
    // whatever the timer did before the restore.
    if (restoredFile)
        watch_.StartWatching(options_.emulatorWatch);
}

bool Workbench::RestoreSocketHistoryPaused(int unit, int socket) {
    // Only unit 1, socket 1 takes part in the history.
    if (SocketIndex(unit, socket) != 0)
        return false;
    // History.ini was written at the last close. Once this session has a device or an image of
    // its own, a later restore (the programmer plugged in again) applies the chip's device and
    // keeps the image.
    const bool takeHistory = !unit1Chosen_ && units_.Socket(1, 1).workFile.empty();
    const DetectionResult detected = DetectForUnit1(TargetBoardSuppliesEmulator());
    const bool found = detected.found && ApplyDetectedDevice(detected) != AppliedDevice::Refused;
    units_.SetEnabled(1, 1, found);
    unit1Chosen_ = true;

    SavedSettings& saved = units_.Saved();
    if (found) {
        saved.vendor = units_.Unit(unit).vendor;
        saved.type = units_.Unit(unit).type;
    }
    if (!takeHistory)
        return false;
    const IniFile history(dirs_.HistoryIni());
    const StoredSocket stored = ReadSocketHistory(history, unit, socket);
    if (!found) {
        if (!ListHas(VendorList(), stored.vendor) || stored.vendor == saved.vendor)
            return false;
        VendorChanged(unit, stored.vendor);
        saved.vendor = units_.Unit(unit).vendor;
        if (!ListHas(TypeList(unit), stored.type) || stored.type == saved.type)
            return false;
        TypeChanged(unit, stored.type);
        saved.type = units_.Unit(unit).type;
    }
    SavedSocket& savedSocket = saved.sockets[socket == 1 ? 0 : 1];
    if (!io::IsRegularFile(stored.settings.workFile)) {
        savedSocket.enabled = units_.Socket(unit, socket).enabled;
        units_.SetWorkFile(unit, socket, "");
        savedSocket.workFile.clear();
        return false;
    }
    savedSocket.workFile = stored.settings.workFile;
    savedSocket.sourceStartText = stored.settings.sourceStartText;
    savedSocket.sourceEndText = stored.settings.sourceEndText;
    savedSocket.load = stored.settings.load;
    ResetOtherSocket(saved, socket);
    const bool loaded =
        LoadFile(unit, socket, stored.settings.workFile, true).end == LoadEnd::Loaded;
    // A load checks its socket's box; after a restore the socket takes part only when its chip
    // was recognised.
    units_.SetEnabled(unit, socket, found);
    if (!loaded)
        savedSocket.workFile.clear();  // the field stays empty: none of the file is in the buffer
    return loaded;
}

bool Workbench::SaveSocketHistory(int unit, int socket, std::string* problem) {
    const UnitState& state = units_.Unit(std::clamp(unit, 1, kUnitCount));
    const SocketHistoryTexts texts{
        state.vendor, state.type,
        units_.Socket(std::clamp(unit, 1, kUnitCount), std::clamp(socket, 1, kSocketsPerUnit))
            .workFile,
        loadDialog_};
    if (torq::SaveSocketHistory(dirs_.HistoryIni(), unit, socket, texts, problem))
        return true;
    log_.WriteInfoLine("Error : The history could not be saved to " + dirs_.HistoryIni().string());
    return false;
}

// ---- tabs ----

bool Workbench::LeaveTab() {
    if (tabIndex_ == kOptionsTabIndex && !LeaveOptionFields())
        return false;
    if (premiumPagesChanged_) {
        StorePageValues(ValuesOf(premiumPages_));
        premiumPagesChanged_ = false;
    }
    return true;
}

int Workbench::ShowTab(int tab) {
    tabIndex_ = tab;
    const auto show = [this](std::string_view container, std::string_view control) {
        board_.ShowOneOfControls(container, control, true);
    };
    switch (tab) {
        case kEmulatorTabIndex:
        case kProgrammerTabIndex:
            lastOperationTab_ = tab;
            show(control::kMenuTabControl, control::kOperationPanel);
            show(control::kOperationPanel, control::kOperationTopPanel);
            show(control::kOperationTopPanel,
                 tab == kEmulatorTabIndex ? control::kEmulatorPanel : control::kProgrammerPanel);
            break;
        case kPremiumTabIndex:
            if (!ParameterPagesAvailable(Record(), ProgrammerCount())) {
                log_.WriteInfoLine(kNoParameterLine);
                host_.SelectTab(lastOperationTab_);
                return ShowTab(lastOperationTab_);
            }
            show(control::kMenuTabControl, control::kPremiumPanel);
            premiumPages_ = BuildParameterPages(Record().menuFilePath, session_.Values());
            premiumPagesChanged_ = true;
            host_.PagesBuilt();
            break;
        case kOptionsTabIndex:
            show(control::kMenuTabControl, control::kOptionsPanel);
            break;
        default:
            break;
    }
    Layout(false);
    host_.OptionsChanged();  // the step boxes and the line limit timer follow the tab
    return tabIndex_;
}

int Workbench::ChangeTab(int tab) {
    if (tab == tabIndex_)
        return tabIndex_;
    if (!LeaveTab())
        return tabIndex_;
    return ShowTab(tab);
}

void Workbench::Layout(bool restoreHistory) {
    for (int unit = 1; unit <= kUnitCount; ++unit)
        board_.SetVisible(UnitPanelName(unit), false);
    const int count = ProgrammerCount();
    board_.ShowStatus(count != 0 ? StatusImage::Online : StatusImage::Offline);
    board_.RestButtonsThatCannotAct(count, tabIndex_);
    const bool operationTab = tabIndex_ == kEmulatorTabIndex || tabIndex_ == kProgrammerTabIndex;
    board_.SetVisible(control::kBottomPanel, operationTab);
    ShowDockedLog();
    if (!operationTab)
        return;
    for (int unit = 1; unit <= std::min(count, kUnitCount); ++unit) {
        board_.SetVisible(control::kOperationBottomPanel, true);
        board_.SetVisible(UnitPanelName(unit), true);
        if (restoreHistory) {
            RestoreSocketHistory(unit, 1);
            RestoreSocketHistory(unit, 2);
        }
    }
    MirrorGang();
}

void Workbench::PremiumOk() {
    StorePageValues(ValuesOf(premiumPages_));
    host_.SelectTab(lastOperationTab_);
    ShowTab(lastOperationTab_);
}

void Workbench::PremiumCancel() {
    host_.SelectTab(lastOperationTab_);
    ShowTab(lastOperationTab_);
}

PageComponent* Workbench::PremiumComponent(int page, int component) {
    auto& pages = premiumPages_.pages;
    if (page < 0 || page >= static_cast<int>(pages.size()))
        return nullptr;
    auto& components = pages[static_cast<std::size_t>(page)].components;
    if (component < 0 || component >= static_cast<int>(components.size()))
        return nullptr;
    return &components[static_cast<std::size_t>(component)];
}

void Workbench::SetPageChecked(int page, int component, bool checked) {
    if (PageComponent* target = PremiumComponent(page, component))
        target->checked = checked;
}

void Workbench::SetPageChoice(int page, int component, int choice) {
    if (PageComponent* target = PremiumComponent(page, component))
        target->selectedIndex = choice;
}

void Workbench::SetPageText(int page, int component, std::string text) {
    if (PageComponent* target = PremiumComponent(page, component))
        target->text = std::move(text);
}

void Workbench::SetInformationWindowShown(bool shown) {
    informationWindowShown_ = shown;
    // Only the docked log follows the mode: a full layout would put Online over the verdict (or
    // the WAIT of a run under way).
    ShowDockedLog();
}

void Workbench::ShowDockedLog() {
    const bool operationTab = tabIndex_ == kEmulatorTabIndex || tabIndex_ == kProgrammerTabIndex;
    board_.SetVisible(control::kInfoMessagePanel, operationTab && !informationWindowShown_);
}

// ---- sockets and files ----

void Workbench::SetSocketEnabled(int unit, int socket, bool checked) {
    units_.SetEnabled(unit, socket, checked);
}

void Workbench::SetOffsetText(int unit, int socket, std::string_view text) {
    units_.SetOffsetText(unit, socket, text, Record().deviceSize);
}

LoadEnvironment Workbench::Environment(ProgressSink* progress, Operator* asker) {
    return LoadEnvironment{dirs_.BufferFile(), Record().deviceSize, log_,
                           asker != nullptr ? *asker : op_, progress};
}

void Workbench::ApplyLoadOutcome(const LoadOutcome& outcome) {
    if (!outcome.socket)
        return;
    const int unit = std::clamp(loadDialog_.unit, 1, kUnitCount);
    const int socket = std::clamp(loadDialog_.socket, 1, kSocketsPerUnit);
    if (unit == 1) {
        // The settings of the image the socket now holds: a device change loads it again so.
        SavedLoadSettings& load = units_.Saved().sockets[static_cast<std::size_t>(socket - 1)].load;
        const LoadDialogState& d = loadDialog_;
        load.destinationText = d.destinationText;
        load.fillEnabled = d.fillUnused;
        load.fillValue = static_cast<std::uint8_t>(ParseHex64(d.fillText).value_or(0) & 0xFF);
        load.format = static_cast<std::uint8_t>(d.format);
        const bool wholeFile = !SourceFieldsEnabled(d.format) ||
                               (ParseHex64(d.sourceStartText).value_or(0) == 0 &&
                                ParseHex64(d.sourceEndText).value_or(0) + 1 >= d.fileLength);
        load.sourcePart =
            wholeFile ? std::nullopt : std::optional(std::pair(d.sourceStartText, d.sourceEndText));
    }
    units_.SetWorkFile(unit, socket, outcome.socket->workFile.string());
    units_.SetChecksumText(unit, socket, outcome.socket->checksumText);
    units_.SetOffsetText(unit, socket, outcome.socket->startAddressText, Record().deviceSize);
    units_.SetEnabled(unit, socket, true);
}

LoadOutcome Workbench::LoadForSocket(int unit, int socket, bool useSaved) {
    if (socket < 1 || socket > kSocketsPerUnit || unit < 1 || unit > kUnitCount)
        return {LoadEnd::NotRun, std::nullopt, false};
    return LoadFile(unit, socket, units_.Socket(unit, socket).workFile, useSaved);
}

LoadOutcome Workbench::LoadFile(int unit, int socket, const fs::path& file, bool useSaved,
                                Operator* asker) {
    if (socket < 1 || socket > kSocketsPerUnit || unit < 1 || unit > kUnitCount)
        return {LoadEnd::NotRun, std::nullopt, false};
    const SavedSocket& saved = units_.Saved().sockets[static_cast<std::size_t>(socket - 1)];
    LoadOutcome outcome;
    {
        const DeviceWork::Guard work(work_);
        outcome = torq::LoadForSocket(unit, socket, useSaved, saved.load, file, loadDialog_,
                                      Environment(loadProgress_, asker));
    }
    ApplyLoadOutcome(outcome);
    return outcome;
}

namespace {

// Passes every message of a load on to the operator and keeps the last one: the reason an
// unattended load gives when it is refused.
class RememberingOperator final : public Operator {
  public:
    explicit RememberingOperator(Operator& inner) : inner_(inner) {}
    Answer Respond(const OperatorMessage& message) override {
        const Answer answer = inner_.Respond(message);
        last_ = std::string(message.text);
        if (message.buttons != Buttons::Ok && answer != Answer::Yes && answer != Answer::Ok)
            last_ += answer == Answer::No ? " : answered No" : " : not answered";
        return answer;
    }
    // Why the load ended as it did; the log holds the reason when no message was given.
    std::string Reason() const { return last_.empty() ? "see the log" : last_; }

  private:
    Operator& inner_;
    std::string last_;
};

}  // namespace

std::optional<std::string> Workbench::LoadWorkFileOfUnit1(const fs::path& file) {
    RememberingOperator asker(op_);
    const LoadOutcome outcome = LoadFile(1, 1, file, false, &asker);
    if (outcome.end == LoadEnd::Loaded)
        return std::nullopt;
    return asker.Reason();
}

std::optional<std::string> Workbench::LoadIntoUnit1(const fs::path& file) {
    if (Busy())
        return std::string(kBusyReason);
    // The work file named again (a drop, the command line, a hand-over) changes no text but is a
    // new start all the same: the watch takes its stamp before the load reads the file, so a
    // change made during the load is still seen, and a stopped watch runs again. A new file is
    // watched once its load succeeded (the work-file change starts the watch).
    if (units_.Socket(1, 1).workFile == file.string())
        watch_.StartWatching(options_.emulatorWatch);
    // The work file changes with the load: a load that fails leaves the socket describing the
    // image the buffer still holds.
    return LoadWorkFileOfUnit1(file);
}

void Workbench::Drop(int unit, int socket, const fs::path& file) {
    if (Busy())
        return;
    if (MirrorsUnit1(unit)) {
        // A gang's unit programs unit 1's buffer: a file dropped on it is unit 1's.
        unit = 1;
        socket = std::min(socket, 1);
    }
    if (unit == 1 && (socket == 0 || socket == 1)) {
        LoadIntoUnit1(file);
        return;
    }
    if (unit >= 1 && unit <= kUnitCount && socket >= 1 && socket <= kSocketsPerUnit)
        units_.SetWorkFile(unit, socket, file.string());
}

void Workbench::PrepareLoad(int unit, int socket, const fs::path& file) {
    loadDialog_.unit = unit;
    loadDialog_.socket = socket;
    PrepareLoadDialog(loadDialog_, file);
}

bool Workbench::ChooseFileToLoad(const fs::path& chosen) {
    return BrowseChoseFile(loadDialog_, chosen);
}

void Workbench::ChooseLoadFormat(LoadFormat format) {
    loadDialog_.format = format;
}

void Workbench::SetLoadFieldText(LoadField field, std::string text) {
    switch (field) {
        case LoadField::SourceStart:
            loadDialog_.sourceStartText = std::move(text);
            break;
        case LoadField::SourceEnd:
            loadDialog_.sourceEndText = std::move(text);
            break;
        case LoadField::Destination:
            loadDialog_.destinationText = std::move(text);
            break;
        case LoadField::Fill:
            loadDialog_.fillText = std::move(text);
            break;
    }
}

void Workbench::SetFillUnused(bool fill) {
    loadDialog_.fillUnused = fill;
}

LoadOutcome Workbench::LoadWithSettings(const LoadSettings& settings, ProgressSink* progress) {
    loadDialog_.format = settings.format;
    const auto set = [this](LoadField field, const std::optional<std::string>& text) {
        if (text)
            SetLoadFieldText(field, *text);
    };
    set(LoadField::SourceStart, settings.sourceStartText);
    set(LoadField::SourceEnd, settings.sourceEndText);
    set(LoadField::Destination, settings.destinationText);
    set(LoadField::Fill, settings.fillText);
    loadDialog_.fillUnused = settings.fillUnused;
    return LoadFromDialog(progress);
}

LoadOutcome Workbench::LoadFromDialog(ProgressSink* progress) {
    if (Busy())
        return {LoadEnd::KeptOpen, std::nullopt, false};
    LoadOutcome outcome;
    {
        const DeviceWork::Guard work(work_);
        outcome = LoadIntoBuffer(loadDialog_, Environment(progress));
    }
    ApplyLoadOutcome(outcome);
    return outcome;
}

void Workbench::ApplyEditedImage(const std::string& checksumText) {
    ShowDataFromBuffer(checksumText);
    units_.SetEnabled(1, 1, true);
}

void Workbench::ShowDataFromBuffer(const std::string& checksumText) {
    units_.SetWorkFile(1, 1, std::string(kDataFromBuffer));
    units_.SetChecksumText(1, 1, checksumText);
    units_.SetOffsetText(1, 1, kZeroAddressText, Record().deviceSize);
}

// SocketEvents: a work file changed in socket 1 of a unit.
void Workbench::WorkFileChanged(int /*unit*/, int /*socket*/, bool watchedFileSet) {
    if (watchedFileSet)
        watch_.StartWatching(options_.emulatorWatch);
    board_.ResetIndicators(true, ProgrammerCount());
    Link().Channel().SetUnitMode(0x40);
    Link().Channel().SetLamp(1, 0);
}

void Workbench::FieldsChanged(int unit, int /*socket*/) {
    ShowSelection(unit);
}

void Workbench::ShowSelection(int unit) {
    if (unit == 1)
        MirrorGang();
    host_.SelectionChanged(unit);
}

void Workbench::MirrorGang() {
    for (int unit = 2; unit <= std::min(ProgrammerCount(), kUnitCount); ++unit) {
        typeLists_[static_cast<std::size_t>(unit - 1)] = typeLists_[0];
        units_.MirrorUnit1(unit);
    }
}

// ---- the step check boxes ----

bool Workbench::StepChecked(Bar bar, Step step) const {
    const StepRow* row = FindStepRow(bar, step);
    if (row == nullptr || !row->Changeable())
        return true;
    return options_.*(row->option);
}

bool Workbench::StepChangeable(Bar bar, Step step) const {
    const StepRow* row = FindStepRow(bar, step);
    return row != nullptr && row->Changeable();
}

void Workbench::SetStepChecked(Bar bar, Step step, bool checked) {
    if (!StepChangeable(bar, step))
        return;
    options_.*(FindStepRow(bar, step)->option) = checked;
    if (bar == Bar::Emulator && step == Step::Watch)
        watch_.WatchCheckBoxChanged(checked);
}

bool Workbench::TargetBoardSuppliesEmulator() const {
    return tabIndex_ == kEmulatorTabIndex && options_.userTargetBoard;
}

bool Workbench::InfoMessageLimitTimerWanted() const {
    return options_.infoMessageLimited && tabIndex_ != kOptionsTabIndex;
}

void Workbench::InfoMessageLimitTick(UnsavedLines unsaved) {
    const int limit = NumericFieldValue(kInfoMessageLimitField, optionFields_.infoMessageLimit);
    log_.ApplyLineLimit(static_cast<std::size_t>(limit),
                        options_.infoMessageLimitSavesToFile ? LimitAction::SaveToFileAndClear
                                                             : LimitAction::ClearContents,
                        LogFileSettingShown(options_.infoMessageLimitSaveFile), unsaved);
}

// ---- emulator and options ----

void Workbench::WatchCheckBoxChanged(bool checked) {
    options_.emulatorWatch = checked;
    watch_.WatchCheckBoxChanged(checked);
}

WatchTickResult Workbench::WatchTick() {
    WatchTickContext context;
    context.tabIndex = tabIndex_;
    context.watchChecked = options_.emulatorWatch;
    context.autoReload = options_.watchAutoReload;
    context.autoProcedure = options_.watchAutoProcedure;
    context.programmerCount = ProgrammerCount();
    return WatchTickWith(context, nullptr);
}

WatchTickResult Workbench::WatchTick(const RunPlan& plan) {
    WatchTickContext context;
    context.tabIndex = kEmulatorTabIndex;
    context.watchChecked = true;
    context.autoReload = true;
    context.autoProcedure = true;
    context.programmerCount = ProgrammerCount();
    return WatchTickWith(context, &plan);
}

WatchTickResult Workbench::WatchTickWith(const WatchTickContext& context, const RunPlan* plan) {
    if (Busy())
        return {};
    watchPlan_ = plan;
    const WatchTickResult result = watch_.Tick(context);
    watchPlan_ = nullptr;
    return result;
}

std::optional<std::string> Workbench::ReloadWorkFile() {
    units_.RunWorkFileChange(1);
    // The file that changed: after a Read the socket shows "< Data from buffer >", which is no
    // file to load, while the watch still follows the work file.
    return LoadWorkFileOfUnit1(units_.Saved().WatchedFile());
}

void Workbench::ShowLastOperationTab() {
    host_.SelectTab(lastOperationTab_);
    ShowTab(lastOperationTab_);
}

void Workbench::RunWatchProcedure() {
    if (watchPlan_ != nullptr)
        sequencer_->Run(*watchPlan_);
    else
        ExecuteAll();
}

void Workbench::EditOptions(const std::function<void(Options&)>& change) {
    const Options before = options_;
    change(options_);
    StoreOptionsChangedFrom(before);
}

void Workbench::StoreOptionsChangedFrom(const Options& before) {
    if (options_ == before)
        return;
    std::string why;
    if (SaveOptions(dirs_.HistoryIni(), options_, &why)) {
        optionsWriteFailureTold_ = false;
        return;
    }
    log_.WriteInfoLine("Error : The options could not be saved to " + dirs_.HistoryIni().string());
    if (optionsWriteFailureTold_)
        return;
    optionsWriteFailureTold_ = true;
    op_.Tell(Severity::Error, "The changed options apply now, but they could not be saved to " +
                                  dirs_.HistoryIni().string() + ": " + why +
                                  "\nThe next start will not have them.");
}

void Workbench::ResetLevelChanged(bool normalHigh) {
    EditOptions([normalHigh](Options& o) { o.resetNormalHigh = normalHigh; });
    // During device work the level goes out with the next run, which sets it first.
    if (Busy())
        return;
    const DeviceWork::Guard work(work_);
    session_.Operations().TargetReset(static_cast<std::uint16_t>(options_.ResetIdleLevel()), 0);
}

void Workbench::SetRunOptions(const std::function<void(Options&)>& change) {
    change(options_);
}

void Workbench::SetOptionFieldText(OptionField field, std::string text) {
    optionFields_.Of(field) = std::move(text);
}

bool Workbench::LeaveOptionField(OptionField field) {
    const Options before = options_;
    const bool accepted = ApplyOptionField(optionFields_.Of(field), OptionFieldRule(field));
    StoreOptionsChangedFrom(before);
    return accepted;
}

bool Workbench::ApplyOptionField(std::string& text, const NumericFieldRule& rule) {
    const LeaveResult left = NumericFieldOnLeave(rule, text);
    text = left.text;
    const int value = NumericFieldValue(rule, text);
    if (&rule == &kResetTimeField)
        options_.resetTimeMs = value;
    else if (&rule == &kVerifyErrorsField)
        options_.verifyErrorsListLimit = value;
    else if (&rule == &kInfoMessageLimitField)
        options_.infoMessageLimit = value;
    return !left.refocus;
}

bool Workbench::LeaveOptionFields() {
    const bool ok = LeaveOptionField(OptionField::ResetTime) &&
                    LeaveOptionField(OptionField::VerifyErrorsList) &&
                    LeaveOptionField(OptionField::InfoMessageLimit);
    host_.OptionsChanged();
    return ok;
}

VerifyListing Workbench::VerifyListingOption() const {
    return VerifyListing{options_.verifyErrorsListLimited,
                         FieldInteger(optionFields_.verifyErrorsList, 100)};
}

std::uint16_t Workbench::ResetPulseMs() const {
    const int ms = FieldInteger(optionFields_.resetTime, 500);
    return static_cast<std::uint16_t>(std::clamp(ms, 0, 0xFFFF));
}

// ---- the command line ----

namespace {

// Each parameter's action as it comes: a file into unit 1, the tones through the host.
class CommandLineRunner final : public CommandLineActions {
  public:
    CommandLineRunner(Workbench& bench, WorkbenchHost& host) : bench_(bench), host_(host) {}
    void LoadFile(const fs::path& file) override { bench_.LoadIntoUnit1(file); }
    void PlayTones() override { host_.PlayTones(); }

  private:
    Workbench& bench_;
    WorkbenchHost& host_;
};

}  // namespace

void Workbench::ProcessCommandLine(const std::vector<std::string>& parameters) {
    CommandLineRunner runner(*this, host_);
    commandLine_.ProcessOwnParameters(parameters, &runner);
}

void Workbench::ProcessHandedOver(std::string_view text) {
    CommandLineRunner runner(*this, host_);
    commandLine_.ProcessHandedOver(text, &runner);
}

std::optional<std::string> Workbench::StorePageValue(int page, int component,
                                                     std::string_view value) {
    PageComponent* target = PremiumComponent(page, component);
    if (target == nullptr)
        return "no component " + std::to_string(component) + " on page " + std::to_string(page);
    if (auto refusal = SetComponentValue(*target, value))
        return refusal;
    StorePageValues(ValuesOf(premiumPages_));
    return std::nullopt;
}

}  // namespace torq
