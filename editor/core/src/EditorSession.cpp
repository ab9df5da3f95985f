#include "torq/editor/EditorSession.h"

#include <algorithm>

#include "ProgressFrame.h"
#include "torq/buffer/Save.h"
#include "torq/devlib/RegularFile.h"
#include "torq/devlib/Text.h"

namespace torq::editor {

namespace {

std::string Address(std::uint64_t address) {
    return HexText(address, kAddressDigits);
}

std::string RangeText(std::uint64_t first, std::uint64_t last) {
    return Address(first) + " - " + Address(last);
}

std::string ByteCount(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// The history's name for a typed byte or word. Typed edits leave no log line, nor do their undo
// and redo: OK's line sums them up.
constexpr std::string_view kTypedEdit = "the edit";

// A larger sum is read in parts, so the progress bar moves while it runs.
constexpr std::uint64_t kSumPart = std::uint64_t{64} << 20;

}  // namespace

std::string SelectionStatusText(const ByteRange& range, std::optional<std::uint64_t> sum) {
    return "Selection " + RangeText(range.start, range.Last()) + ", " + ByteCount(range.count) +
           " (0x" + HexText(range.count) + "), sum " +
           (sum ? RangeSumText(*sum) : std::string("not readable"));
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
    history_.Clear();
    imageChecksum_.reset();
    readFailureShown_ = false;
    ++generation_;
    keptSum_.reset();
    DropPattern();
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
    MarkPageMatches();
    return ok;
}

void EditorSession::MarkPageMatches() {
    pageMatches_.reset();
    if (!matcher_ || deviceSize_ == 0)
        return;
    // The page and a pattern's length less one byte on each side, within the device.
    const std::uint64_t page = view_.PageAddress();
    const std::uint64_t reach = matcher_->Size() - 1;
    const std::uint64_t first = page > reach ? page - reach : 0;
    const std::uint64_t end = std::min(deviceSize_, page + kPageBytes + reach);
    if (end <= first)
        return;
    std::vector<std::uint8_t> window(static_cast<std::size_t>(end - first));
    if (document_.Read(first, window))
        pageMatches_ = MatchesOnPage(*matcher_, window, first, page);
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
                                          ProgressSink* progress, std::string_view logLine) {
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
        ++generation_;
        if (!logLine.empty())
            LogChange(logLine, report.ok);
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

void EditorSession::LogChange(std::string_view what, bool complete) {
    if (log_ == nullptr || deviceSize_ == 0)
        return;
    std::string line = "Editor : " + std::string(what);
    if (!complete)
        line += " (stopped part-way)";
    const auto sum = Checksum(BufferPath(), deviceSize_ - 1, kErasedByte);
    line += sum ? ", IC checksum=0x" + ChecksumText(*sum) : ", the image cannot be summed";
    log_->WriteInfoLine(line);
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
    const bool ok = ChangeUndoably(kTypedEdit, {{address, count}}, write) == ToolOutcome::Done;
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
    view_.ClearSelection();
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
    view_.ClearSelection();
    WriteEdit(view_.EditAddress(), bytes);
    return true;
}

bool EditorSession::Finish(const UndoReport& report, std::string_view what, std::uint64_t address,
                           bool typed) {
    if (report.changed) {
        modified_ = true;
        ++generation_;
        if (!typed)
            LogChange(std::string(what) + " at " + Address(address), report.ok);
    }
    if (!report.ok)
        op_.Tell(Severity::Error, kErrorCaption, std::string(what) + " failed: " + report.error);
    if (report.redoLost && log_ != nullptr)
        log_->WriteInfoLine("Editor : " + std::string(what) + " kept no copy for redo (" +
                            *report.redoLost + "); it cannot be redone");
    view_.ClearSelection();
    view_.GoTo(address);
    RefreshView();
    return report.ok;
}

bool EditorSession::Undo(ProgressSink* progress) {
    if (!history_.CanUndo())
        return false;
    const std::uint64_t address = history_.UndoAddress();
    const std::string what = "Undo of " + std::string(history_.UndoName());
    const bool typed = history_.UndoName() == kTypedEdit;
    return Finish(history_.Undo(progress), what, address, typed);
}

bool EditorSession::Redo(ProgressSink* progress) {
    if (!history_.CanRedo())
        return false;
    const std::uint64_t address = history_.RedoAddress();
    const std::string what = "Redo of " + std::string(history_.RedoName());
    const bool typed = history_.RedoName() == kTypedEdit;
    return Finish(history_.Redo(progress), what, address, typed);
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
                                   ProgressSink* progress, std::string_view logLine) {
    const ToolOutcome outcome = ChangeUndoably(name, std::move(ranges), change, progress, logLine);
    RefreshView();
    return outcome;
}

ToolOutcome EditorSession::Swap(SwapKind kind, ProgressSink* progress) {
    const std::string_view name = SwapCaption(kind);
    const std::uint64_t length = BufferLength();
    const std::string line = std::string(name) + " of the whole buffer" +
                             (length > 0 ? " (" + RangeText(0, length - 1) + ")" : std::string());
    return RunTool(
        name, {{0, length}}, [&] { return SwapWholeFile(document_, kind, progress); }, progress,
        line);
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
    const std::string with = !spec.userDefined ? std::string(FillPatternCaption(spec.pattern))
                             : spec.userWidth == UserWidth::Byte
                                 ? "the byte " + HexText(spec.userByte, 2)
                                 : "the word " + HexText(spec.userWord, 4);
    return RunTool(
        "Fill", {{*start, *end - *start + 1}},
        [&] { return FillRange(document_, *start, *end, spec, progress); }, progress,
        "Fill " + RangeText(*start, *end) + " with " + with);
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
    std::string line = "Block Process " + std::string(BlockActionCaption(values.action)) + " " +
                       RangeText(*start, *end) +
                       (values.action == BlockAction::Swap ? " with " : " to ") +
                       RangeText(*destination, *destination + (*end - *start));
    if (values.action == BlockAction::Move)
        line += ", the source filled with " + HexText(*fill, 2);
    const ToolOutcome outcome = RunTool(
        "Block Process", std::move(written),
        [&] {
            return ProcessBlock(document_, values.action, *start, *end, *destination,
                                static_cast<std::uint8_t>(*fill), progress);
        },
        progress, line);
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
    const auto sum = RangeSum(*start, *end - *start + 1);
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
    if (log_ != nullptr)
        log_->WriteInfoLine(
            "Editor : OK, the edited image goes to unit 1, socket 1, IC checksum=0x" +
            ChecksumText(*sum));
    SocketFields fields;
    fields.workFile = std::string(kDataFromBuffer);
    fields.checksumText = ChecksumText(*sum);
    fields.startAddressText = "00000000";
    fields.enabled = true;
    host.ApplyEditedImage(fields);
    history_.Clear();
    return OkOutcome::Applied;
}

FillDialogValues EditorSession::FillDefaults() const {
    return FillDialogDefaults(deviceSize_, view_.Selection());
}

BlockDialogValues EditorSession::BlockDefaults() const {
    return BlockDialogDefaults(deviceSize_, view_.Selection());
}

SumDialogValues EditorSession::SumDefaults() const {
    return SumDialogDefaults(deviceSize_, view_.Selection());
}

SaveDialogValues EditorSession::SaveDefaults() const {
    SaveDialogValues values = SaveDialogDefaults(deviceSize_);
    if (const auto& selection = view_.Selection(); selection && selection->count > 0) {
        values.startText = Address(selection->start);
        values.endText = Address(selection->Last());
    }
    return values;
}

SaveOutcome EditorSession::Save(const SaveDialogValues& values) {
    const SaveOutcome outcome =
        SaveFromDialog(values, BufferPath(), ToolRangeLength(deviceSize_, BufferLength()), op_);
    if (outcome != SaveOutcome::Saved || log_ == nullptr)
        return outcome;
    // The same sum a load of the file gives as its "File checksum".
    const std::filesystem::path output(values.name);
    std::error_code error;
    const auto length = std::filesystem::file_size(output, error);
    const auto sum = !error && length > 0 ? Checksum(output, length - 1, kErasedByte)
                                          : std::optional<std::uint32_t>(0);
    const auto start = HexFieldValue(values.startText).value_or(0);
    const auto end = HexFieldValue(values.endText).value_or(0);
    log_->WriteInfoLine("Editor : Save File " + RangeText(start, end) + " as " +
                        std::string(SaveFormatCaption(values.format)) + " to " + values.name +
                        (sum ? ", File checksum=0x" + ChecksumText(*sum)
                             : std::string(", the saved file cannot be read back")));
    return outcome;
}

// ---- go to ----

std::string EditorSession::GoTo(std::string_view text) {
    if (deviceSize_ == 0)
        return "There is no device to go to.";
    const auto request = ParseGoTo(text);
    if (!request)
        return "Type a hexadecimal address (0x optional), or + or - and an offset from the "
               "cursor.";
    const std::uint64_t unit = view_.Width() == CellWidth::Word ? 2 : 1;
    const std::uint64_t target = ResolveGoTo(*request, view_.EditAddress(), unit, deviceSize_ - 1);
    view_.ClearSelection();
    view_.GoTo(target);
    RefreshView();
    return {};
}

// ---- find ----

FindOutcome EditorSession::Find(std::string_view text, PatternKind kind, bool matchCase,
                                SearchDirection direction, SearchProgress* progress) {
    PatternParse parsed = ParseSearchPattern(text, kind, matchCase);
    if (!parsed.pattern)
        return {FindOutcome::Status::Refused, parsed.error};
    pattern_ = std::move(parsed.pattern);
    matcher_.emplace(*pattern_);
    return Search(direction, progress);
}

void EditorSession::DropPattern() {
    pattern_.reset();
    matcher_.reset();
    pageMatches_.reset();
}

FindOutcome EditorSession::Search(SearchDirection direction, SearchProgress* progress) {
    if (deviceSize_ == 0)
        return {FindOutcome::Status::NotFound, "There is no device to search."};
    const auto& selection = view_.Selection();
    const std::uint64_t here = selection ? selection->start : view_.EditAddress();
    SearchRequest request;
    request.end = deviceSize_;
    request.direction = direction;
    // Forward from just after the match (or selection) the cursor is on, so the next is found.
    request.from = direction == SearchDirection::Forward && selection ? here + 1 : here;
    const SearchResult result = FindPattern(document_, *pattern_, request, progress);
    if (!result.error.empty()) {
        op_.Tell(Severity::Error, kErrorCaption, result.error);
        return {FindOutcome::Status::Failed, result.error};
    }
    if (result.cancelled)
        return {FindOutcome::Status::Cancelled, "The search was stopped."};
    if (!result.address) {
        RefreshView();
        return {FindOutcome::Status::NotFound, "Not found."};
    }
    view_.SelectBytes(*result.address, *result.address + pattern_->Size() - 1);
    RefreshView();
    std::string note = "Found at " + Address(*result.address) + ".";
    if (result.wrapped)
        note += direction == SearchDirection::Forward
                    ? " The search went past the last address and on from the start."
                    : " The search went past the first address and on from the end.";
    return {FindOutcome::Status::Found, note};
}

// ---- selection ----

std::optional<std::uint64_t> EditorSession::RangeSum(std::uint64_t start, std::uint64_t count,
                                                     ProgressSink* progress) const {
    if (count <= kSumPart)
        return SumFileBytes(BufferPath(), start, count, kErasedByte);
    ProgressFrame frame(progress, count);
    std::uint64_t sum = 0;
    for (std::uint64_t done = 0; done < count;) {
        const std::uint64_t part = std::min(kSumPart, count - done);
        const auto partSum = SumFileBytes(BufferPath(), start + done, part, kErasedByte);
        if (!partSum)
            return std::nullopt;
        sum += *partSum;
        done += part;
        frame.Done(done);
    }
    return sum;
}

std::optional<std::uint64_t> EditorSession::SelectionSum(ProgressSink* progress) {
    const auto& selection = view_.Selection();
    if (!selection)
        return std::nullopt;
    const ByteRange now = *selection;
    std::optional<std::uint64_t> sum;
    if (keptSum_ && keptSum_->generation == generation_ && keptSum_->range == now)
        return keptSum_->sum;
    // A selection that grew or shrank at its ends: only the bytes between the old and the new
    // ends are summed, when that is fewer than the whole selection.
    if (keptSum_ && keptSum_->generation == generation_) {
        const ByteRange before = keptSum_->range;
        const bool overlaps = now.start <= before.Last() && before.start <= now.Last();
        const auto gap = [](std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; };
        const std::uint64_t changed = gap(now.start, before.start) + gap(now.Last(), before.Last());
        if (overlaps && changed < now.count) {
            std::uint64_t value = keptSum_->sum;
            bool ok = true;
            // Unsigned arithmetic wraps, so adding and taking away in any order gives the sum.
            const auto add = [&](std::uint64_t first, std::uint64_t last, bool plus) {
                if (!ok || last < first)
                    return;
                const auto part = RangeSum(first, last - first + 1, progress);
                if (!part)
                    ok = false;
                else
                    value = plus ? value + *part : value - *part;
            };
            if (now.start < before.start)
                add(now.start, before.start - 1, true);
            else
                add(before.start, now.start - 1, false);
            if (now.Last() > before.Last())
                add(before.Last() + 1, now.Last(), true);
            else
                add(now.Last() + 1, before.Last(), false);
            if (ok)
                sum = value;
        }
    }
    if (!sum)
        sum = RangeSum(now.start, now.count, progress);
    if (!sum) {
        keptSum_.reset();
        return std::nullopt;
    }
    keptSum_ = KeptSum{now, *sum, generation_};
    return sum;
}

std::string EditorSession::SelectionText(ProgressSink* progress) {
    const auto& selection = view_.Selection();
    if (!selection)
        return {};
    return SelectionStatusText(*selection, SelectionSum(progress));
}

// ---- clipboard ----

std::optional<std::string> EditorSession::Copy(ByteForm form) {
    const auto& selection = view_.Selection();
    if (!selection || selection->count == 0)
        return std::nullopt;
    const std::uint64_t count = selection->count;
    if (count > kCopyLimit) {
        op_.Tell(Severity::Warning, "Copy",
                 "The selection holds " + ByteCount(count) + "; the clipboard takes at most " +
                     ByteCount(kCopyLimit) +
                     " (16 MiB). Save writes a range of any size to a file.");
        return std::nullopt;
    }
    if (count > kCopyAskBytes) {
        const std::uint64_t textBytes = form == ByteForm::Hex ? count * 3 - 1 : count;
        const Answer answer =
            op_.Ask(Severity::Question, "Copy",
                    "Copy " + ByteCount(count) + " (0x" + HexText(count) + ") to the clipboard? " +
                        (form == ByteForm::Hex ? "As hex text that is " : "That is ") +
                        std::to_string(std::max<std::uint64_t>(1, (textBytes + (1 << 19)) >> 20)) +
                        " MiB of text.",
                    Buttons::YesNo);
        if (answer != Answer::Yes)
            return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    if (!document_.Read(selection->start, bytes)) {
        op_.Tell(
            Severity::Error, kErrorCaption,
            "The buffer file " + BufferPath().string() + " cannot be read; nothing was copied.");
        return std::nullopt;
    }
    return form == ByteForm::Hex ? HexBytesText(bytes) : CharacterText(bytes);
}

ToolOutcome EditorSession::Paste(std::string_view text, ByteForm form, ProgressSink* progress) {
    if (deviceSize_ == 0)
        return ToolOutcome::Refused;
    std::vector<std::uint8_t> bytes;
    if (form == ByteForm::Hex) {
        PastedBytes parsed = ParsePastedHex(text);
        if (parsed.error) {
            op_.Tell(Severity::Error, "Paste",
                     "The clipboard does not hold hexadecimal bytes: " + parsed.error->Text() +
                         ".\n\nNothing was pasted. Paste on the character side to paste the text "
                         "itself.");
            return ToolOutcome::Refused;
        }
        bytes = std::move(parsed.bytes);
    } else {
        bytes.assign(text.begin(), text.end());
    }
    if (bytes.empty()) {
        op_.Tell(Severity::Information, "Paste", "The clipboard holds nothing to paste.");
        return ToolOutcome::Refused;
    }
    const auto& selection = view_.Selection();
    const std::uint64_t start = selection ? selection->start : view_.EditAddress();
    const std::uint64_t room = deviceSize_ - start;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), room));
    const std::uint64_t cut = bytes.size() - count;
    const std::span<const std::uint8_t> written(bytes.data(), count);
    std::string line =
        "Paste " + RangeText(start, start + count - 1) + " (" + ByteCount(count) + ")";
    if (cut > 0)
        line += ", " + ByteCount(cut) + " beyond the last address left out";
    const ToolOutcome outcome = ChangeUndoably(
        "Paste", {{start, count}},
        [&] {
            WriteReport report;
            report.ok = document_.Write(start, written, &report.error, &report.changed);
            return report;
        },
        progress, line);
    if (outcome == ToolOutcome::Done) {
        view_.ClearSelection();
        // The cursor follows the pasted bytes, as it follows typed ones.
        view_.GoTo(std::min(start + count, deviceSize_ - 1));
        if (cut > 0)
            op_.Tell(Severity::Warning, "Paste",
                     "Pasted " + ByteCount(count) + " at " + RangeText(start, start + count - 1) +
                         ". The last " + ByteCount(cut) +
                         " of the clipboard lie beyond the device's last address " +
                         Address(deviceSize_ - 1) + " and were left out.");
    }
    RefreshView();
    return outcome;
}

}  // namespace torq::editor
