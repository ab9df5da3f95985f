#include "torq/link/Identification.h"

#include "SpiOpcodes.h"

#include <cstdio>

#include "torq/devlib/Text.h"

namespace torq {

std::optional<IdCommand> IdCommandOf(std::uint8_t selector) {
    switch (selector) {
        case 0:
            return IdCommand{spi::kJedecId, 0};
        case 1:
            return IdCommand{spi::kElectronicSignature, 3};
        case 2:
            return IdCommand{spi::kDataFlashStatus, 0};
        case 3:
            return IdCommand{spi::kAt25FProductId, 0};
        case 4:
            return IdCommand{spi::kManufacturerDeviceId, 0};
        default:
            return std::nullopt;
    }
}

bool IdentificationExchange(Programmer& programmer, std::uint8_t opcode, IdAnswer& answer,
                            ExchangeFailure onFailure) {
    CommandChannel& channel = programmer.Channel();
    if (onFailure == ExchangeFailure::Ignore) {
        // Every transfer is made; what each one says is not looked at.
        bool ok = channel.StartOperation(operation::kIdentify, 0);
        ok = static_cast<bool>(channel.PollState(operation::kIdentify)) && ok;
        ok = channel.SendScript(Script().Byte(opcode)) && ok;
        ok = static_cast<bool>(channel.PollBlockReady()) && ok;
        if (!channel.ReceiveBlock(answer, 0x00)) {
            answer.fill(0x00);
            ok = false;
        }
        return ok;
    }
    const bool ok = channel.StartOperation(operation::kIdentify, 0) &&
                    channel.PollState(operation::kIdentify) &&
                    channel.SendScript(Script().Byte(opcode)) && channel.PollBlockReady() &&
                    channel.ReceiveBlock(answer, 0x00);
    if (!ok)
        programmer.ReportCommunicationFailure();
    return ok;
}

std::string IdText(const IdAnswer& answer, std::size_t first, std::size_t count,
                   std::uint32_t mask) {
    if (count == 0 || count > 8 || first + count > answer.size())
        return {};
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = (value << 8) | answer[first + i];
    return HexText(value & mask, static_cast<int>(2 * count));
}

bool ReadId(Programmer& programmer, const DeviceRecord& device, std::string* idText) {
    if (!programmer.Restart())
        return false;
    const std::size_t count = device.IdByteCount();
    const auto command = IdCommandOf(device.IdSelector());
    if (!command)
        return false;
    IdAnswer answer{};
    if (!IdentificationExchange(programmer, command->opcode, answer))
        return false;
    const std::string read = IdText(answer, command->firstIdByte, count, device.devCode);
    if (idText != nullptr)
        *idText = read;
    // A count that gives no number never matches.
    const bool match =
        !read.empty() && read == HexText(device.manCode, static_cast<int>(2 * count));
    if (!match) {
        programmer.Log().WriteInfoLine("Read ID : [0x" + read + "] Fail", true);
        return false;
    }
    if (!programmer.Channel().PollState(state::kFinished)) {
        programmer.ReportCommunicationFailure();
        return false;
    }
    programmer.Log().WriteInfoLine("Read ID : [0x" + read + "] Pass", true);
    return true;
}

DetectionResult AutoDetectDevice(Programmer& programmer, const DeviceLibrary& library,
                                 bool targetBoardSuppliesEmulator, const DetectionFilter& accept) {
    DetectionResult result;
    programmer.SendTargetBoardMode(targetBoardSuppliesEmulator);  // its result is not tested
    if (!library.IndexExists())
        return result;
    const std::vector<ReadIdEntry> entries = library.ReadIdEntries();
    // The candidates in search order with their codes, read from the library once per detection
    // (not once per answer: each type's device file is checked when it is listed).
    struct Candidate {
        std::string vendor, type;
        std::uint32_t mask = 0, expected = 0;
        bool refused = false;  // the caller cannot take it: never a match again
    };
    std::vector<Candidate> candidates;
    for (const std::string& vendor : library.VendorsInFileOrder()) {
        for (const std::string& type : library.TypesInFileOrder(vendor)) {
            candidates.push_back({vendor, type, library.DetectDevCode(vendor, type),
                                  library.DetectManCode(vendor, type)});
        }
    }
    for (const auto& level : kDetectionLevels) {
        if (!library.LevelEnabled(level.level))
            continue;
        const std::filesystem::path image = library.Directories().DriverImage(level.image);
        std::error_code error;
        if (!std::filesystem::is_regular_file(image, error))
            continue;
        programmer.OpenProgrammer(image, 0);  // its result is not tested
        for (const ReadIdEntry& entry : entries) {
            if (!programmer.Restart())
                return result;
            IdAnswer answer{};
            if (!IdentificationExchange(programmer, entry.opcode, answer)) {
                result.communicationFailed = true;
                return result;
            }
            if (!programmer.Channel().PollState(state::kFinished)) {
                programmer.ReportCommunicationFailure();
                result.communicationFailed = true;
                return result;
            }
            std::uint32_t id = 0;
            for (std::size_t i = 0; i < 4; ++i)
                id = (id << 8) | answer[entry.offset + i];
            for (Candidate& candidate : candidates) {
                const std::uint32_t masked = id & candidate.mask;
                if (masked != candidate.expected || candidate.refused)
                    continue;
                if (accept && !accept(candidate.vendor, candidate.type)) {
                    candidate.refused = true;
                    continue;
                }
                result.found = true;
                result.idText = HexText(masked);
                result.vendor = candidate.vendor;
                result.type = candidate.type;
                result.level = level.level;
                return result;
            }
        }
    }
    return result;
}

std::string SecondsText(std::uint32_t milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%03u", milliseconds / 1000, milliseconds % 1000);
    return text;
}

std::string DetectionLine(const DetectionResult& result, std::uint32_t elapsedMs) {
    const std::string time = "Total Time : " + SecondsText(elapsedMs) + " Sec.";
    if (!result.found)
        return "Automatically detect the device ID is not found : " + time;
    return "Automatically detect the device ID is found : " + result.vendor + " -> " + result.type +
           " -> [" + result.idText + "] : " + time;
}

}  // namespace torq
