#include "torq/sim/SimulateOption.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
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

// The numeric options and the values each takes.
struct NumberRange {
    std::string_view key;
    double minimum, maximum;
    bool whole = true;
};
constexpr std::int64_t kIntMax = 0x7FFFFFFF;
// Beyond the host's 10 s time-out a transfer is lost anyway.
constexpr double kMaxBusMicroseconds = 10'000'000;
constexpr NumberRange kNumbers[] = {
    {"BINARY", 0, 1},
    {"BUSY", 0, 1'000'000},
    {"VID", 0, 0xFFFF},
    {"PID", 0, 0xFFFF},
    {"FAIL", 1, kIntMax},
    {"TIMEOUT", 1, kIntMax},
    {"UNPLUG_AFTER", 0, kIntMax},
    {"OPEN_FAILURES", 0, kIntMax},
    {"STALL", 0, 0xFF},
    {"STALL_BLOCK", 0, 1},
    {"FAIL_REQUEST", 0, 0xFF},
    {"LOG", 0, 1},
    {"REALTIME", 0, 1},
    {"WP", 0, 1},
    {"CONTROL_US", 0, kMaxBusMicroseconds, false},
    {"BULK_US", 0, kMaxBusMicroseconds, false},
    {"BULK_NS_PER_BYTE", 0, kMaxBusMicroseconds, false},
};

const NumberRange* NumberOption(std::string_view key) {
    for (const NumberRange& range : kNumbers) {
        if (range.key == key)
            return &range;
    }
    return nullptr;
}

// A finite number inside the range, or the reason it is refused.
std::optional<double> ParseNumber(const NumberRange& range, std::string_view text,
                                  std::string_view option, std::string& error) {
    std::optional<double> value;
    if (range.whole) {
        if (const auto parsed = ParseIniInteger(text))
            value = *parsed;
    } else {
        double parsed = 0;
        const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), parsed);
        if (failure == std::errc() && end == text.data() + text.size() && std::isfinite(parsed))
            value = parsed;
    }
    if (!value || *value < range.minimum || *value > range.maximum) {
        char limits[64];
        std::snprintf(limits, sizeof limits, "%.0f to %.0f", range.minimum, range.maximum);
        error = "option '" + std::string(option) + "' needs " +
                (range.whole ? "a whole number" : "a number") + " from " + limits;
        return std::nullopt;
    }
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

    // Numbers by option, and the options that act on the built programmer.
    std::map<std::string, double> numbers;
    std::optional<TransferKind> failBulk;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        const std::size_t equals = part.find('=');
        if (equals == std::string_view::npos) {
            result.error = "option '" + std::string(part) + "' needs a value (option=value)";
            return result;
        }
        const std::string key = ToUpper(part.substr(0, equals));
        const std::string value(part.substr(equals + 1));
        if (const NumberRange* range = NumberOption(key)) {
            const auto number = ParseNumber(*range, value, part, result.error);
            if (!number)
                return result;
            numbers[key] = *number;
        } else if (key == "FIRMWARE") {
            setup.firmware.version = value;
        } else if (key == "FILE") {
            setup.contentFile = value;
        } else if (key == "MANUFACTURER") {
            setup.identity.manufacturer = value;
        } else if (key == "PRODUCT") {
            setup.identity.product = value;
        } else if (key == "SERIAL") {
            setup.identity.serialNumber = value;
        } else if (key == "FAIL_BULK") {
            if (!EqualsIgnoringCase(value, "in") && !EqualsIgnoringCase(value, "out")) {
                result.error = "option '" + std::string(part) + "' takes in or out";
                return result;
            }
            failBulk =
                EqualsIgnoringCase(value, "in") ? TransferKind::BulkIn : TransferKind::BulkOut;
        } else {
            result.error = "unknown simulator option '" + std::string(part.substr(0, equals)) + "'";
            return result;
        }
    }
    const auto given = [&](const char* key) { return numbers.find(key) != numbers.end(); };
    const auto whole = [&](const char* key) { return static_cast<std::uint64_t>(numbers.at(key)); };
    if (given("BINARY"))
        setup.binaryPages = whole("BINARY") != 0;
    if (given("BUSY"))
        setup.firmware.busyPolls = static_cast<int>(whole("BUSY"));
    if (given("VID"))
        setup.identity.vendorId = static_cast<std::uint16_t>(whole("VID"));
    if (given("PID"))
        setup.identity.productId = static_cast<std::uint16_t>(whole("PID"));
    if (given("WP"))
        setup.writeProtectHeld = whole("WP") != 0;

    auto programmer = std::make_unique<SimulatedProgrammer>(std::move(setup));
    if (!programmer->SetupProblem().empty()) {
        result.error = programmer->SetupProblem();
        return result;
    }
    if (given("FAIL"))
        programmer->FailTransfer(whole("FAIL"));
    if (given("TIMEOUT"))
        programmer->FailTransfer(whole("TIMEOUT"), FaultEffect::Timeout);
    if (given("UNPLUG_AFTER"))
        programmer->UnplugAfter(whole("UNPLUG_AFTER"));
    if (given("OPEN_FAILURES"))
        programmer->FailOpens(static_cast<int>(whole("OPEN_FAILURES")));
    if (given("STALL"))
        programmer->Firmware().StallState(static_cast<std::uint8_t>(whole("STALL")));
    if (given("STALL_BLOCK"))
        programmer->Firmware().StallBlockReady(whole("STALL_BLOCK") != 0);
    if (given("FAIL_REQUEST"))
        programmer->FailEvery({std::nullopt, static_cast<std::uint8_t>(whole("FAIL_REQUEST"))});
    if (failBulk)
        programmer->FailEvery({*failBulk, std::nullopt});
    if (given("LOG"))
        programmer->EnableLog(whole("LOG") != 0);

    // Real time runs on a high-speed bus unless the latency is given.
    const bool realTime = given("REALTIME") && whole("REALTIME") != 0;
    LatencyModel latency = realTime ? kHighSpeedBus : LatencyModel{};
    if (given("CONTROL_US"))
        latency.controlMicroseconds = numbers.at("CONTROL_US");
    if (given("BULK_US"))
        latency.bulkMicroseconds = numbers.at("BULK_US");
    if (given("BULK_NS_PER_BYTE"))
        latency.bulkNanosecondsPerByte = numbers.at("BULK_NS_PER_BYTE");
    programmer->SetLatency(latency);
    if (realTime)
        programmer->SetRealTime(std::make_shared<WallClock>());
    result.programmer = std::move(programmer);
    return result;
}

}  // namespace torq::sim
