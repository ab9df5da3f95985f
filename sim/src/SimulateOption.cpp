#include "torq/sim/SimulateOption.h"

#include <cctype>
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

namespace {

// One --simulate text read, before the bus is built.
struct ProgrammerText {
    ProgrammerSetup setup;
    std::map<std::string, double> numbers;
    std::optional<TransferKind> failBulk;
    bool serialGiven = false;
    int copies = 1;  // CHIP*N
};

// These describe the bus all programmers share, not one programmer.
constexpr const char* kBusOptions[] = {"LOG", "REALTIME", "CONTROL_US", "BULK_US",
                                       "BULK_NS_PER_BYTE"};

std::optional<ProgrammerText> ReadText(std::string_view text, std::string& error) {
    ProgrammerText read;
    ProgrammerSetup& setup = read.setup;
    const std::vector<std::string_view> parts = SplitAtCommas(text);
    std::string_view chipName = parts[0];
    if (const std::size_t star = chipName.find('*'); star != std::string_view::npos) {
        const auto copies = ParseIniInteger(chipName.substr(star + 1));
        if (!copies || *copies < 1 || *copies > kMaxSimulatedProgrammers) {
            error = "'" + std::string(chipName) + "': CHIP*N takes N from 1 to " +
                    std::to_string(kMaxSimulatedProgrammers);
            return std::nullopt;
        }
        read.copies = static_cast<int>(*copies);
        chipName = chipName.substr(0, star);
    }
    if (!EqualsIgnoringCase(chipName, "none")) {
        for (const auto& spec : ChipCatalog()) {
            if (EqualsIgnoringCase(spec.name, chipName))
                setup.chip = spec;
        }
        if (!setup.chip) {
            error = "unknown chip '" + std::string(chipName) + "'; the simulator knows " +
                    CatalogNames();
            return std::nullopt;
        }
    }

    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string_view part = parts[i];
        const std::size_t equals = part.find('=');
        if (equals == std::string_view::npos) {
            error = "option '" + std::string(part) + "' needs a value (option=value)";
            return std::nullopt;
        }
        const std::string key = ToUpper(part.substr(0, equals));
        const std::string value(part.substr(equals + 1));
        if (const NumberRange* range = NumberOption(key)) {
            const auto number = ParseNumber(*range, value, part, error);
            if (!number)
                return std::nullopt;
            read.numbers[key] = *number;
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
            read.serialGiven = true;
        } else if (key == "FAIL_BULK") {
            if (!EqualsIgnoringCase(value, "in") && !EqualsIgnoringCase(value, "out")) {
                error = "option '" + std::string(part) + "' takes in or out";
                return std::nullopt;
            }
            read.failBulk =
                EqualsIgnoringCase(value, "in") ? TransferKind::BulkIn : TransferKind::BulkOut;
        } else {
            error = "unknown simulator option '" + std::string(part.substr(0, equals)) + "'";
            return std::nullopt;
        }
    }
    const auto given = [&](const char* key) { return read.numbers.count(key) != 0; };
    const auto whole = [&](const char* key) {
        return static_cast<std::uint64_t>(read.numbers.at(key));
    };
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
    return read;
}

// Copy n (from 2) of CHIP*N with file=chip.bin keeps its content in chip-n.bin.
std::filesystem::path CopyFile(const std::filesystem::path& file, int copy) {
    if (copy == 1)
        return file;
    std::filesystem::path named = file;
    named.replace_filename(file.stem().string() + "-" + std::to_string(copy) +
                           file.extension().string());
    return named;
}

}  // namespace

std::filesystem::path SimulatedCopyFile(const std::filesystem::path& file, int copy) {
    return CopyFile(file, copy);
}

SimulateParse ParseSimulateOption(std::string_view text) {
    return ParseSimulateOptions(std::vector<std::string>{std::string(text)});
}

SimulateParse ParseSimulateOptions(const std::vector<std::string>& texts) {
    SimulateParse result;
    std::vector<ProgrammerText> programmers;
    for (const std::string& text : texts) {
        std::optional<ProgrammerText> read = ReadText(text, result.error);
        if (!read)
            return result;
        const int copies = read->copies;
        for (int copy = 1; copy <= copies; ++copy) {
            ProgrammerText one = *read;
            if (!one.setup.contentFile.empty())
                one.setup.contentFile = CopyFile(read->setup.contentFile, copy);
            programmers.push_back(std::move(one));
        }
    }
    if (programmers.empty()) {
        result.error = "no chip given";
        return result;
    }
    if (programmers.size() > static_cast<std::size_t>(kMaxSimulatedProgrammers)) {
        result.error = "at most " + std::to_string(kMaxSimulatedProgrammers) +
                       " simulated programmers, " + std::to_string(programmers.size()) + " given";
        return result;
    }
    const bool several = programmers.size() > 1;
    // Each programmer has its own serial number (SIM00001, SIM00002, ...) unless one is given,
    // and its own chip file: two chips in one file would overwrite each other.
    for (std::size_t i = 0; i < programmers.size(); ++i) {
        ProgrammerText& p = programmers[i];
        if (!p.serialGiven) {
            char serial[32];
            std::snprintf(serial, sizeof serial, "SIM%05zu", i + 1);
            p.setup.identity.serialNumber = serial;
        }
        for (std::size_t j = 0; j < i; ++j) {
            const auto& file = p.setup.contentFile;
            if (!file.empty() &&
                file.lexically_normal() == programmers[j].setup.contentFile.lexically_normal()) {
                result.error = "simulated programmers " + std::to_string(j + 1) + " and " +
                               std::to_string(i + 1) + " both keep their chip in '" +
                               file.string() + "'; each needs its own file";
                return result;
            }
        }
    }
    // The bus's options: one value for the whole bus.
    std::map<std::string, double> bus;
    for (const char* key : kBusOptions) {
        for (const ProgrammerText& p : programmers) {
            const auto found = p.numbers.find(key);
            if (found == p.numbers.end())
                continue;
            const auto [it, inserted] = bus.emplace(key, found->second);
            if (!inserted && it->second != found->second) {
                std::string name = key;
                for (char& c : name)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                result.error = "option '" + name +
                               "' describes the bus all simulated programmers share: give it "
                               "one value";
                return result;
            }
        }
    }

    std::unique_ptr<SimulatedProgrammer> programmer;
    for (std::size_t i = 0; i < programmers.size(); ++i) {
        if (i == 0)
            programmer = std::make_unique<SimulatedProgrammer>(programmers[i].setup);
        else
            programmer->AddProgrammer(programmers[i].setup);
        if (!programmer->SetupProblem().empty()) {
            result.error = (several ? "programmer " + std::to_string(i + 1) + ": " : "") +
                           programmer->SetupProblem();
            return result;
        }
    }
    for (std::size_t i = 0; i < programmers.size(); ++i) {
        const ProgrammerText& p = programmers[i];
        const int device = static_cast<int>(i);
        const auto given = [&](const char* key) { return p.numbers.count(key) != 0; };
        const auto whole = [&](const char* key) {
            return static_cast<std::uint64_t>(p.numbers.at(key));
        };
        // A programmer alone on its bus counts its faults on the bus, as it always has; several
        // count each programmer's own transfers, so a fault stays in its programmer.
        if (given("FAIL")) {
            several ? programmer->FailTransferOn(device, whole("FAIL"))
                    : programmer->FailTransfer(whole("FAIL"));
        }
        if (given("TIMEOUT")) {
            several ? programmer->FailTransferOn(device, whole("TIMEOUT"), FaultEffect::Timeout)
                    : programmer->FailTransfer(whole("TIMEOUT"), FaultEffect::Timeout);
        }
        if (given("UNPLUG_AFTER")) {
            several ? programmer->UnplugAfterOn(device, whole("UNPLUG_AFTER"))
                    : programmer->UnplugAfter(whole("UNPLUG_AFTER"));
        }
        if (given("OPEN_FAILURES")) {
            const int count = static_cast<int>(whole("OPEN_FAILURES"));
            several ? programmer->FailOpensOn(device, count) : programmer->FailOpens(count);
        }
        if (given("STALL"))
            programmer->Firmware(device).StallState(static_cast<std::uint8_t>(whole("STALL")));
        if (given("STALL_BLOCK"))
            programmer->Firmware(device).StallBlockReady(whole("STALL_BLOCK") != 0);
        const auto every = [&](TransferMatch match) {
            several ? programmer->FailEveryOn(device, match) : programmer->FailEvery(match);
        };
        if (given("FAIL_REQUEST"))
            every({std::nullopt, static_cast<std::uint8_t>(whole("FAIL_REQUEST"))});
        if (p.failBulk)
            every({*p.failBulk, std::nullopt});
    }
    const auto busGiven = [&](const char* key) { return bus.count(key) != 0; };
    if (busGiven("LOG"))
        programmer->EnableLog(bus.at("LOG") != 0);

    // Real time runs on a high-speed bus unless the latency is given.
    const bool realTime = busGiven("REALTIME") && bus.at("REALTIME") != 0;
    LatencyModel latency = realTime ? kHighSpeedBus : LatencyModel{};
    if (busGiven("CONTROL_US"))
        latency.controlMicroseconds = bus.at("CONTROL_US");
    if (busGiven("BULK_US"))
        latency.bulkMicroseconds = bus.at("BULK_US");
    if (busGiven("BULK_NS_PER_BYTE"))
        latency.bulkNanosecondsPerByte = bus.at("BULK_NS_PER_BYTE");
    programmer->SetLatency(latency);
    if (realTime)
        programmer->SetRealTime(std::make_shared<WallClock>());
    result.programmer = std::move(programmer);
    return result;
}

}  // namespace torq::sim
