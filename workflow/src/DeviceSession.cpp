#include "torq/workflow/DeviceSession.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "torq/buffer/BufferFile.h"
#include "torq/devlib/RegularFile.h"
#include "torq/devlib/Text.h"
#include "torq/workflow/SocketHistory.h"

#include "WorkerEvents.h"

namespace torq {

namespace fs = std::filesystem;

std::string DetectedDeviceRefusedLine(std::string_view vendor, std::string_view type,
                                      std::string_view reason) {
    return "The detected device " + std::string(vendor) + " -> " + std::string(type) +
           " cannot be selected : " + std::string(reason);
}

StagedDevice::StagedDevice() = default;
StagedDevice::~StagedDevice() = default;

DeviceSession::DeviceSession(ProgramDirectory dirs, DeviceSessionSeams seams)
    : dirs_(std::move(dirs)),
      log_(seams.log),
      op_(seams.op),
      clock_(seams.clock),
      values_(PageValues::Read(dirs_.MenuIni())),
      usb_(std::move(seams.usb)) {
    programmer_ = std::make_unique<Programmer>(*usb_, log_, op_, seams.pump);
    operations_ = std::make_unique<DeviceOperations>(*programmer_, dirs_, clock_);
}

DeviceSession::~DeviceSession() = default;

// ---- the device library ----

bool DeviceSession::OpenLibrary(std::vector<std::string>* vendorErrors) {
    library_.emplace(dirs_);
    libraryDate_ = library_->DateText();
    if (!library_->IdentityOk())
        return false;
    NameList vendors = library_->Vendors();
    vendors_ = std::move(vendors.names);
    if (vendorErrors != nullptr)
        *vendorErrors = std::move(vendors.errors);
    return true;
}

std::optional<DeviceName> DeviceSession::DeviceNamed(std::string_view vendor,
                                                     std::string_view type) const {
    return library_ ? library_->DeviceNamed(vendor, type) : std::nullopt;
}

// ---- the selected device ----

bool DeviceSession::IsSelected(std::string_view vendor, std::string_view type) const {
    return EqualsIgnoringCase(selected_.vendor, vendor) && EqualsIgnoringCase(selected_.type, type);
}

bool DeviceSession::OpenRemembered(bool fallBackToFirst, std::string* problem) {
    const auto fail = [&](std::string text) {
        if (problem != nullptr)
            *problem = std::move(text);
        return false;
    };
    if (!library_)
        return fail("the device library is not open");
    const IniFile history(dirs_.HistoryIni());
    std::string vendor = history.ReadString(HistorySection(1), "Vendor");
    std::string type = history.ReadString(HistorySection(1), "Type");
    if (vendor.empty() || type.empty()) {
        if (!fallBackToFirst)
            return fail("no device selected: run 'torq-spi-cli select VENDOR TYPE' first");
        vendor = vendors_.empty() ? std::string() : vendors_.front();
        const auto types = library_->TypesOf(vendor).names;
        type = types.empty() ? std::string() : types.front();
    }
    if (!library_->VendorNamed(vendor))
        return fail("the selected vendor " + vendor + " is not in the device library");
    const auto device = library_->DeviceNamed(vendor, type);
    const fs::path file =
        device ? library_->DeviceFileOf(device->vendor, device->type) : fs::path();
    if (!io::IsRegularFile(file)) {
        return fail("the selected device " + vendor + " " + type + " is not in the device library");
    }
    selected_ = *device;
    deviceFile_ = file;
    record_ = ReadDeviceRecord(file, dirs_, DeviceRecord{}, device->vendor, device->type, op_);
    return true;
}

// ---- the staged select ----

std::unique_ptr<StagedDevice> DeviceSession::Stage(std::string_view vendor, std::string_view type,
                                                   const DeviceName& recordDefaults,
                                                   std::string& refusal, StageNotes* notes) {
    StageNotes noted;
    if (notes == nullptr)
        notes = &noted;
    if (!library_) {
        refusal = "the device library is not open";
        return nullptr;
    }
    const fs::path file = library_->DeviceFileOf(vendor, type);
    if (!io::IsRegularFile(file)) {
        op_.Tell(Severity::Plain,
                 "Error : SelectINI->[" + std::string(vendor) + "]->" + std::string(type));
        notes->deviceFileMissing = true;
        return nullptr;
    }
    auto device = std::make_unique<StagedDevice>();
    DeviceLoadNotes loadNotes;
    device->record_ = ReadDeviceRecord(file, dirs_, record_, recordDefaults.vendor,
                                       recordDefaults.type, op_, &loadNotes);
    notes->libraryWrong = loadNotes.libraryWrong;
    // A device without a sane size cannot even have a buffer. What else the operations cannot
    // work with is only told: each operation refuses it, while the buffer can still be loaded,
    // edited and saved for the device.
    if (const auto reason = CheckDeviceSize(device->record_)) {
        refusal = *reason;
        return nullptr;
    }
    device->unusable_ = loadNotes.unusable;
    device->name_ = DeviceName{std::string(vendor), std::string(type)};
    device->file_ = file;
    device->values_ = PageValues::Defaults(device->record_.menuFilePath);
    if (!device->values_.Stage(dirs_.MenuIni(), device->menu_, &refusal))
        return nullptr;
    device->buffer_ = BufferFile::In(dirs_).Prepare(device->record_.deviceSize, &refusal);
    if (device->buffer_ == nullptr)
        return nullptr;
    return device;
}

bool DeviceSession::Commit(StagedDevice& device, std::string& refusal) {
    if (!device.buffer_->Commit(false)) {
        refusal = "The buffer file could not be written (" + dirs_.BufferFile().string() + ") !";
        return false;
    }
    if (!device.menu_.Commit())
        log_.WriteInfoLine("Error : The parameter values could not be saved to " +
                           dirs_.MenuIni().string());
    if (device.unusable_)
        log_.WriteInfoLine("Error : " + device.name_.type + " : " + *device.unusable_);
    selected_ = device.name_;
    deviceFile_ = device.file_;
    record_ = std::move(device.record_);
    values_ = std::move(device.values_);
    return true;
}

bool DeviceSession::SelectAndRemember(std::string_view vendor, std::string_view type,
                                      std::string* problem, StageNotes* notes) {
    const auto fail = [&](std::string text) {
        if (problem != nullptr)
            *problem = std::move(text);
        return false;
    };
    if (!library_)
        return fail("the device library is not open");
    const auto device = library_->DeviceNamed(vendor, type);
    if (!device) {
        return fail("no type '" + std::string(type) + "' of vendor '" + std::string(vendor) +
                    "' in the library");
    }
    const std::string notSelected =
        "the device " + device->vendor + " " + device->type + " was not selected";
    // The history, the buffer and Menu.ini are all made ready first and replaced only when each
    // of them could be: a select that fails changes none of them.
    IniFile history(dirs_.HistoryIni());
    history.WriteString(HistorySection(1), "Vendor", device->vendor);
    history.WriteString(HistorySection(1), "Type", device->type);
    StagedFile newHistory;
    if (!history.Stage(newHistory))
        return fail(notSelected + ": " + history.SaveError());
    std::string refusal;
    const auto staged = Stage(device->vendor, device->type, selected_, refusal, notes);
    if (!staged)
        return fail(refusal.empty() ? notSelected : notSelected + ": " + refusal);
    if (!Commit(*staged, refusal))
        return fail(notSelected + ": " + refusal);
    if (!newHistory.Commit()) {
        return fail("cannot write " + dirs_.HistoryIni().string() + ": " + std::strerror(errno));
    }
    return true;
}

// ---- the parameter values ----

void DeviceSession::StoreValues(const PageValues& values) {
    values_ = values;
    if (!values.Write(dirs_.MenuIni()))
        log_.WriteInfoLine("Error : The parameter values could not be saved to " +
                           dirs_.MenuIni().string());
}

// ---- the programmer link ----

bool DeviceSession::ReadChipId(bool targetBoardSuppliesEmulator) {
    if (!programmer_->OpenProgrammer(record_.driverImagePath, 0))
        return false;
    programmer_->SendTargetBoardMode(targetBoardSuppliesEmulator);
    return ReadId(*programmer_, record_);
}

// ---- detection ----

DetectionResult DeviceSession::Detect(const DetectionRequest& request, StageNotes* notes) {
    detected_.reset();
    const std::uint32_t start = clock_.TickMs();
    DetectionResult result;
    if (library_) {
        DetectionFilter accept;
        if (request.stageMatch) {
            accept = [this, &request, notes](const std::string& vendor, const std::string& type) {
                return StageDetected(vendor, type, request.recordDefaults, notes);
            };
        }
        // Staging a match reads the library and writes the log: on this thread, in the order of
        // the worker's lines.
        const bool searched =
            request.onWorker && OnUnit1Worker([&](Unit1Worker& worker) {
                DetectionFilter acceptHere;
                if (accept) {
                    acceptHere = [&](const std::string& vendor, const std::string& type) {
                        bool accepted = false;
                        worker.onStartingThread([&] { accepted = accept(vendor, type); });
                        return accepted;
                    };
                }
                result = AutoDetectDevice(worker.link, *library_,
                                          request.targetBoardSuppliesEmulator, acceptHere);
            });
        if (!searched)
            result = AutoDetectDevice(*programmer_, *library_, request.targetBoardSuppliesEmulator,
                                      accept);
    }
    const std::uint32_t elapsed = TicksBetween(start, clock_.TickMs());
    log_.WriteInfoLine(DetectionLine(result, elapsed));
    return result;
}

bool DeviceSession::OnUnit1Worker(const std::function<void(Unit1Worker&)>& work) {
    if (programmer_->Units().empty())
        return false;
    std::unique_ptr<UsbDevice> usb = usb_->NewHandle();
    if (!usb)
        return false;
    const ProgrammerUnit unit1 = programmer_->Units().front();
    // The worker opens unit 1's programmer on its own handle; this one is opened again after.
    usb_->Close();
    worker::EventQueue queue;
    InformationLog workerLog(clock_);
    worker::ForwardedLines lines(queue, log_);
    workerLog.Subscribe(&lines);
    worker::ForwardedOperator op(queue, op_);
    worker::NoPump noPump;
    bool adopted = false;
    {
        Programmer link(*usb, workerLog, op, noPump);
        worker::RunWhileServing(queue, programmer_->MessagePump(), [&] {
            adopted = link.AdoptUnit(unit1) && link.SelectUnit(0);
            if (!adopted)
                return;
            Unit1Worker worker{link, [&queue](const std::function<void()>& task) {
                                   queue.Call([&task] { task(); });
                               }};
            work(worker);
        });
    }
    workerLog.Unsubscribe(&lines);
    programmer_->SelectUnit(0);
    return adopted;
}

bool DeviceSession::StageDetected(const std::string& vendor, const std::string& type,
                                  const DeviceName& recordDefaults, StageNotes* notes) {
    if (IsSelected(vendor, type))
        return true;
    std::string refusal;
    std::unique_ptr<StagedDevice> device;
    const fs::path file = library_->DeviceFileOf(vendor, type);
    if (!io::IsRegularFile(file)) {
        refusal = "The device file does not exist (" + file.string() + ") !";
    } else {
        StageNotes staged;
        device = Stage(vendor, type, recordDefaults, refusal, &staged);
        if (notes != nullptr)
            notes->libraryWrong = notes->libraryWrong || staged.libraryWrong;
        if (!device && refusal.empty())
            refusal = "The device cannot be made ready !";
    }
    if (!device) {
        log_.WriteInfoLine(DetectedDeviceRefusedLine(vendor, type, refusal));
        return false;
    }
    detected_ = std::move(device);
    return true;
}

std::unique_ptr<StagedDevice> DeviceSession::TakeDetected(const DetectionResult& found,
                                                          const DeviceName& recordDefaults,
                                                          StageNotes* notes) {
    std::unique_ptr<StagedDevice> device = std::move(detected_);
    if (!found.found || !library_ || IsSelected(found.vendor, found.type))
        return nullptr;
    if (device && device->Vendor() == found.vendor && device->Type() == found.type)
        return device;
    std::string refusal;
    device = Stage(found.vendor, found.type, recordDefaults, refusal, notes);
    if (!device && !refusal.empty())
        log_.WriteInfoLine(DetectedDeviceRefusedLine(found.vendor, found.type, refusal));
    return device;
}

}  // namespace torq
