#include "torq/editor/EditorSession.h"

#include <algorithm>

#include "torq/buffer/Save.h"
#include "torq/devlib/Text.h"

namespace torq::editor {

void EditJournal::Record(const Edit& edit) {
    done_.push_back(edit);
    undone_.clear();
    if (done_.size() > kLimit)
        done_.pop_front();
}

void EditJournal::Undone() {
    undone_.push_back(done_.back());
    done_.pop_back();
}

void EditJournal::Redone() {
    done_.push_back(undone_.back());
    undone_.pop_back();
}

void EditJournal::Clear() {
    done_.clear();
    undone_.clear();
}

EditorSession::EditorSession(std::filesystem::path bufferFile, Operator& op, InformationLog* log,
                             BufferOpener opener)
    : document_(std::move(bufferFile), std::move(opener)), op_(op), log_(log) {}

void EditorSession::Show(std::uint64_t deviceSize) {
    deviceSize_ = deviceSize;
    modified_ = false;
    entrySide_ = EntrySide::Byte;
    view_.Reset(deviceSize);
    map_.Reset(deviceSize);
    journal_.Clear();
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
    op_.Tell(
        Severity::Error, kErrorCaption,
        "The buffer file " + BufferPath().string() + " cannot be read; its bytes are shown as FF.");
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

bool EditorSession::WriteJournalled(std::uint64_t address, std::span<const std::uint8_t> bytes,
                                    bool record) {
    EditJournal::Edit edit;
    edit.address = address;
    edit.size = static_cast<std::uint8_t>(bytes.size());
    document_.Read(address, {edit.before.data(), bytes.size()});
    std::copy(bytes.begin(), bytes.end(), edit.after.begin());
    std::string error;
    bool changed = false;
    const bool ok = document_.Write(address, bytes, &error, &changed);
    if (changed)
        modified_ = true;
    if (!ok) {
        op_.Tell(Severity::Error, kErrorCaption, error);
        return false;
    }
    if (record)
        journal_.Record(edit);
    return true;
}

bool EditorSession::WriteEdit(std::uint64_t address, std::span<const std::uint8_t> bytes) {
    // A word whose high byte would lie beyond the device writes its low byte only.
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), deviceSize_ - address));
    const bool ok = WriteJournalled(address, bytes.first(count), true);
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

bool EditorSession::Undo() {
    if (!journal_.CanUndo())
        return false;
    const auto edit = journal_.NextUndo();
    const bool ok = WriteJournalled(edit.address, {edit.before.data(), edit.size}, false);
    if (ok)
        journal_.Undone();
    view_.GoTo(edit.address);
    RefreshView();
    return ok;
}

bool EditorSession::Redo() {
    if (!journal_.CanRedo())
        return false;
    const auto edit = journal_.NextRedo();
    const bool ok = WriteJournalled(edit.address, {edit.after.data(), edit.size}, false);
    if (ok)
        journal_.Redone();
    view_.GoTo(edit.address);
    RefreshView();
    return ok;
}

bool EditorSession::ValidRange(std::optional<std::uint64_t> start,
                               std::optional<std::uint64_t> end) const {
    // The save dialog's rule: start below end, both within the device.
    return start && end && !CheckSaveRange(*start, *end, SaveFormat::Binary, deviceSize_);
}

ToolOutcome EditorSession::Finish(const WriteReport& report, std::string_view tool) {
    if (report.changed) {
        modified_ = true;
        if (journal_.CanUndo() || journal_.CanRedo()) {
            journal_.Clear();
            if (log_ != nullptr)
                log_->WriteInfoLine("Editor : " + std::string(tool) +
                                    " rewrote the buffer; earlier edits can no longer be undone");
        }
    }
    RefreshView();
    if (!report.ok) {
        op_.Tell(Severity::Error, kErrorCaption, report.error);
        return ToolOutcome::Failed;
    }
    return ToolOutcome::Done;
}

ToolOutcome EditorSession::Swap(SwapKind kind, ProgressSink* progress) {
    const std::string_view name = kind == SwapKind::Byte   ? "Byte Swap"
                                  : kind == SwapKind::Word ? "Word Swap"
                                                           : "Double Swap";
    return Finish(SwapWholeFile(document_, kind, progress), name);
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
    return Finish(FillRange(document_, *start, *end, spec, progress), "Fill");
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
    const ToolOutcome outcome =
        Finish(ProcessBlock(document_, values.action, *start, *end, *destination,
                            static_cast<std::uint8_t>(*fill), progress),
               "Block Process");
    // Nothing is lost, but the chip never holds what lies past its last address: say so.
    const std::uint64_t count = *end - *start + 1;
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
    if (!modified_ || deviceSize_ == 0)
        return OkOutcome::Closed;
    const auto sum = Checksum(BufferPath(), deviceSize_ - 1, kErasedByte);
    if (!sum) {
        const Answer answer = op_.Ask(
            Severity::Error, kErrorCaption,
            "The buffer file " + BufferPath().string() +
                " cannot be read, so the edited image's checksum is not known.\n\nClose the "
                "editor anyway? The main window then keeps the socket's earlier file and "
                "checksum, which no longer match the buffer.",
            Buttons::YesNo);
        return answer == Answer::Yes ? OkOutcome::Abandoned : OkOutcome::Failed;
    }
    imageChecksum_ = *sum;
    SocketFields fields;
    fields.workFile = std::string(kDataFromBuffer);
    fields.checksumText = ChecksumText(*sum);
    fields.startAddressText = "00000000";
    fields.enabled = true;
    host.ApplyEditedImage(fields);
    return OkOutcome::Applied;
}

}  // namespace torq::editor
