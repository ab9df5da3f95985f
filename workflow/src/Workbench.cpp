#include "torq/workflow/Workbench.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

#include "torq/buffer/BufferFile.h"
#include "torq/devlib/Ini.h"
#include "torq/devlib/RegularFile.h"
#include "torq/devlib/Text.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/SocketHistory.h"

namespace torq {

namespace fs = std::filesystem;

namespace {

bool IsRegularFile(const fs::path& path) {
    std::error_code error;
    return !path.empty() && fs::is_regular_file(path, error);
}

// The item of a list whose text equals `text`, without regard to case.
std::optional<std::string> ItemNamed(const std::vector<std::string>& items, std::string_view text) {
    for (const auto& item : items) {
        if (EqualsIgnoringCase(item, text))
            return item;
    }
    return std::nullopt;
}

bool ListHas(const std::vector<std::string>& items, std::string_view text) {
    return std::find(items.begin(), items.end(), text) != items.end();
}

// The decimal value of an option field's text, or the fallback when it is not a whole number.
int FieldInteger(std::string_view text, int fallback) {
    const auto value = ParseIniInteger(text);
    return value ? *value : fallback;
}

}  // namespace

// A device chosen for a unit and made ready with nothing changed yet: its record, its new buffer
// and its Menu.ini written beside the old ones.
struct Workbench::PreparedDevice {
    std::string vendor;
    std::string type;
    fs::path file;
    DeviceRecord record;
    std::optional<std::string> unusable;  // what the operations will refuse, when anything
    PageValues values;
    std::unique_ptr<ReplacementFile> buffer;
    StagedFile menu;
};

std::string DetectedDeviceRefusedLine(std::string_view vendor, std::string_view type,
                                      std::string_view reason) {
    return "The detected device " + std::string(vendor) + " -> " + std::string(type) +
           " cannot be selected : " + std::string(reason);
}

std::string VersionText(int major, int minor, int release) {
    std::string text = std::to_string(major) + "." + std::to_string(minor);
    if (release != 0)
        text += "." + std::to_string(release);
    return text;
}

std::string VersionText(std::string_view dotted) {
    int parts[3] = {0, 0, 0};
    for (int& part : parts) {
        const std::size_t dot = dotted.find('.');
        part = static_cast<int>(
            std::min<std::uint64_t>(ParseUnsigned64(dotted.substr(0, dot)).value_or(0), 65535));
        dotted = dot == std::string_view::npos ? std::string_view() : dotted.substr(dot + 1);
    }
    return VersionText(parts[0], parts[1], parts[2]);
}

Workbench::Workbench(ProgramDirectory dirs, WorkbenchSeams seams, WorkbenchHost& host)
    : dirs_(std::move(dirs)),
      op_(seams.op),
      pump_(seams.pump),
      clock_(seams.clock),
      host_(host),
      watchTimer_(seams.watchTimer),
      log_(seams.clock),
      usb_(std::move(seams.usb)),
      board_(seams.op),
      units_(board_, seams.flashTimer),
      watch_(units_.Saved(), seams.watchTimer, board_, seams.op, log_, *this),
      commandLine_(dirs_.DataFolder(), "torq-spi", log_) {
    programmer_ = std::make_unique<Programmer>(*usb_, log_, op_, pump_);
    operations_ = std::make_unique<DeviceOperations>(*programmer_, dirs_, clock_);
    units_.SetEvents(this);
    // Everything a run works with, in one place.
    sequencer_ = std::make_unique<Sequencer>(
        RunServices{log_, op_, clock_, board_, units_, *programmer_, *operations_, record_,
                    pageValues_, dirs_, watchTimer_, work_},
        static_cast<RunContext&>(*this));
    usb_->SetChangeHandler([this](UsbChange change) { UsbChanged(change); });
    pageValues_ = PageValues::Read(dirs_.MenuIni());
}

Workbench::~Workbench() {
    usb_->SetChangeHandler({});
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
        host_.ShowEditor(record_.deviceSize);
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

void Workbench::RunEnded(const RunResult& /*result*/) {
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
    library_.emplace(dirs_);
    libraryDate_ = library_->DateText();
    host_.LabelsChanged();
    if (!library_->IdentityOk()) {
        // Nothing else can work with a library that is not ours: the program ends here rather
        // than going on to fail on every device file.
        op_.Tell(Severity::Error, kLibraryIncorrectMessage);
        EndProgram(false);
        return false;
    }
    NameList vendors = library_->Vendors();
    vendorList_ = std::move(vendors.names);
    const std::string first = vendorList_.empty() ? std::string() : vendorList_.front();
    for (int unit = 1; unit <= kUnitCount; ++unit)
        VendorChanged(unit, first);
    unit1Chosen_ = false;  // a placeholder until the history, a detection or the operator decides
    if (!vendors.errors.empty())
        op_.Tell(Severity::Plain, JoinLines(vendors.errors));
    return true;
}

void Workbench::LoadOptions() {
    // Read without blocking whatever is there; what is not a regular file reads as the defaults.
    if (const auto kind = io::NonRegularKind(dirs_.HistoryIni())) {
        log_.WriteInfoLine("Error : " + io::NotRegularFileText(dirs_.HistoryIni(), *kind) +
                           ", the default options are used !");
    }
    options_ = torq::LoadOptions(dirs_.HistoryIni());
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
    const auto fail = [&](std::string text) {
        if (problem != nullptr)
            *problem = std::move(text);
        return false;
    };
    library_.emplace(dirs_);
    libraryDate_ = library_->DateText();
    if (!library_->IdentityOk()) {
        return fail(std::string(kLibraryIncorrectMessage) + " (" + dirs_.SelectIni().string() +
                    ")");
    }
    vendorList_ = library_->Vendors().names;
    LoadOptions();
    const IniFile history(dirs_.HistoryIni());
    std::string vendor = history.ReadString(HistorySection(1), "Vendor");
    std::string type = history.ReadString(HistorySection(1), "Type");
    if (vendor.empty() || type.empty()) {
        if (!fallBackToFirst)
            return fail("no device selected: run 'torq-spi-cli select VENDOR TYPE' first");
        vendor = vendorList_.empty() ? std::string() : vendorList_.front();
        const auto types = library_->TypesOf(vendor).names;
        type = types.empty() ? std::string() : types.front();
    }
    const auto vendorItem = ItemNamed(vendorList_, vendor);
    if (!vendorItem)
        return fail("the selected vendor " + vendor + " is not in the device library");
    typeLists_[0] = library_->TypesOf(*vendorItem).names;
    const auto typeItem = ItemNamed(TypeList(1), type);
    const fs::path file = typeItem ? library_->DeviceFileOf(*vendorItem, *typeItem) : fs::path();
    if (!IsRegularFile(file)) {
        return fail("the selected device " + vendor + " " + type + " is not in the device library");
    }
    units_.SetVendorText(1, *vendorItem);
    units_.SetTypeText(1, *typeItem);
    units_.Saved().vendor = *vendorItem;
    units_.Saved().type = *typeItem;
    units_.Saved().deviceFile = file.string();
    record_ = ReadDeviceRecord(file, dirs_, DeviceRecord{}, *vendorItem, *typeItem, op_);
    return true;
}

bool Workbench::SelectForCommand(std::string_view vendor, std::string_view type,
                                 std::string* problem) {
    const auto fail = [&](std::string text) {
        if (problem != nullptr)
            *problem = std::move(text);
        return false;
    };
    if (!library_)
        return fail("the device library is not open");
    const auto vendorItem = ItemNamed(vendorList_, vendor);
    const auto types =
        vendorItem ? library_->TypesOf(*vendorItem).names : std::vector<std::string>{};
    const auto typeItem = ItemNamed(types, type);
    if (!typeItem) {
        return fail("no type '" + std::string(type) + "' of vendor '" + std::string(vendor) +
                    "' in the library");
    }
    const std::string notSelected =
        "the device " + *vendorItem + " " + *typeItem + " was not selected";
    // The history, the buffer and Menu.ini are all made ready first and replaced only when each
    // of them could be: a select that fails changes none of them.
    IniFile history(dirs_.HistoryIni());
    history.WriteString(HistorySection(1), "Vendor", *vendorItem);
    history.WriteString(HistorySection(1), "Type", *typeItem);
    StagedFile newHistory;
    if (!history.Stage(newHistory))
        return fail(notSelected + ": " + history.SaveError());
    PreparedDevice device;
    std::string refusal;
    if (!PrepareDevice(*vendorItem, *typeItem, device, refusal))
        return fail(refusal.empty() ? notSelected : notSelected + ": " + refusal);
    units_.SetVendorText(1, *vendorItem);
    typeLists_[0] = types;
    if (!CommitDevice(1, device, refusal))
        return fail(notSelected + ": " + refusal);
    units_.Saved().vendor = *vendorItem;
    units_.Saved().type = *typeItem;
    if (!newHistory.Commit()) {
        return fail("cannot write " + dirs_.HistoryIni().string() + ": " + std::strerror(errno));
    }
    return true;
}

bool Workbench::ReadChipId() {
    if (Busy() || ProgrammerCount() == 0)
        return false;
    const DeviceWork::Guard work(work_);
    if (!programmer_->OpenProgrammer(record_.driverImagePath, 0))
        return false;
    programmer_->SendTargetBoardMode(TargetBoardSuppliesEmulator());
    return ReadId(*programmer_, record_);
}

bool Workbench::BuildPagesForCommand() {
    if (record_.protMode == 0 || !IsRegularFile(record_.menuFilePath))
        return false;
    premiumPages_ = BuildParameterPages(record_.menuFilePath, pageValues_);
    return true;
}

// ---- device selection ----

void Workbench::VendorChanged(int unit, std::string_view vendor) {
    if (unit < 1 || unit > kUnitCount || !library_)
        return;
    const UnitState before = units_.Unit(unit);
    const std::vector<std::string> typesBefore = TypeList(unit);
    units_.SetVendorText(unit, std::string(vendor));
    NameList types = library_->TypesOf(vendor);
    typeLists_[static_cast<std::size_t>(unit - 1)] = std::move(types.names);
    const auto& list = TypeList(unit);
    units_.SetTypeText(unit, list.empty() ? std::string() : list.front());
    host_.SelectionChanged(unit);
    if (!types.errors.empty())
        op_.Tell(Severity::Plain, JoinLines(types.errors));
    if (TypeChanged(unit, list.empty() ? std::string_view() : std::string_view(list.front())))
        return;
    // The boxes show the device that is loaded: a vendor whose first type is refused puts them
    // back.
    units_.SetVendorText(unit, before.vendor);
    typeLists_[static_cast<std::size_t>(unit - 1)] = typesBefore;
    units_.SetTypeText(unit, before.type);
    host_.SelectionChanged(unit);
}

bool Workbench::PrepareDevice(std::string_view vendor, std::string_view type,
                              PreparedDevice& device, std::string& refusal) {
    const fs::path file = library_->DeviceFileOf(vendor, type);
    if (!IsRegularFile(file)) {
        op_.Tell(Severity::Plain,
                 "Error : SelectINI->[" + std::string(vendor) + "]->" + std::string(type));
        EndProgram(true);
        return false;
    }
    DeviceLoadNotes notes;
    device.record = ReadDeviceRecord(file, dirs_, record_, units_.Saved().vendor,
                                     units_.Saved().type, op_, &notes);
    if (notes.libraryWrong)
        host_.FocusVendorBox(1);
    // A device without a sane size cannot even have a buffer. What else the operations cannot
    // work with is only told: each operation refuses it, while the buffer can still be loaded,
    // edited and saved for the device.
    if (const auto reason = CheckDeviceSize(device.record)) {
        refusal = *reason;
        return false;
    }
    device.unusable = notes.unusable;
    device.vendor = std::string(vendor);
    device.type = std::string(type);
    device.file = file;
    device.values = PageValues::Defaults(device.record.menuFilePath);
    if (!device.values.Stage(dirs_.MenuIni(), device.menu, &refusal))
        return false;
    device.buffer = BufferFile::In(dirs_).Prepare(device.record.deviceSize, &refusal);
    return device.buffer != nullptr;
}

bool Workbench::CommitDevice(int unit, PreparedDevice& device, std::string& refusal) {
    if (!device.buffer->Commit(false)) {
        refusal = "The buffer file could not be written (" + dirs_.BufferFile().string() + ") !";
        return false;
    }
    if (!device.menu.Commit())
        log_.WriteInfoLine("Error : The parameter values could not be saved to " +
                           dirs_.MenuIni().string());
    if (device.unusable)
        log_.WriteInfoLine("Error : " + device.type + " : " + *device.unusable);
    units_.SetTypeText(unit, device.type);
    if (unit == 1)
        units_.Saved().deviceFile = device.file.string();
    record_ = std::move(device.record);
    pageValues_ = std::move(device.values);
    ClearSocketFields(unit);
    host_.SelectionChanged(unit);
    return true;
}

bool Workbench::TypeChanged(int unit, std::string_view type) {
    if (unit < 1 || unit > kUnitCount || !library_)
        return false;
    // A device that cannot be made ready leaves the previous device, its buffer and Menu.ini as
    // they were (the unit keeps its previous type).
    PreparedDevice device;
    std::string refusal;
    if (!PrepareDevice(units_.Unit(unit).vendor, type, device, refusal) ||
        !CommitDevice(unit, device, refusal)) {
        if (!refusal.empty()) {
            op_.Tell(Severity::Warning,
                     "The device " + std::string(type) + " cannot be selected: " + refusal);
            host_.SelectionChanged(unit);
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
        units_.SetOffsetText(unit, socket, kZeroAddressText, record_.deviceSize);
    }
}

bool Workbench::SelectDevice(int unit, std::string_view vendor, std::string_view type) {
    const auto vendorItem = ItemNamed(vendorList_, vendor);
    if (!vendorItem)
        return false;
    VendorChanged(unit, *vendorItem);
    const auto typeItem = ItemNamed(TypeList(unit), type);
    if (!typeItem)
        return false;
    return TypeChanged(unit, *typeItem);
}

void Workbench::OrderButton(int unit) {
    if (Busy() || ProgrammerCount() == 0 || unit < 1 || unit > kUnitCount)
        return;
    const DeviceWork::Guard work(work_);
    board_.ShowLamp(unit, 1, LampImage::Yellow);
    programmer_->Channel().SetLampIndex(0, 5);
    board_.ShowLamp(unit, 1, LampImage::Gray);
    units_.SetEnabled(unit, 1, true);
}

DetectionResult Workbench::DetectAndLog() {
    DetectionResult result;
    if (!library_ || Busy())
        return result;
    const DeviceWork::Guard work(work_);
    const std::uint32_t start = clock_.TickMs();
    result = AutoDetectDevice(*programmer_, *library_, TargetBoardSuppliesEmulator());
    const std::uint32_t elapsed = TicksBetween(start, clock_.TickMs());
    log_.WriteInfoLine(DetectionLine(result, elapsed));
    return result;
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
    detectedDevice_.reset();
    const std::uint32_t start = clock_.TickMs();
    const DetectionResult result =
        library_ ? AutoDetectDevice(*programmer_, *library_, targetBoardSupply,
                                    [this](const std::string& vendor, const std::string& type) {
                                        return AcceptDetected(vendor, type);
                                    })
                 : DetectionResult{};
    const std::uint32_t elapsed = TicksBetween(start, clock_.TickMs());
    log_.WriteInfoLine(DetectionLine(result, elapsed));
    return result;
}

bool Workbench::IsUnit1Device(std::string_view vendor, std::string_view type) const {
    return EqualsIgnoringCase(units_.Unit(1).vendor, vendor) &&
           EqualsIgnoringCase(units_.Unit(1).type, type);
}

bool Workbench::AcceptDetected(const std::string& vendor, const std::string& type) {
    if (IsUnit1Device(vendor, type))
        return true;
    auto device = std::make_unique<PreparedDevice>();
    std::string refusal;
    const fs::path file = library_->DeviceFileOf(vendor, type);
    if (!IsRegularFile(file)) {
        refusal = "The device file does not exist (" + file.string() + ") !";
    } else if (!PrepareDevice(vendor, type, *device, refusal) && refusal.empty()) {
        refusal = "The device cannot be made ready !";
    }
    if (!refusal.empty()) {
        log_.WriteInfoLine(DetectedDeviceRefusedLine(vendor, type, refusal));
        return false;
    }
    detectedDevice_ = std::move(device);
    return true;
}

AppliedDevice Workbench::ApplyDetectedDevice(const DetectionResult& found) {
    std::unique_ptr<PreparedDevice> device = std::move(detectedDevice_);
    if (!found.found || !library_)
        return AppliedDevice::Refused;
    if (IsUnit1Device(found.vendor, found.type)) {
        unit1Chosen_ = true;
        return AppliedDevice::Unchanged;
    }
    std::string refusal;
    if (!device || device->vendor != found.vendor || device->type != found.type) {
        device = std::make_unique<PreparedDevice>();
        if (!PrepareDevice(found.vendor, found.type, *device, refusal)) {
            if (!refusal.empty())
                log_.WriteInfoLine(DetectedDeviceRefusedLine(found.vendor, found.type, refusal));
            return AppliedDevice::Refused;
        }
    }
    // The image to keep: what socket 1 holds before the new device's buffer replaces it.
    const std::string workFile = units_.Socket(1, 1).workFile;
    // The detected device directly: a vendor change would first make its first type ready.
    const std::string vendorBefore = units_.Unit(1).vendor;
    const std::vector<std::string> typesBefore = TypeList(1);
    units_.SetVendorText(1, found.vendor);
    typeLists_[0] = library_->TypesOf(found.vendor).names;
    if (!CommitDevice(1, *device, refusal)) {
        units_.SetVendorText(1, vendorBefore);
        typeLists_[0] = typesBefore;
        host_.SelectionChanged(1);
        log_.WriteInfoLine(DetectedDeviceRefusedLine(found.vendor, found.type, refusal));
        return AppliedDevice::Refused;
    }
    unit1Chosen_ = true;
    return LoadAgainForNewDevice(workFile);
}

AppliedDevice Workbench::LoadAgainForNewDevice(const std::string& workFile) {
    if (workFile.empty() || workFile == kDataFromBuffer || !IsRegularFile(workFile)) {
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
        fs::path(units_.Saved().deviceFile).filename().string() + " : UserWav=" + record_.userWav;
    const EnumerationResult result = programmer_->EnumerateProgrammers(
        record_.driverImagePath, options_.ResetIdleLevel(), origin);
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
    usb_->ProcessEvents();
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
            usb_->Close();
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
        if (!ListHas(vendorList_, stored.vendor) || stored.vendor == saved.vendor)
            return false;
        VendorChanged(unit, stored.vendor);
        saved.vendor = units_.Unit(unit).vendor;
        if (!ListHas(TypeList(unit), stored.type) || stored.type == saved.type)
            return false;
        TypeChanged(unit, stored.type);
        saved.type = units_.Unit(unit).type;
    }
    SavedSocket& savedSocket = saved.sockets[socket == 1 ? 0 : 1];
    if (!IsRegularFile(stored.settings.workFile)) {
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
            if (!ParameterPagesAvailable(record_, ProgrammerCount())) {
                log_.WriteInfoLine(kNoParameterLine);
                host_.SelectTab(lastOperationTab_);
                return ShowTab(lastOperationTab_);
            }
            show(control::kMenuTabControl, control::kPremiumPanel);
            premiumPages_ = BuildParameterPages(record_.menuFilePath, pageValues_);
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
    units_.SetOffsetText(unit, socket, text, record_.deviceSize);
}

LoadEnvironment Workbench::Environment(ProgressSink* progress, Operator* asker) {
    return LoadEnvironment{dirs_.BufferFile(), record_.deviceSize, log_,
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
    units_.SetOffsetText(unit, socket, outcome.socket->startAddressText, record_.deviceSize);
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
    units_.SetOffsetText(1, 1, kZeroAddressText, record_.deviceSize);
}

// SocketEvents: a work file changed in socket 1 of a unit.
void Workbench::WorkFileChanged(int /*unit*/, int /*socket*/, bool watchedFileSet) {
    if (watchedFileSet)
        watch_.StartWatching(options_.emulatorWatch);
    board_.ResetIndicators(true, ProgrammerCount());
    programmer_->Channel().SetUnitMode(0x40);
    programmer_->Channel().SetLamp(1, 0);
}

void Workbench::FieldsChanged(int unit, int /*socket*/) {
    host_.SelectionChanged(unit);
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
    operations_->TargetReset(static_cast<std::uint16_t>(options_.ResetIdleLevel()), 0);
}

bool Workbench::LeaveOptionField(std::string& text, const NumericFieldRule& rule) {
    const Options before = options_;
    const bool accepted = ApplyOptionField(text, rule);
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
    const bool ok = LeaveOptionField(optionFields_.resetTime, kResetTimeField) &&
                    LeaveOptionField(optionFields_.verifyErrorsList, kVerifyErrorsField) &&
                    LeaveOptionField(optionFields_.infoMessageLimit, kInfoMessageLimitField);
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

PageValues Workbench::CurrentPageValues() const {
    return pageValues_;
}

void Workbench::StorePageValues(const PageValues& values) {
    pageValues_ = values;
    if (!values.Write(dirs_.MenuIni()))
        log_.WriteInfoLine("Error : The parameter values could not be saved to " +
                           dirs_.MenuIni().string());
}

}  // namespace torq
