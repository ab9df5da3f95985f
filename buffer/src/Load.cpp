#include "torq/buffer/Load.h"

#include "FormatTable.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <system_error>
#include <vector>

#include "FileIo.h"
#include "torq/buffer/BufferFile.h"
#include "torq/devlib/Text.h"

namespace torq {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kCopyBlockSize = 256 * 1024;

std::string_view HexFormatName(LoadFormat format) {
    const hex::HexFormatRow* row = hex::RowOf(format);
    return row != nullptr ? row->name : std::string_view();
}

// The detectors in their fixed order; a file none of them recognises is binary.
LoadFormat DetectLoadFormat(const fs::path& file, InformationLog& log, ProgressSink* progress) {
    for (const auto& row : hex::HexFormatRows()) {
        if (DetectHex(row.format, file, &log, progress))
            return row.loadFormat;
    }
    return LoadFormat::Binary;
}

// A field as the dialog holds it: hexadecimal digits, an empty or unreadable text reading as 0.
std::uint64_t FieldValue(std::string_view text) {
    return ParseHex64(text).value_or(0);
}

std::string ClampedAddressText(std::string_view text, std::uint64_t last) {
    const std::uint64_t value = FieldValue(text);
    if (value > last)
        return HexText(last, 8);
    if (value == 0)
        return "00000000";
    return std::string(text);
}

// Where the placed bytes come from and go to.
struct Placement {
    fs::path source;
    std::uint64_t sourceOffset = 0;
    std::uint64_t destination = 0;
    std::uint64_t count = 0;  // N
};

enum class ReplaceResult { Replaced, SourceShort, WriteFailed };

// One progress window for the whole of a long load: the reads within it (detection, decode,
// checksum) report into it in turn, each from 0 to 100 percent, and it opens and closes once.
// Every report lets the window process its pending messages.
class LongLoadProgress final : public ProgressSink {
  public:
    explicit LongLoadProgress(ProgressSink* window) : window_(window) {
        if (window_ != nullptr)
            window_->Begin(100);
    }
    ~LongLoadProgress() override {
        if (window_ != nullptr)
            window_->End();
    }
    LongLoadProgress(const LongLoadProgress&) = delete;
    LongLoadProgress& operator=(const LongLoadProgress&) = delete;
    void Begin(std::uint64_t /*total*/) override { Progress(0, 1); }
    void Progress(std::uint64_t done, std::uint64_t total) override {
        if (window_ == nullptr || total == 0)
            return;
        const long double share = static_cast<long double>(std::min(done, total)) / total;
        window_->Progress(static_cast<std::uint64_t>(share * 100), 100);
    }
    void End() override {}

  private:
    ProgressSink* window_;
};

// "16.0 GiB": a size as the operator reads it.
std::string SizeText(std::uint64_t bytes) {
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024)
        return std::to_string(bytes) + " bytes";
    long double value = static_cast<long double>(bytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(kUnits)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1Lf %s", value, kUnits[unit]);
    return text;
}

// The new image as it is written, summed on the way: the IC checksum is that of the bytes that
// were written, with nothing to read back (and nothing that could fail) once the image is in place.
class SummingWriter {
  public:
    SummingWriter(io::BufferedFileWriter& out, std::uint64_t deviceSize)
        : out_(out), deviceSize_(deviceSize) {}
    void Append(const std::uint8_t* data, std::size_t size) {
        sum_ += SumOfBytes({data, static_cast<std::size_t>(Counted(size))});
        out_.Append(data, size);
        position_ += size;
    }
    void AppendFill(std::uint8_t byte, std::uint64_t count) {
        sum_ += static_cast<std::uint64_t>(byte) * Counted(count);
        out_.AppendFill(byte, count);
        position_ += count;
    }
    // The sum of device addresses 0 ... deviceSize - 1, the fill byte standing in for those beyond
    // the image's end (the checksum rule).
    std::uint32_t IcChecksum(std::uint8_t fill) const {
        const std::uint64_t missing = position_ < deviceSize_ ? deviceSize_ - position_ : 0;
        return static_cast<std::uint32_t>(sum_ + static_cast<std::uint64_t>(fill) * missing);
    }

  private:
    // How many of `count` bytes from the current position lie within the device.
    std::uint64_t Counted(std::uint64_t count) const {
        return position_ >= deviceSize_ ? 0 : std::min(count, deviceSize_ - position_);
    }
    io::BufferedFileWriter& out_;
    std::uint64_t deviceSize_;
    std::uint64_t position_ = 0;
    std::uint64_t sum_ = 0;
};

// Appends `count` bytes of `from` starting at `offset`; bytes beyond its end read as erased flash
// (a buffer emptied when the window closed, or cut short, holds nothing there). False on a read
// error.
bool CopyOldBytes(int from, std::uint64_t fromLength, std::uint64_t offset, std::uint64_t count,
                  std::vector<std::uint8_t>& block, SummingWriter& out) {
    while (count > 0 && offset < fromLength) {
        const std::size_t chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>({count, block.size(), fromLength - offset}));
        const std::ptrdiff_t got = io::ReadUpToAt(from, block.data(), chunk, offset);
        if (got <= 0)
            return false;
        out.Append(block.data(), static_cast<std::size_t>(got));
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::uint64_t>(got);
    }
    out.AppendFill(kErasedByte, count);
    return true;
}

// Builds the new image beside the buffer file, then renames it over the buffer file: the placed
// bytes at the destination, the fill byte (when asked for) over the rest of the device, the old
// contents elsewhere. `icChecksum` gets the new image's checksum with the fill byte.
ReplaceResult ReplaceBufferImage(const BufferFile& buffer, std::uint64_t deviceSize,
                                 const Placement& placement, bool fillOthers, std::uint8_t fill,
                                 std::uint32_t& icChecksum) {
    const io::OpenedFile old = io::OpenRegularFile(buffer.Path(), io::FileAccess::Read);
    const io::OpenedFile source = io::OpenRegularFile(placement.source, io::FileAccess::Read);
    if (!old.IsOpen() || !source.IsOpen()) {
        return old.IsOpen() ? ReplaceResult::SourceShort : ReplaceResult::WriteFailed;
    }
    const std::uint64_t oldLength = old.length;
    const std::uint64_t placedEnd = placement.destination + placement.count;
    // The image always covers the whole device, whatever the old buffer's length.
    const std::uint64_t newLength = std::max({oldLength, placedEnd, deviceSize});

    ReplacementFile target(buffer.Path());
    if (!target.IsOpen())
        return ReplaceResult::WriteFailed;
    const auto discard = [&](ReplaceResult result) {
        target.Discard();
        return result;
    };
    std::vector<std::uint8_t> block(kCopyBlockSize);
    io::BufferedFileWriter file(target.Descriptor());
    SummingWriter out(file, deviceSize);

    // Below the destination.
    if (fillOthers) {
        out.AppendFill(fill, placement.destination);
    } else if (!CopyOldBytes(old.fd.Get(), oldLength, 0, placement.destination, block, out)) {
        return discard(ReplaceResult::WriteFailed);
    }
    // The placed bytes.
    for (std::uint64_t done = 0; done < placement.count;) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), placement.count - done));
        const std::ptrdiff_t got =
            io::ReadUpToAt(source.fd.Get(), block.data(), chunk, placement.sourceOffset + done);
        if (got < 0)
            return discard(ReplaceResult::WriteFailed);
        if (static_cast<std::size_t>(got) < chunk)
            return discard(ReplaceResult::SourceShort);
        out.Append(block.data(), chunk);
        done += chunk;
    }
    // Above the placed bytes.
    std::uint64_t position = placedEnd;
    if (fillOthers && position < deviceSize) {
        out.AppendFill(fill, deviceSize - position);
        position = deviceSize;
    }
    if (position < newLength &&
        !CopyOldBytes(old.fd.Get(), oldLength, position, newLength - position, block, out)) {
        return discard(ReplaceResult::WriteFailed);
    }
    if (!file.Flush() || !target.Commit(false))
        return discard(ReplaceResult::WriteFailed);
    icChecksum = out.IcChecksum(fill);
    return ReplaceResult::Replaced;
}

std::optional<std::uint64_t> ExistingFileLength(const fs::path& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error)
        return std::nullopt;
    return size;
}

}  // namespace

std::string_view LoadFormatCaption(LoadFormat format) {
    // The load dialog's list, in its order (the spellings are the dialog's own).
    static constexpr std::string_view kCaptions[kLoadFormatCount] = {
        "Auto Detect", "MS-DOS fn.exe", "MS-DOS fn.com", "Binary / Machine Code",
        "Intel  HEX",  "Motorola HEX",  "Tektlonix HEX"};
    const auto index = static_cast<std::size_t>(format);
    return index < std::size(kCaptions) ? kCaptions[index] : std::string_view();
}

LoadFormat LoadFormatFromIndex(int index) {
    if (index < 0 || index >= kLoadFormatCount)
        return LoadFormat::AutoDetect;
    return static_cast<LoadFormat>(index);
}

std::string OpenFileFilter() {
    std::string filter = "All files (*)";
    for (const auto& row : hex::HexFormatRows()) {
        filter += ";;" + std::string(row.name) + " hex (";
        for (std::size_t i = 0; i < row.extensions.size(); ++i)
            filter += (i > 0 ? " *." : "*.") + std::string(row.extensions[i]);
        filter += ")";
    }
    return filter + ";;Binary and MS-DOS images (*.bin *.exe *.com)";
}

std::string CorrectionQuestion(LoadFormat detected) {
    const std::string_view name = HexFormatName(detected);
    const std::string_view article = detected == LoadFormat::IntelHex ? "an" : "a";
    return "This is " + std::string(article) + " " + std::string(name) +
           " Hex File , do you want to correct the file format ?";
}

std::string CorrectionLogLine(LoadFormat detected) {
    return "File format is corrected to " + std::string(HexFormatName(detected)) + " Hex File !";
}

std::string NoDataRecordLine(LoadFormat format) {
    return "Error : The file holds no " + std::string(HexFormatName(format)) +
           " Hex data record, the buffer keeps its previous contents !";
}

void PrepareLoadDialog(LoadDialogState& state, const fs::path& file) {
    const int unit = state.unit, socket = state.socket;
    state = LoadDialogState{};
    state.unit = unit;
    state.socket = socket;
    state.filePath = file;
    state.fileLength = ExistingFileLength(file).value_or(0);
    state.sourceEndText = HexText(state.fileLength == 0 ? 0 : state.fileLength - 1, 8);
}

bool SourceFieldsEnabled(LoadFormat format) {
    return format == LoadFormat::MsDosExe || format == LoadFormat::MsDosCom ||
           format == LoadFormat::Binary;
}

std::optional<char> AcceptHexFieldKey(char key) {
    constexpr char kBackspace = '\b';
    if (key == kBackspace)
        return key;
    if (!IsHexDigit(key))
        return std::nullopt;
    return key >= 'a' && key <= 'f' ? static_cast<char>(key - 'a' + 'A') : key;
}

std::string NormaliseSourceAddressText(std::string_view text, std::uint64_t fileLength) {
    return ClampedAddressText(text, fileLength == 0 ? 0 : fileLength - 1);
}

std::string NormaliseDestinationAddressText(std::string_view text, std::uint64_t deviceSize) {
    return ClampedAddressText(text, deviceSize == 0 ? 0 : deviceSize - 1);
}

bool IsFarLargerThanDevice(std::uint64_t fileLength, std::uint64_t deviceSize) {
    return fileLength > kFarLargerFileMinimum &&
           deviceSize <= (fileLength - 1) / kFarLargerFileFactor;
}

std::string FarLargerFileQuestion(const fs::path& file, std::uint64_t fileLength,
                                  std::uint64_t deviceSize) {
    return "The file " + file.string() + " is " + SizeText(fileLength) +
           ", far bigger than the IC size of " + SizeText(deviceSize) +
           " : reading it for its checksum takes a long time , Do you really want to load it ?";
}

std::string FileRefusedLine(std::string_view problem) {
    return std::string(problem) + ", nothing is loaded !";
}

namespace {

// The load; `unattended` (a socket's work file loaded without the dialog) shows progress only for
// a file long enough to need it.
LoadOutcome RunLoad(LoadDialogState& state, const LoadEnvironment& env, bool unattended) {
    const auto warn = [&](std::string_view text) { env.op.Tell(Severity::Warning, text); };
    const auto log = [&](std::string_view line) { env.log.WriteInfoLine(line); };
    const LoadOutcome closed{LoadEnd::Closed, std::nullopt, false};
    // A file the opener refuses (a FIFO, a device, a folder, unreadable) is named in the log and
    // in the warning, before anything is read from it.
    const auto refuse = [&](std::string_view problem) {
        const std::string line = FileRefusedLine(problem);
        log("Error : " + line);
        warn(line);
        return closed;
    };

    if (env.deviceSize == 0) {
        warn(kNoDeviceMessage);
        return closed;
    }
    const io::OpenedFile source = io::OpenRegularFile(state.filePath, io::FileAccess::Read);
    if (state.fileLength == 0 && (source.IsOpen() || source.missing)) {
        warn(kEmptyFileMessage);
        return closed;
    }
    if (!source.IsOpen())
        return refuse(source.problem);

    // The fields as the dialog keeps them while typing.
    const std::uint64_t last = env.deviceSize - 1;
    state.sourceStartText = NormaliseSourceAddressText(state.sourceStartText, state.fileLength);
    state.sourceEndText = NormaliseSourceAddressText(state.sourceEndText, state.fileLength);
    state.destinationText = NormaliseDestinationAddressText(state.destinationText, env.deviceSize);
    if (state.fillText.empty())
        state.fillText = "00";
    const std::uint64_t S = FieldValue(state.sourceStartText);
    const std::uint64_t E = FieldValue(state.sourceEndText);
    const std::uint64_t D = FieldValue(state.destinationText);
    const auto F = static_cast<std::uint8_t>(FieldValue(state.fillText) & 0xFF);

    if (S > E) {
        warn(kSourceRangeWrongMessage);
        return {LoadEnd::KeptOpen, std::nullopt, false};
    }
    bool truncating = false;
    if (D + (E - S) > last) {
        const Answer answer = env.op.Ask(Severity::Warning, kBiggerThanIcQuestion, Buttons::YesNo);
        if (answer == Answer::No) {
            state.destinationText = "00000000";
            return {LoadEnd::KeptOpen, std::nullopt, false};
        }
        if (answer != Answer::Yes)
            return {LoadEnd::Abandoned, std::nullopt, false};
        truncating = true;
    }
    // A file far larger than the device (a wrong name, a disk image) is read whole for its
    // checksum: the operator decides first whether that is meant.
    const bool longFile = state.fileLength > kFarLargerFileMinimum;
    if (IsFarLargerThanDevice(state.fileLength, env.deviceSize)) {
        const Answer answer =
            env.op.Ask(Severity::Warning,
                       FarLargerFileQuestion(state.filePath, state.fileLength, env.deviceSize),
                       Buttons::YesNo);
        if (answer == Answer::No) {
            log(FileRefusedLine("The file " + state.filePath.string() +
                                " is far bigger than the IC size"));
            return closed;
        }
        if (answer != Answer::Yes)
            return {LoadEnd::Abandoned, std::nullopt, false};
    }
    // A long file's reads show their progress, which also keeps the window answering; a short
    // one's show none, except a decode the operator started from the dialog. The progress window
    // is closed while a question is asked.
    std::optional<LongLoadProgress> longProgress;
    const auto readProgress = [&]() -> ProgressSink* {
        if (!longFile)
            return nullptr;
        if (!longProgress)
            longProgress.emplace(env.progress);
        return &*longProgress;
    };

    log("File Name : " + state.filePath.string());
    const LoadFormat detected = DetectLoadFormat(state.filePath, env.log, readProgress());
    longProgress.reset();
    state.chosenFormat = state.format;
    LoadFormat chosen = state.format;
    if (chosen == LoadFormat::AutoDetect) {
        chosen = detected;
    } else if (hex::RowOf(detected) != nullptr && detected != chosen) {
        const Answer answer =
            env.op.Ask(Severity::Warning, CorrectionQuestion(detected), Buttons::YesNo);
        if (answer == Answer::Yes) {
            chosen = detected;
            log(CorrectionLogLine(detected));
        } else if (answer != Answer::No) {
            return {LoadEnd::Abandoned, std::nullopt, false};
        }
    }
    state.format = chosen;

    const BufferFile buffer(env.bufferFile);
    if (const auto kind = io::NonRegularKind(buffer.Path()))
        return refuse("The buffer file " + io::NotRegularFileText(buffer.Path(), *kind));
    if (!buffer.Length()) {
        warn(kBufferMissingMessage);
        return closed;
    }
    Placement placement;
    placement.destination = D;
    const std::uint64_t room = env.deviceSize - D;
    std::optional<std::uint64_t> endAddress = state.fileLength - 1;
    if (const hex::HexFormatRow* row = hex::RowOf(chosen)) {
        log("Downloaded file is " + std::string(row->name) + " Hex file !");
        DecodeRequest request;
        request.source = state.filePath;
        request.scratch = buffer.ScratchPath();
        request.fill = F;
        request.writeLimit = room;  // the load never copies more than the device holds
        request.log = &env.log;
        request.progress = longFile ? readProgress() : unattended ? nullptr : env.progress;
        const DecodeResult decoded = DecodeHex(row->format, request);
        if (!decoded.ok)
            return {LoadEnd::Closed, std::nullopt, true};
        if (!decoded.endAddress) {
            // Not a single data record (a binary file taken for hex, say): an image of nothing
            // but fill bytes is not what the operator meant to load.
            std::error_code ignored;
            fs::remove(request.scratch, ignored);
            log(NoDataRecordLine(chosen));
            return closed;
        }
        const auto scratchLength = ExistingFileLength(request.scratch);
        if (!scratchLength) {
            warn(kBufferMissingMessage);
            return closed;
        }
        placement.source = request.scratch;
        placement.count = std::min(*scratchLength, room);
        endAddress = decoded.endAddress;
    } else {
        const bool exe = chosen == LoadFormat::MsDosExe;
        log(exe ? "Downloaded file is MS .EXE file !" : "Downloaded file is binary file !");
        const std::uint64_t skipped = exe ? kExeHeaderSize : 0;
        if (E + 1 <= S + skipped) {
            warn(kExeRangeInHeaderMessage);
            return closed;
        }
        const std::uint64_t available = (E + 1) - (S + skipped);
        placement.source = state.filePath;
        placement.sourceOffset = S + skipped;
        placement.count = truncating ? std::min(room, available) : available;
    }

    std::uint32_t icSum = 0;
    const ReplaceResult replaced =
        ReplaceBufferImage(buffer, env.deviceSize, placement, state.fillUnused, F, icSum);
    if (hex::RowOf(chosen) != nullptr) {
        std::error_code ignored;
        fs::remove(buffer.ScratchPath(), ignored);
    }
    if (replaced != ReplaceResult::Replaced) {
        warn(replaced == ReplaceResult::SourceShort ? kFileShorterMessage
                                                    : kBufferWriteFailedMessage);
        return closed;
    }

    std::string sumProblem;
    if (const auto fileSum =
            Checksum(state.filePath, state.fileLength - 1, F, readProgress(), &sumProblem)) {
        log("File checksum=0x" + ChecksumText(*fileSum));
    } else {
        if (!sumProblem.empty())
            log("Error : " + sumProblem);
        warn(kFileUnreadableMessage);
    }
    longProgress.reset();
    const std::string icText = ChecksumText(icSum);
    log("IC checksum=0x" + icText);
    if (endAddress && *endAddress > last) {
        warn(kFileBiggerWarning);
        log(kFileBiggerLogLine);
    }
    return {LoadEnd::Loaded, SocketFields{state.filePath, icText, state.sourceStartText, true},
            true};
}

}  // namespace

LoadOutcome LoadIntoBuffer(LoadDialogState& state, const LoadEnvironment& environment) {
    return RunLoad(state, environment, false);
}

LoadOutcome LoadForSocket(int unit, int socket, bool useSaved, const SavedLoadSettings& saved,
                          const fs::path& workFile, LoadDialogState& state,
                          const LoadEnvironment& environment) {
    if (socket == 0)
        return {LoadEnd::NotRun, std::nullopt, false};
    state.unit = unit;
    state.socket = socket;
    if (useSaved) {
        state.destinationText = saved.destinationText;
        state.fillUnused = saved.fillEnabled;
        state.fillText = HexText(saved.fillValue, 2);
        state.format = LoadFormatFromIndex(saved.format);
    } else {
        // The format as it was chosen, not as the last file resolved it: "Auto Detect" detects
        // each file again.
        state.format = state.chosenFormat;
    }
    state.filePath = workFile;
    state.fileLength = ExistingFileLength(workFile).value_or(0);
    state.sourceStartText = "00000000";
    state.sourceEndText = HexText(state.fileLength == 0 ? 0 : state.fileLength - 1, 8);
    if (useSaved && saved.sourcePart) {
        state.sourceStartText = saved.sourcePart->first;
        state.sourceEndText = saved.sourcePart->second;
    }
    return RunLoad(state, environment, true);
}

}  // namespace torq
