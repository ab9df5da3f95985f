#include "torq/sim/SimulateOption.h"

#include <charconv>
#include <optional>
#include <vector>

#include "torq/devlib/Ini.h"
#include "torq/devlib/Text.h"
#include "torq/sim/ChipCatalog.h"

namespace torq::sim {

namespace {

std::vector<std::string_view> SplitAtCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(
            text.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (comma == std::string_view::npos)
            return parts;
        start = comma + 1;
    }
}

std::optional<double> ParseDouble(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

}  // namespace

std::string CatalogNames() {
    std::string names;
    for (const auto& spec : ChipCatalog())
        names += (names.empty() ? "" : ", ") + spec.name;
    return names;
}

SimulateParse ParseSimulateOption(std::string_view text) {
    SimulateParse result;
    const std::vector<std::string_view> parts = SplitAtCommas(text);
    ProgrammerSetup setup;
    const std::string_view chipName = parts[0];
    if (!EqualsIgnoringCase(chipName, "none")) {
        for (const auto& spec : ChipCatalog()) {
            if (EqualsIgnoringCase(spec.name, chipName))
                setup.chip = spec;
        }
        if (!setup.chip) {
            result.error = "unknown chip '" + std::string(chipName) + "'; the simulator knows " +
                           CatalogNames();
            return result;
        }
    }

    // Options that act on the built programmer are kept for after it exists.
    struct Pending {
        std::string key;
        std::string value;
        std::int64_t number;
    };
    std::vector<Pending> pending;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        const std::size_t equals = part.find('=');
        if (equals == std::string_view::npos) {
            result.error = "option '" + std::string(part) + "' needs a value (option=value)";
            return result;
        }
        const std::string key = ToUpper(part.substr(0, equals));
        const std::string value(part.substr(equals + 1));
        const std::optional<std::int32_t> parsed = ParseIniInteger(value);
        const auto number = [&](std::int64_t minimum) -> std::optional<std::int64_t> {
            if (!parsed || *parsed < minimum) {
                result.error = "option '" + std::string(part) + "' needs a number";
                return std::nullopt;
            }
            return *parsed;
        };
        if (key == "FIRMWARE") {
            setup.firmware.version = value;
        } else if (key == "FILE") {
            setup.contentFile = value;
        } else if (key == "MANUFACTURER") {
            setup.identity.manufacturer = value;
        } else if (key == "PRODUCT") {
            setup.identity.product = value;
        } else if (key == "SERIAL") {
            setup.identity.serialNumber = value;
        } else if (key == "BINARY" || key == "BUSY" || key == "VID" || key == "PID") {
            const auto n = number(0);
            if (!n)
                return result;
            if (key == "BINARY")
                setup.binaryPages = *n != 0;
            if (key == "BUSY")
                setup.firmware.busyPolls = static_cast<int>(*n);
            if (key == "VID")
                setup.identity.vendorId = static_cast<std::uint16_t>(*n);
            if (key == "PID")
                setup.identity.productId = static_cast<std::uint16_t>(*n);
        } else if (key == "FAIL" || key == "TIMEOUT" || key == "UNPLUG_AFTER" ||
                   key == "OPEN_FAILURES" || key == "STALL" || key == "STALL_BLOCK" ||
                   key == "FAIL_REQUEST" || key == "LOG") {
            const auto n = number(key == "FAIL" || key == "TIMEOUT" ? 1 : 0);
            if (!n)
                return result;
            pending.push_back({key, value, *n});
        } else if (key == "FAIL_BULK") {
            if (!EqualsIgnoringCase(value, "in") && !EqualsIgnoringCase(value, "out")) {
                result.error = "option '" + std::string(part) + "' takes in or out";
                return result;
            }
            pending.push_back({key, ToUpper(value), 0});
        } else if (key == "CONTROL_US" || key == "BULK_US" || key == "BULK_NS_PER_BYTE") {
            if (!ParseDouble(value)) {
                result.error = "option '" + std::string(part) + "' needs a number";
                return result;
            }
            pending.push_back({key, value, 0});
        } else {
            result.error = "unknown simulator option '" + std::string(part.substr(0, equals)) + "'";
            return result;
        }
    }

    auto programmer = std::make_unique<SimulatedProgrammer>(std::move(setup));
    if (!programmer->SetupProblem().empty()) {
        result.error = programmer->SetupProblem();
        return result;
    }
    LatencyModel latency;
    for (const Pending& option : pending) {
        const auto n = static_cast<std::uint64_t>(option.number);
        if (option.key == "FAIL")
            programmer->FailTransfer(n);
        if (option.key == "TIMEOUT")
            programmer->FailTransfer(n, FaultEffect::Timeout);
        if (option.key == "UNPLUG_AFTER")
            programmer->UnplugAfter(n);
        if (option.key == "OPEN_FAILURES")
            programmer->FailOpens(static_cast<int>(n));
        if (option.key == "STALL")
            programmer->Firmware().StallState(static_cast<std::uint8_t>(n));
        if (option.key == "STALL_BLOCK")
            programmer->Firmware().StallBlockReady(n != 0);
        if (option.key == "LOG")
            programmer->EnableLog(n != 0);
        if (option.key == "FAIL_REQUEST") {
            programmer->FailEvery({std::nullopt, static_cast<std::uint8_t>(n)});
        }
        if (option.key == "FAIL_BULK") {
            programmer->FailEvery(
                {option.value == "IN" ? TransferKind::BulkIn : TransferKind::BulkOut,
                 std::nullopt});
        }
        if (option.key == "CONTROL_US")
            latency.controlMicroseconds = *ParseDouble(option.value);
        if (option.key == "BULK_US")
            latency.bulkMicroseconds = *ParseDouble(option.value);
        if (option.key == "BULK_NS_PER_BYTE")
            latency.bulkNanosecondsPerByte = *ParseDouble(option.value);
    }
    programmer->SetLatency(latency);
    result.programmer = std::move(programmer);
    return result;
}

}  // namespace torq::sim
