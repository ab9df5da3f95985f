// load, save, checksum: the buffer of the selected device.
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <system_error>

#include "CliContext.h"
#include "torq/buffer/BufferFile.h"
#include "torq/buffer/Load.h"
#include "torq/buffer/Save.h"
#include "torq/devlib/RegularFile.h"
#include "torq/devlib/Text.h"

namespace torq::cli {

namespace {

// Hexadecimal option values; nothing when the option was not given.
struct HexOption {
    std::string text;
    std::optional<std::uint64_t> Value() const { return ParseHex64(text); }
    bool Given() const { return !text.empty(); }
};

CLI::Option* AddHexOption(CLI::App* command, const char* name, HexOption& option,
                          const char* help) {
    return command->add_option(name, option.text, help)->check([](const std::string& text) {
        return ParseHex64(text) ? std::string() : "not a hexadecimal number: " + text;
    });
}

// The selected device (unit 1 in History.ini) and its size; 0 with the exit code when there is
// none to work with.
std::uint64_t SelectedDeviceSize(CliContext& context, int& exitCode) {
    exitCode = OpenBench(context, Needs::Selection);
    if (exitCode != kSuccess)
        return 0;
    const UnitState& unit = context.bench->UnitStates().Unit(1);
    const std::uint64_t size = context.bench->Record().deviceSize;
    if (size == 0) {
        exitCode = Fail(kFailed, "the selected device " + unit.vendor + " " + unit.type +
                                     " has no size in its device file");
    }
    return size;
}

struct LoadOptions {
    std::string file;
    std::string format = "auto";
    HexOption sourceStart, sourceEnd, destination, fill;
    bool noFill = false;
    AnswerFlags answers;
};

const std::map<std::string, LoadFormat> kLoadFormats = {
    {"auto", LoadFormat::AutoDetect},        {"exe", LoadFormat::MsDosExe},
    {"com", LoadFormat::MsDosCom},           {"bin", LoadFormat::Binary},
    {"intel", LoadFormat::IntelHex},         {"motorola", LoadFormat::MotorolaHex},
    {"tektronix", LoadFormat::TektronixHex},
};

int RunLoad(CliContext& context, const LoadOptions& options) {
    if (const int code = LockHome(context, HomeAccess::Exclusive); code != kSuccess)
        return code;
    int exitCode = kSuccess;
    const std::uint64_t deviceSize = SelectedDeviceSize(context, exitCode);
    if (exitCode != kSuccess)
        return exitCode;
    std::error_code error;
    if (const auto kind = io::NonRegularKind(options.file))
        return Fail(kBadUsage, io::NotRegularFileText(options.file, *kind));
    if (!std::filesystem::is_regular_file(options.file, error)) {
        return Fail(kBadUsage, "no such file: " + options.file);
    }
    ApplyAnswerFlags(context, options.answers);
    Workbench& bench = *context.bench;
    bench.PrepareLoad(1, 1, options.file);
    const std::uint64_t fileLength = bench.LoadDialog().fileLength;
    LoadSettings settings;
    settings.format = kLoadFormats.at(options.format);
    // The dialog clamps addresses as they are typed; say so when a given value is clamped.
    const auto address = [](const HexOption& option, const char* name,
                            std::optional<std::string>& field, std::uint64_t last, const char* what,
                            auto normalise) {
        if (!option.Given())
            return;
        const std::string used = normalise(HexText(*option.Value(), 8));
        if (*option.Value() > last) {
            std::cerr << "note: " << name << " " << option.text << " lies beyond " << what << " "
                      << HexText(last, 8) << "; " << used << " is used\n";
        }
        field = used;
    };
    const std::uint64_t fileLast = fileLength == 0 ? 0 : fileLength - 1;
    const auto source = [&](std::string_view text) {
        return NormaliseSourceAddressText(text, fileLength);
    };
    address(options.sourceStart, "--src-start", settings.sourceStartText, fileLast,
            "the file's last byte", source);
    address(options.sourceEnd, "--src-end", settings.sourceEndText, fileLast,
            "the file's last byte", source);
    address(options.destination, "--dest", settings.destinationText, deviceSize - 1,
            "the device's last address", [&](std::string_view text) {
                return NormaliseDestinationAddressText(text, deviceSize);
            });
    if (options.fill.Given()) {
        if (*options.fill.Value() > 0xFF)
            return Fail(kBadUsage, "--fill takes one byte, 00 to FF: " + options.fill.text);
        settings.fillText = HexText(*options.fill.Value(), 2);
    }
    settings.fillUnused = !options.noFill;

    const LoadOutcome outcome = bench.LoadWithSettings(settings);
    if (outcome.end == LoadEnd::Abandoned || context.op.unanswered) {
        return Fail(kFailed, kUnansweredMessage);
    }
    return outcome.end == LoadEnd::Loaded ? kSuccess : kFailed;
}

struct SaveOptions {
    std::string file;
    std::string format;
    HexOption start, end;
    AnswerFlags answers;
};

const std::map<std::string, SaveFormat> kSaveFormats = {
    {"bin", SaveFormat::Binary},    {"intel", SaveFormat::IntelHex},
    {"s1", SaveFormat::MotorolaS1}, {"s2", SaveFormat::MotorolaS2},
    {"s3", SaveFormat::MotorolaS3}, {"tektronix", SaveFormat::TektronixHex},
};

int RunSave(CliContext& context, const SaveOptions& options) {
    if (const int code = LockHome(context, HomeAccess::Shared); code != kSuccess)
        return code;
    int exitCode = kSuccess;
    const std::uint64_t deviceSize = SelectedDeviceSize(context, exitCode);
    if (exitCode != kSuccess)
        return exitCode;
    ApplyAnswerFlags(context, options.answers);
    SaveDialogValues values = SaveDialogDefaults(deviceSize);
    values.name = options.file;
    values.format = kSaveFormats.at(options.format);
    if (options.start.Given())
        values.startText = HexText(*options.start.Value(), 10);
    if (options.end.Given())
        values.endText = HexText(*options.end.Value(), 10);
    const auto buffer = context.Directories().BufferFile();
    if (!BufferFile(buffer).Length())
        return Fail(kFailed, kBufferMissingMessage);
    const SaveOutcome outcome = SaveFromDialog(values, buffer, deviceSize, context.op);
    if (context.op.unanswered)
        return Fail(kFailed, kUnansweredMessage);
    if (outcome != SaveOutcome::Saved)
        return kFailed;
    std::cout << "Saved " << values.startText << " ... " << values.endText << " as "
              << SaveFormatCaption(values.format) << " to " << values.name << '\n';
    return kSuccess;
}

struct ChecksumOptions {
    HexOption start, end;
};

int RunChecksum(CliContext& context, const ChecksumOptions& options) {
    if (const int code = LockHome(context, HomeAccess::Shared); code != kSuccess)
        return code;
    int exitCode = kSuccess;
    const std::uint64_t deviceSize = SelectedDeviceSize(context, exitCode);
    if (exitCode != kSuccess)
        return exitCode;
    InformationLog& log = context.bench->Log();
    const auto buffer = context.Directories().BufferFile();
    if (!BufferFile(buffer).Length())
        return Fail(kFailed, kBufferMissingMessage);
    const std::uint64_t last = deviceSize - 1;
    if (!options.start.Given()) {
        const auto sum = Checksum(buffer, last, kErasedByte);
        if (!sum)
            return Fail(kFailed, "cannot read " + buffer.string());
        log.WriteInfoLine("IC checksum=0x" + ChecksumText(*sum));
        return kSuccess;
    }
    const std::uint64_t start = *options.start.Value(), end = *options.end.Value();
    if (start > end || end > last) {
        return Fail(kBadUsage, "the range must satisfy start <= end <= " + HexText(last, 8));
    }
    const auto sum = SumFileBytes(buffer, start, end - start + 1, kErasedByte);
    if (!sum)
        return Fail(kFailed, "cannot read " + buffer.string());
    log.WriteInfoLine("Checksum " + HexText(start, 8) + "-" + HexText(end, 8) + "=0x" +
                      ChecksumText(static_cast<std::uint32_t>(*sum)));
    return kSuccess;
}

std::vector<std::string> NamesOf(const auto& map) {
    std::vector<std::string> names;
    for (const auto& [name, value] : map)
        names.push_back(name);
    return names;
}

}  // namespace

void AddBufferCommands(CLI::App& app, CliContext& context, int& exitCode) {
    static LoadOptions load;
    auto* loadCommand =
        app.add_subcommand("load", "Load a data file into the buffer of the selected device");
    loadCommand
        ->add_option("FILE", load.file, "Binary, executable, Intel HEX, Motorola or Tektronix file")
        ->required();
    loadCommand
        ->add_option("--format", load.format, "auto, exe, com, bin, intel, motorola or tektronix")
        ->check(CLI::IsMember(NamesOf(kLoadFormats)));
    AddHexOption(loadCommand, "--src-start", load.sourceStart,
                 "Source start (file offset, hexadecimal)");
    AddHexOption(loadCommand, "--src-end", load.sourceEnd, "Source end, inclusive (hexadecimal)");
    AddHexOption(loadCommand, "--dest", load.destination,
                 "Destination start in the buffer (hexadecimal)");
    auto* fill = AddHexOption(loadCommand, "--fill", load.fill,
                              "Fill the rest of the buffer with HH (default FF)");
    loadCommand->add_flag("--no-fill", load.noFill, "Keep the rest of the buffer as it is")
        ->excludes(fill);
    AddAnswerFlags(loadCommand, load.answers);
    loadCommand->callback([&] { exitCode = RunLoad(context, load); });

    static SaveOptions save;
    auto* saveCommand = app.add_subcommand("save", "Save a range of the buffer to a file");
    saveCommand->add_option("FILE", save.file, "Output file")->required();
    saveCommand->add_option("--format", save.format, "bin, intel, s1, s2, s3 or tektronix")
        ->required()
        ->check(CLI::IsMember(NamesOf(kSaveFormats)));
    AddHexOption(saveCommand, "--start", save.start, "First byte (hexadecimal, default 0)");
    AddHexOption(saveCommand, "--end", save.end,
                 "Last byte (hexadecimal, default the device's last)");
    AddAnswerFlags(saveCommand, save.answers);
    saveCommand->callback([&] { exitCode = RunSave(context, save); });

    static ChecksumOptions checksum;
    auto* checksumCommand =
        app.add_subcommand("checksum", "Print the checksum of the buffer or of a range");
    auto* start =
        AddHexOption(checksumCommand, "--start", checksum.start, "First byte (hexadecimal)");
    auto* end = AddHexOption(checksumCommand, "--end", checksum.end, "Last byte (hexadecimal)");
    start->needs(end);
    end->needs(start);
    checksumCommand->callback([&] { exitCode = RunChecksum(context, checksum); });
}

}  // namespace torq::cli
