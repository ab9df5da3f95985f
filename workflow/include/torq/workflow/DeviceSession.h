// What a front end needs to work a chip, without a toolkit: the device library, the selected
// device with the files made for it (the buffer, Menu.ini and the device record of History.ini),
// the parameter values the operations use, the programmer link and the detection of the chip in
// the socket. It reports through the information log and asks through the operator it is given,
// and keeps nothing outside itself: each programmer unit can have a session of its own.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "torq/devlib/DeviceLibrary.h"
#include "torq/devlib/DeviceRecord.h"
#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Ini.h"
#include "torq/devlib/PageValues.h"
#include "torq/devlib/ProgramDirectory.h"
#include "torq/devlib/Seams.h"
#include "torq/link/DeviceOperations.h"
#include "torq/link/Identification.h"
#include "torq/link/Programmer.h"
#include "torq/usb/UsbDevice.h"

namespace torq {

class ReplacementFile;

// "The detected device Winbond -> W25X40 cannot be selected : " + the reason.
std::string DetectedDeviceRefusedLine(std::string_view vendor, std::string_view type,
                                      std::string_view reason);

// The parts of the program a session works through.
struct DeviceSessionSeams {
    InformationLog& log;
    Operator& op;
    Pump& pump;
    const Clock& clock;
    std::unique_ptr<UsbDevice> usb;  // libusb or the simulated programmer
};

// A device made ready to be selected with nothing changed yet: its record, and its new buffer
// and Menu.ini written beside the old files.
class StagedDevice {
  public:
    StagedDevice();
    ~StagedDevice();
    StagedDevice(const StagedDevice&) = delete;
    StagedDevice& operator=(const StagedDevice&) = delete;

    const std::string& Vendor() const { return name_.vendor; }
    const std::string& Type() const { return name_.type; }
    const std::filesystem::path& DeviceFile() const { return file_; }
    const DeviceRecord& Record() const { return record_; }

  private:
    friend class DeviceSession;
    DeviceName name_;
    std::filesystem::path file_;
    DeviceRecord record_;
    std::optional<std::string> unusable_;  // what the operations will refuse, when anything
    PageValues values_;
    std::unique_ptr<ReplacementFile> buffer_;
    StagedFile menu_;
};

// What staging a device noticed besides its refusal.
struct StageNotes {
    // The library names a device file that is not there: the operator was told ("Error :
    // SelectINI->[vendor]->type") and the program cannot go on with this library.
    bool deviceFileMissing = false;
    // The record's "device library is wrong" warning was shown (the window focuses unit 1's
    // vendor box).
    bool libraryWrong = false;
};

struct DetectionRequest {
    bool targetBoardSuppliesEmulator = false;
    // A match other than the selected device is staged as it is found; one that cannot be
    // counts as no match (the reason logged) and the search goes on. TakeDetected hands the
    // staged device over.
    bool stageMatch = false;
    // The names a device file without BRAND or NAME gives its record (see Stage).
    DeviceName recordDefaults;
    // The search runs on a worker with unit 1's programmer on a handle of its own, while this
    // thread processes its messages and shows the lines as they come (the window's detection).
    bool onWorker = false;
};

class DeviceSession {
  public:
    DeviceSession(ProgramDirectory dirs, DeviceSessionSeams seams);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    const ProgramDirectory& Directories() const { return dirs_; }

    // ---- the device library ----
    // Opens Select.ini and reads its date and vendor list; the error lines of empty vendor keys go
    // to `vendorErrors` when given. False when the library is not ours (its date is read all the
    // same).
    bool OpenLibrary(std::vector<std::string>* vendorErrors = nullptr);
    // The opened library; null before OpenLibrary.
    const DeviceLibrary* Library() const { return library_ ? &*library_ : nullptr; }
    const std::string& LibraryDate() const { return libraryDate_; }
    const std::vector<std::string>& Vendors() const { return vendors_; }
    // A device named in any letter case, as the library spells it.
    std::optional<DeviceName> DeviceNamed(std::string_view vendor, std::string_view type) const;

    // ---- the selected device ----
    const std::string& Vendor() const { return selected_.vendor; }
    const std::string& Type() const { return selected_.type; }
    const std::filesystem::path& DeviceFile() const { return deviceFile_; }
    const DeviceRecord& Record() const { return record_; }
    bool IsSelected(std::string_view vendor, std::string_view type) const;

    // The device History.ini remembers for unit 1, taken as it is: its record read, the buffer and
    // Menu.ini left as they are (they persist between commands). With `fallBackToFirst`, a missing
    // selection takes the first type of the first vendor. False, with the reason, when the library
    // is not open or has no such device, or nothing is remembered.
    bool OpenRemembered(bool fallBackToFirst, std::string* problem);

    // ---- the staged select ----
    // Makes a device ready beside the selected one, changing nothing: its record (a device file
    // without BRAND or NAME gives it `recordDefaults`), its erased buffer and Menu.ini reset to
    // its defaults. Null when refused, with the reason in `refusal` (empty when the operator was
    // told already): a device without a sane size, a buffer or Menu.ini that cannot be written, a
    // missing device file. What else the record lacks is only kept: Commit logs it and each
    // operation refuses the device.
    std::unique_ptr<StagedDevice> Stage(std::string_view vendor, std::string_view type,
                                        const DeviceName& recordDefaults, std::string& refusal,
                                        StageNotes* notes = nullptr);
    // Puts the staged buffer and Menu.ini in place and makes the device the selected one. False,
    // with the reason, when the buffer could not be replaced: nothing changed then. A Menu.ini
    // that could not be put in place is logged.
    bool Commit(StagedDevice& device, std::string& refusal);
    // Selects a device named in any letter case and remembers it as unit 1's in History.ini. The
    // buffer, Menu.ini and History.ini are replaced together once each could be written: a select
    // that fails changes none of them. False with the reason.
    bool SelectAndRemember(std::string_view vendor, std::string_view type, std::string* problem,
                           StageNotes* notes = nullptr);

    // ---- the parameter values (Menu.ini as the operations use it) ----
    const PageValues& Values() const { return values_; }
    // Keeps and writes them; a failed write is logged.
    void StoreValues(const PageValues& values);

    // ---- the programmer link ----
    UsbDevice& Usb() { return *usb_; }
    Programmer& Link() { return *programmer_; }
    DeviceOperations& Operations() { return *operations_; }
    int ProgrammerCount() const { return programmer_->ProgrammerCount(); }
    std::string FirmwareVersion() const { return programmer_->FirmwareVersion(); }
    // Read ID: opens the programmer with the selected device's image and checks the chip.
    bool ReadChipId(bool targetBoardSuppliesEmulator);
    // Runs `work` on a worker with unit 1's programmer on a USB handle of its own, while this
    // thread processes its messages and shows the worker's lines and questions as they come;
    // afterwards unit 1's programmer is the open one here again. False (nothing run) when no
    // handle can be had or the programmer is no longer there.
    struct Unit1Worker {
        Programmer& link;
        // Runs a task on the thread that started the worker and waits for it.
        std::function<void(const std::function<void()>&)> onStartingThread;
    };
    bool OnUnit1Worker(const std::function<void(Unit1Worker&)>& work);

    // ---- detection ----
    // The search of the library for the chip in the socket, timed, with its found or not-found
    // line (no library: not found). What the staging of matches noticed goes to `notes`.
    DetectionResult Detect(const DetectionRequest& request, StageNotes* notes = nullptr);
    // The device the last staging detection made ready for `found`, staged now when it was not
    // (the reason logged when it cannot be). Null for the selected device and when refused.
    std::unique_ptr<StagedDevice> TakeDetected(const DetectionResult& found,
                                               const DeviceName& recordDefaults,
                                               StageNotes* notes = nullptr);

  private:
    bool StageDetected(const std::string& vendor, const std::string& type,
                       const DeviceName& recordDefaults, StageNotes* notes);

    ProgramDirectory dirs_;
    InformationLog& log_;
    Operator& op_;
    const Clock& clock_;

    std::optional<DeviceLibrary> library_;
    std::string libraryDate_ = "None";
    std::vector<std::string> vendors_;

    DeviceName selected_;
    std::filesystem::path deviceFile_;
    DeviceRecord record_;
    PageValues values_;

    std::unique_ptr<UsbDevice> usb_;
    std::unique_ptr<Programmer> programmer_;
    std::unique_ptr<DeviceOperations> operations_;

    // The device the last staging detection made ready.
    std::unique_ptr<StagedDevice> detected_;
};

}  // namespace torq
