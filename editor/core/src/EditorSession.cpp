#include "torq/editor/EditorSession.h"

#include <algorithm>

#include "torq/buffer/Save.h"
#include "torq/devlib/RegularFile.h"
#include "torq/devlib/Text.h"

namespace torq::editor {

EditorSession::EditorSession(std::filesystem::path bufferFile, Operator& op, InformationLog* log,
                             BufferOpener opener)
    : document_(std::move(bufferFile), std::move(opener)), op_(op), log_(log) {}

void EditorSession::Show(std::uint64_t deviceSize) {
    deviceSize_ = deviceSize;
    modified_ = false;
    entrySide_ = EntrySide::Byte;
    view_.Reset(deviceSize);
    map_.Reset(deviceSize);
    history_.Clear();
    imageChecksum_.reset();
    readFailureShown_ = false;
    RefreshView();
}

std::optional<std::uint64_t> EditorSession::BufferLastIndex() const {
    const auto length = document_.Length();
    if (!length || *length == 0)
        return std::nullopt;
    return *length - 1;
}

void EditorSession::ReportReadFailure(bool ok) {
    if (ok) {
        readFailureShown_ = false;
        return;
    }
    if (readFailureShown_)
        return;
    readFailureShown_ = true;
    const auto kind = io::NonRegularKind(BufferPath());
    const std::string problem = kind ? io::NotRegularFileText(BufferPath(), *kind)
                                     : BufferPath().string() + " cannot be read";
    op_.Tell(Severity::Error, kErrorCaption,
             "The buffer file " + problem + "; its bytes are shown as FF.");
}

bool EditorSession::RefreshView() {
    // Without a device there is nothing to show (and no buffer file to miss).
    if (deviceSize_ == 0)
        return true;
    const bool ok = view_.Refresh(document_);
    ReportReadFailure(ok);
    return ok;
}

bool EditorSession::RefreshMap() {
    if (deviceSize_ == 0)
        return true;
    const bool ok = map_.Refresh(document_);
    ReportReadFailure(ok);
    return ok;
}

void EditorSession::EnterMap() {
    map_.ShowPosition(view_.PageAddress());
    RefreshMap();
}

ToolOutcome EditorSession::ChangeUndoably(std::string_view name, std::vector<ByteRange> ranges,
                                          const std::function<WriteReport()>& change,
                                          ProgressSink* progress) {
    std::optional<UndoCopy> before;
    const std::uint64_t copySize = history_.CopySize(ranges);
    if (history_.CopyFits(copySize)) {
        std::string reason;
        before = history_.Take(std::move(ranges), &reason, progress);
        if (!before) {
            op_.Tell(Severity::Error, kErrorCaption,
                     "The buffer is unchanged: the copy that lets " + std::string(name) +
                         " be undone cannot be saved.\n\n" + reason + ".");
            return ToolOutcome::Failed;
        }
    } else if (!AskToGoOnWithoutUndo(name, copySize)) {
        return ToolOutcome::Refused;
    }
    const WriteReport report = change();
    if (report.changed) {
        modified_ = true;
        if (before)
            history_.Push(std::string(name), std::move(*before));
        else
            DropHistory(name);
    }
    if (!report.ok) {
        std::string text = report.error;
        if (report.changed && before)
            text += "\n\nUndo puts back the bytes " + std::string(name) + " replaced.";
        op_.Tell(Severity::Error, kErrorCaption, text);
        return ToolOutcome::Failed;
    }
    return ToolOutcome::Done;
}

bool EditorSession::AskToGoOnWithoutUndo(std::string_view name, std::uint64_t copySize) {
    const auto free = history_.FreeSpace();
    const std::string tool(name);
    const Answer answer = op_.Ask(
        Severity::Warning, tool,
        "There is not enough free disk space beside the buffer file for the copy that lets " +
            tool + " be undone: it needs " + std::to_string(copySize) + " bytes, and " +
            std::to_string(free.value_or(0)) + " bytes are free.\n\nGo on without undo? " + tool +
            " then cannot be undone, nor can the changes made before it.",
        Buttons::YesNo);
    return answer == Answer::Yes;
}

void EditorSession::DropHistory(std::string_view name) {
    if (!history_.CanUndo() && !history_.CanRedo())
        return;
    history_.Clear();
    if (log_ != nullptr)
        log_->WriteInfoLine("Editor : " + std::string(name) +
                            " rewrote the buffer; earlier edits can no longer be undone");
}

bool EditorSession::WriteEdit(std::uint64_t address, std::span<const std::uint8_t> bytes) {
    // A word whose high byte would lie beyond the device writes its low byte only.
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), deviceSize_ - address));
    const auto written = bytes.first(count);
    const auto write = [&] {
        WriteReport report;
        report.ok = document_.Write(address, written, &report.error, &report.changed);
        return report;
    };
    const bool ok = ChangeUndoably("the edit", {{address, count}}, write) == ToolOutcome::Done;
    if (ok)
        view_.Advance();
    else
        view_.ClearPending();
    RefreshView();
    return ok;
}

bool EditorSession::TypeHexDigit(char digit) {
    if (deviceSize_ == 0 || view_.Side() != CursorSide::Hex || !view_.AppendPending(digit))
        return false;
    if (!view_.PendingComplete())
        return true;
    const std::uint64_t value = ParseHex64(view_.Pending()).value_or(0);
    std::array<std::uint8_t, 2> bytes{static_cast<std::uint8_t>(value & 0xFF),
                                      static_cast<std::uint8_t>(value >> 8)};
    // Little-endian: the low byte at the even address, the high byte after it.
    WriteEdit(view_.EditAddress(), std::span(bytes).first(view_.BytesPerCell()));
    return true;
}

bool EditorSession::TypeCharacter(char character) {
    const auto code = static_cast<std::uint8_t>(character);
    if (deviceSize_ == 0 || view_.Side() != CursorSide::Character || code < 0x20 || code >= 0x7F)
        return false;
    const std::array<std::uint8_t, 1> bytes{code};
    WriteEdit(view_.EditAddress(), bytes);
    return true;
}

bool EditorSession::Finish(const UndoReport& report, std::string_view what, std::uint64_t address) {
    if (report.changed)
        modified_ = true;
    if (!report.ok)
        op_.Tell(Severity::Error, kErrorCaption, std::string(what) + " failed: " + report.error);
    if (report.redoLost && log_ != nullptr)
        log_->WriteInfoLine("Editor : " + std::string(what) + " kept no copy for redo (" +
                            *report.redoLost + "); it cannot be redone");
    view_.GoTo(address);
    RefreshView();
    return report.ok;
}

bool EditorSession::Undo(ProgressSink* progress) {
    if (!history_.CanUndo())
        return false;
    const std::uint64_t address = history_.UndoAddress();
    const std::string what = "Undo of " + std::string(history_.UndoName());
    return Finish(history_.Undo(progress), what, address);
}

bool EditorSession::Redo(ProgressSink* progress) {
    if (!history_.CanRedo())
        return false;
    const std::uint64_t address = history_.RedoAddress();
    const std::string what = "Redo of " + std::string(history_.RedoName());
    return Finish(history_.Redo(progress), what, address);
}

bool EditorSession::ValidRange(std::optional<std::uint64_t> start,
                               std::optional<std::uint64_t> end) const {
    // The save dialog's rule: start below end, both within the device, or within the buffer file
    // when a block lengthened it past the device.
    return start && end &&
           !CheckSaveRange(*start, *end, SaveFormat::Binary,
                           ToolRangeLength(deviceSize_, BufferLength()));
}

ToolOutcome EditorSession::RunTool(std::string_view name, std::vector<ByteRange> ranges,
                                   const std::function<WriteReport()>& change,
                                   ProgressSink* progress) {
    const ToolOutcome outcome = ChangeUndoably(name, std::move(ranges), change, progress);
    RefreshView();
    return outcome;
}

ToolOutcome EditorSession::Swap(SwapKind kind, ProgressSink* progress) {
    const std::string_view name = kind == SwapKind::Byte   ? "Byte Swap"
                                  : kind == SwapKind::Word ? "Word Swap"
                                                           : "Double Swap";
    return RunTool(
        name, {{0, BufferLength()}}, [&] { return SwapWholeFile(document_, kind, progress); },
        progress);
}

ToolOutcome EditorSession::Fill(const FillDialogValues& values, ProgressSink* progress) {
    const auto start = values.range.start.ByteAddress();
    const auto end = values.range.end.ByteAddress();
    const auto userByte = HexFieldValue(values.userByteText);
    const auto userWord = HexFieldValue(values.userWordText);
    if (!ValidRange(start, end) || !userByte || *userByte > 0xFF || !userWord ||
        *userWord > 0xFFFF) {
        op_.Tell(Severity::Error, kErrorCaption, kInputValueError.text);
        return ToolOutcome::Refused;
    }
    FillSpec spec;
    spec.pattern = values.pattern;
    spec.userDefined = values.userDefined;
    spec.userWidth = values.userWidth;
    spec.userByte = static_cast<std::uint8_t>(*userByte);
    spec.userWord = static_cast<std::uint16_t>(*userWord);
    spec.seed = values.seed;
    return RunTool(
        "Fill", {{*start, *end - *start + 1}},
        [&] { return FillRange(document_, *start, *end, spec, progress); }, progress);
}

ToolOutcome EditorSession::Block(const BlockDialogValues& values, ProgressSink* progress) {
    const auto start = values.source.start.ByteAddress();
    const auto end = values.source.end.ByteAddress();
    const auto destination = values.destination.ByteAddress();
    const auto fill = HexFieldValue(values.fillText);
    // The destination starts within the device, as every start address does; its end may run
    // past the last address, which lengthens the buffer file.
    const bool valid = ValidRange(start, end) && destination && fill && *fill <= 0xFF &&
                       !RangesOverlap(*start, *end, *destination) && *destination < deviceSize_;
    if (!valid) {
        op_.Tell(Severity::Error, kErrorCaption, kInputValueError.text);
        return ToolOutcome::Refused;
    }
    const std::uint64_t count = *end - *start + 1;
    // Copy writes the destination; move and swap write the source range as well.
    std::vector<ByteRange> written{{*destination, count}};
    if (values.action != BlockAction::Copy)
        written.push_back({*start, count});
    const ToolOutcome outcome = RunTool(
        "Block Process", std::move(written),
        [&] {
            return ProcessBlock(document_, values.action, *start, *end, *destination,
                                static_cast<std::uint8_t>(*fill), progress);
        },
        progress);
    // Nothing is lost, but the chip never holds what lies past its last address: say so.
    const std::uint64_t beyond =
        count > deviceSize_ - *destination ? count - (deviceSize_ - *destination) : 0;
    if (outcome == ToolOutcome::Done && beyond > 0 && log_ != nullptr)
        log_->WriteInfoLine("Editor : Block Process put " + std::to_string(beyond) +
                            " bytes beyond the device's last address " +
                            HexText(deviceSize_ - 1, 10) +
                            "; they lengthen the buffer file but are not programmed into the chip");
    return outcome;
}

std::optional<std::uint64_t> EditorSession::Sum(const SumDialogValues& values) {
    const auto start = values.range.start.ByteAddress();
    const auto end = values.range.end.ByteAddress();
    if (!ValidRange(start, end)) {
        op_.Tell(Severity::Error, kCheckSumCaption, kInputValueError.text);
        return std::nullopt;
    }
    const auto sum = SumFileBytes(BufferPath(), *start, *end - *start + 1, kErasedByte);
    if (!sum) {
        op_.Tell(Severity::Error, kCheckSumCaption,
                 "The buffer file " + BufferPath().string() + " cannot be read.");
        return std::nullopt;
    }
    op_.Tell(Severity::Information, kCheckSumCaption, RangeSumText(*sum));
    RefreshView();
    return sum;
}

OkOutcome EditorSession::Ok(EditorHost& host) {
    if (!modified_ || deviceSize_ == 0) {
        history_.Clear();
        return OkOutcome::Closed;
    }
    const auto sum = Checksum(BufferPath(), deviceSize_ - 1, kErasedByte);
    if (!sum) {
        const Answer answer = op_.Ask(
            Severity::Error, kErrorCaption,
            "The buffer file " + BufferPath().string() +
                " cannot be read, so the edited image's checksum is not known.\n\nClose the "
                "editor anyway? The main window then keeps the socket's earlier file and "
                "checksum, which no longer match the buffer.",
            Buttons::YesNo);
        if (answer != Answer::Yes)
            return OkOutcome::Failed;
        history_.Clear();
        return OkOutcome::Abandoned;
    }
    imageChecksum_ = *sum;
    SocketFields fields;
    fields.workFile = std::string(kDataFromBuffer);
    fields.checksumText = ChecksumText(*sum);
    fields.startAddressText = "00000000";
    fields.enabled = true;
    host.ApplyEditedImage(fields);
    history_.Clear();
    return OkOutcome::Applied;
}

}  // namespace torq::editor
