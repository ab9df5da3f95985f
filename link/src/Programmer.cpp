#include "torq/link/Programmer.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "torq/devlib/Ini.h"
#include "torq/devlib/Text.h"

namespace torq {

bool IsProgrammerIdentity(const UsbIdentity& identity) {
    return identity.vendorId == kProgrammerVendorId && identity.productId == kProgrammerProductId &&
           identity.manufacturer == kProgrammerManufacturer &&
           identity.product == kProgrammerProduct;
}

std::string FirmwareVersionText(std::span<const std::uint8_t> answer) {
    std::string text;
    for (std::uint8_t byte : answer) {
        if (byte == 0)
            break;
        text.push_back(static_cast<char>(byte));
    }
    const bool looksLikeVersion =
        !text.empty() && text[0] >= '0' && text[0] <= '9' && Contains(text, ".");
    return looksLikeVersion ? text : std::string(kNoFirmwareVersion);
}

namespace {

// Characters of a record line counted from 1, as hexadecimal; missing or non-hexadecimal
// characters read as 0.
std::uint32_t HexField(std::string_view line, std::size_t first, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = first - 1; i < first - 1 + count; ++i) {
        const int digit = i < line.size() ? HexDigitValue(line[i]) : 0;
        value = (value << 4) | static_cast<std::uint32_t>(digit < 0 ? 0 : digit);
    }
    return value;
}

}  // namespace

std::vector<ImageChunk> DriverImageChunks(const std::vector<std::string>& lines) {
    std::vector<ImageChunk> chunks;
    ImageChunk chunk;
    std::uint32_t nextAddress = 0, counter = 0;
    for (const std::string& line : lines) {
        if (line.empty())
            continue;
        if (HexField(line, 8, 2) != 0)
            continue;  // only data records load
        // The record as address and data: characters 4-7, then 2 x L characters from 10.
        const std::uint32_t declared = HexField(line, 2, 2);
        const std::string data = line.size() > 9 ? line.substr(9, 2 * declared) : std::string();
        const std::uint32_t address = HexField(line, 4, 4);
        std::uint32_t n = static_cast<std::uint32_t>(data.size() / 2);
        if (address >= kDriverImageLimit)
            continue;
        if (address + n > kDriverImageLimit)
            n = kDriverImageLimit - address;
        std::vector<std::uint8_t> bytes;
        for (std::uint32_t i = 0; i < n; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(HexField(data, 2 * i + 1, 2)));
        }
        counter += n;
        if (address != nextAddress || counter >= kDriverImageChunk) {
            if (!chunk.bytes.empty())
                chunks.push_back(std::move(chunk));
            chunk = ImageChunk{static_cast<std::uint16_t>(address), std::move(bytes)};
            counter = n;
        } else {
            chunk.bytes.insert(chunk.bytes.end(), bytes.begin(), bytes.end());
        }
        nextAddress = address + n;
    }
    if (!chunk.bytes.empty())
        chunks.push_back(std::move(chunk));
    return chunks;
}

Programmer::Programmer(UsbDevice& usb, InformationLog& log, Operator& op, Pump& pump)
    : usb_(&usb), log_(&log), op_(&op), pump_(&pump), channel_(usb, pump) {
    pause_ = [](std::uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    // A transfer the programmer holds (a state poll during a long erase) lets the window run.
    usb.SetWaitHook([this] { pump_->ProcessPendingMessages(); });
}

Programmer::~Programmer() {
    usb_->SetWaitHook({});
}

void Programmer::ReportCommunicationFailure() {
    log_->WriteInfoLine(kCommunicationFailureMessage, true);
}

bool Programmer::OpenWithRetries(int deviceNumber) {
    for (int attempt = 1;; ++attempt) {
        if (usb_->Open(deviceNumber))
            return true;
        if (attempt == kOpenAttempts)
            break;
        pause_(kOpenRetryPauseMs);
        pump_->ProcessPendingMessages();
    }
    // A device the operator could make usable (a missing permission) is named, not skipped.
    if (const std::string problem = usb_->OpenProblem(); !problem.empty()) {
        log_->WriteInfoLine("Error : " + problem, true);
    }
    return false;
}

bool PathBefore(std::string_view a, std::string_view b) {
    if (a.empty() || b.empty())
        return !a.empty() && b.empty();
    // Numbers separated by '-' and '.': compared one by one as numbers.
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = a[i] >= '0' && a[i] <= '9', digitB = b[j] >= '0' && b[j] <= '9';
        if (digitA && digitB) {
            std::uint64_t x = 0, y = 0;
            for (; i < a.size() && a[i] >= '0' && a[i] <= '9'; ++i)
                x = x * 10 + static_cast<std::uint64_t>(a[i] - '0');
            for (; j < b.size() && b[j] >= '0' && b[j] <= '9'; ++j)
                y = y * 10 + static_cast<std::uint64_t>(b[j] - '0');
            if (x != y)
                return x < y;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::string UnitStateText(const ProgrammerUnit& unit) {
    if (!unit.imageLoaded)
        return "driver image not loaded";
    if (unit.firmwareVersion == kNoFirmwareVersion)
        return "no firmware version";
    return "ready";
}

EnumerationResult Programmer::EnumerateProgrammers(const std::filesystem::path& selectedDriverImage,
                                                   int resetIdleLevel,
                                                   std::string_view imageOrigin) {
    EnumerationResult result;
    const int count = usb_->DeviceCount();
    unitMap_.assign(static_cast<std::size_t>(std::max(count, 0)), 0);
    std::vector<ProgrammerUnit> found;
    std::error_code error;
    const bool imageExists = !selectedDriverImage.empty() &&
                             std::filesystem::is_regular_file(selectedDriverImage, error);
    for (int i = 0; i < count; ++i) {
        OpenWithRetries(i);
        if (!usb_->IsOpen() || !IsProgrammerIdentity(usb_->Identity()))
            continue;
        ProgrammerUnit unit{i, usb_->Path(), usb_->Identity()};
        if (imageExists) {
            DownloadDriverImage(selectedDriverImage);
            unit.imageLoaded = true;
            result.downloaded = true;
        } else if (!result.imageMissing) {
            const std::string shown = selectedDriverImage.empty() && !imageOrigin.empty()
                                          ? std::string(imageOrigin)
                                          : selectedDriverImage.string();
            op_->Tell(Severity::Warning, "The '" + shown + "' not found.");
            result.imageMissing = true;
        }
        found.push_back(std::move(unit));
    }
    // Units follow the cabling, not the order the system lists the devices in.
    std::stable_sort(found.begin(), found.end(),
                     [](const ProgrammerUnit& a, const ProgrammerUnit& b) {
                         return PathBefore(a.path, b.path);
                     });
    if (found.size() > static_cast<std::size_t>(kMaxProgrammers))
        found.resize(static_cast<std::size_t>(kMaxProgrammers));
    const int registered = static_cast<int>(found.size());
    for (int unit = 0; unit < registered; ++unit)
        unitMap_[static_cast<std::size_t>(unit)] =
            static_cast<std::uint8_t>(found[static_cast<std::size_t>(unit)].device);
    channel_.SetProgrammerCount(registered);
    for (ProgrammerUnit& unit : found) {
        usb_->Open(unit.device);
        channel_.SetUnitMode(0);
        channel_.TargetReset(static_cast<std::uint16_t>(resetIdleLevel), 0);
        channel_.GetFirmwareVersion();  // whatever its result: a failed answer reads as "None"
        unit.firmwareVersion = FirmwareVersionText(std::span(channel_.Block()).first(5));
    }
    if (registered == 0) {
        channel_.GetFirmwareVersion();
        firmwareVersion_ = FirmwareVersionText(std::span(channel_.Block()).first(5));
    } else {
        firmwareVersion_ = found.front().firmwareVersion;
        if (registered > 1)
            usb_->Open(found.front().device);  // unit 1 is the one the window works with
    }
    units_ = std::move(found);
    result.programmers = registered;
    result.firmwareVersion = firmwareVersion_;
    return result;
}

bool Programmer::OpenProgrammer(const std::filesystem::path& driverImage, int unitIndex) {
    if (ProgrammerCount() == 0)
        return false;
    // UnitMap has an entry per device counted, but only the registered units' entries mean
    // anything: a higher index would open unit 1's device (entry 0) in its place.
    if (unitIndex < 0 || unitIndex >= ProgrammerCount())
        return false;
    OpenWithRetries(unitMap_[static_cast<std::size_t>(unitIndex)]);
    if (!usb_->IsOpen())
        return false;
    DownloadDriverImage(driverImage);  // its result is not looked at: the run goes on
    return true;
}

bool Programmer::AdoptUnit(const ProgrammerUnit& unit) {
    const int count = usb_->DeviceCount();
    for (int number = 0; number < count; ++number) {
        const bool found = unit.path.empty() ? number == unit.device
                                             : usb_->Open(number) && usb_->Path() == unit.path;
        if (!found)
            continue;
        usb_->Close();
        units_ = {unit};
        units_.front().device = number;
        unitMap_ = {static_cast<std::uint8_t>(number)};
        channel_.SetProgrammerCount(1);
        firmwareVersion_ = unit.firmwareVersion;
        return true;
    }
    usb_->Close();
    return false;
}

bool Programmer::SelectUnit(int unitIndex) {
    if (unitIndex < 0 || unitIndex >= ProgrammerCount())
        return false;
    return usb_->Open(unitMap_[static_cast<std::size_t>(unitIndex)]);
}

bool Programmer::DownloadDriverImage(const std::filesystem::path& driverImage) {
    const SmallFile file = ReadSmallFile(driverImage, kDriverImageFileLimit);
    if (!file.exists || !file.problem.empty()) {
        log_->WriteInfoLine("Error : Cannot read the driver image '" + driverImage.string() + "'" +
                                (file.problem.empty() ? "." : ": " + file.problem + "."),
                            true);
        return false;
    }
    std::vector<std::string> lines;
    std::string_view text = file.contents;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string line(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
    }
    const std::vector<ImageChunk> chunks = DriverImageChunks(lines);
    if (!RestartFirmware(true))
        return false;
    for (const ImageChunk& chunk : chunks)
        channel_.RamWrite(chunk.address, chunk.bytes);
    return RestartFirmware(false);
}

bool Programmer::RestartFirmware(bool hold) {
    if (!usb_->IsOpen()) {
        op_->Tell(Severity::Error, kNoUsbDevicesMessage);
        return false;
    }
    const std::uint8_t value = hold ? 1 : 0;
    channel_.RamWrite(kCpuControlAddress, std::span(&value, 1));  // result not looked at
    return true;
}

bool Programmer::SendTargetBoardMode(bool targetBoardSuppliesEmulator) {
    // A plain character comparison, so "None" sorts after "1.03" and is told.
    if (firmwareVersion_ < std::string("1.03"))
        return true;
    return channel_.SetTargetBoard(targetBoardSuppliesEmulator ? 1 : 0);
}

}  // namespace torq
