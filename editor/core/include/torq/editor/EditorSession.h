// The hex editor without its window: the device size it was shown for, the buffer file it edits
// in place, the modified flag, the hex view and the map, go to, find, the selection and the
// clipboard, the tools' entry side, the tools and the swaps, undo and redo of every change, the
// log line of each, and OK's checksum handed to the main window.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "torq/buffer/BufferFile.h"
#include "torq/buffer/Load.h"
#include "torq/buffer/Save.h"
#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Seams.h"
#include "torq/editor/ByteMap.h"
#include "torq/editor/Document.h"
#include "torq/editor/HexView.h"
#include "torq/editor/Operations.h"
#include "torq/editor/Search.h"
#include "torq/editor/ToolFields.h"
#include "torq/editor/UndoHistory.h"

namespace torq::editor {

inline constexpr std::string_view kErrorCaption = "Error";
inline constexpr std::string_view kCheckSumCaption = "CheckSum";

// What the editor needs from the main window: OK after an edit shows the edited image on unit 1,
// socket 1 (work file, checksum, start address, enable box).
class EditorHost {
  public:
    virtual ~EditorHost() = default;
    virtual void ApplyEditedImage(const SocketFields& fields) = 0;
};

enum class ToolOutcome { Done, Refused, Failed };

// Which form the clipboard carries: hex text ("3F A0 ..") or the bytes as characters.
enum class ByteForm { Hex, Text };
// A copy larger than this asks first; one larger than the limit is refused (Save writes a range
// of any size to a file).
inline constexpr std::uint64_t kCopyAskBytes = std::uint64_t{1} << 20;
inline constexpr std::uint64_t kCopyLimit = std::uint64_t{16} << 20;

// What a find did, and the note the find bar shows.
struct FindOutcome {
    enum class Status { Found, NotFound, Refused, Cancelled, Failed };
    Status status = Status::NotFound;
    std::string note;
};

// The status line's selection: "Selection 0000000100 - 00000001FF, 256 bytes (0x100), sum
// 0000007F80", the sum as the Sum tool shows it.
std::string SelectionStatusText(const ByteRange& range, std::optional<std::uint64_t> sum);

enum class OkOutcome {
    Closed,     // nothing was modified: the main window stays as it is
    Applied,    // the edited image's checksum went to unit 1, socket 1
    Abandoned,  // the buffer could not be summed and the operator chose to close anyway: the
                // main window keeps its earlier checksum
    Failed,     // the buffer could not be summed and the operator chose to stay: the editor
                // stays open, so OK can be tried again
};

class EditorSession {
  public:
    // Messages, refusals and questions go to the operator; notices (the undo history being
    // cleared) and a line for every change made to the buffer and every save go to the log when
    // one is given (the main window's information log, or the stand-alone viewer's). The tools open
    // the buffer file through `opener` (by default on disk).
    EditorSession(std::filesystem::path bufferFile, Operator& op, InformationLog* log = nullptr,
                  BufferOpener opener = {});

    // Each showing: modified cleared, tool entry side 8-bit, block 0, 8-bit cells, the map at
    // 16 rows, no undo history (the copies of an earlier showing removed); the page read.
    void Show(std::uint64_t deviceSize);

    std::uint64_t DeviceSize() const { return deviceSize_; }
    const BufferDocument& Document() const { return document_; }
    const std::filesystem::path& BufferPath() const { return document_.Path(); }
    // The buffer file's length - 1; nothing when it is empty or missing.
    std::optional<std::uint64_t> BufferLastIndex() const;
    std::uint64_t BufferLength() const { return document_.Length().value_or(0); }

    bool Modified() const { return modified_; }
    void SetModified() { modified_ = true; }
    // Load File replaced the image.
    void ClearModified() { modified_ = false; }
    EntrySide ToolEntrySide() const { return entrySide_; }
    void SetToolEntrySide(EntrySide side) { entrySide_ = side; }

    HexView& View() { return view_; }
    const HexView& View() const { return view_; }
    ByteMap& Map() { return map_; }
    const ByteMap& Map() const { return map_; }
    // Reads the page (and the map's visible cells). A file that cannot be read shows FF and is
    // reported once until it can be read again.
    bool RefreshView();
    bool RefreshMap();
    // Entering the map: the current position is the byte address of the hex view's top row.
    void EnterMap();

    // ---- typing ----
    // A hex digit on the hex side; written when the cell's digits are complete. False when the
    // key is not taken.
    bool TypeHexDigit(char digit);
    // A character on the character side: its code is written at the cell's address. Only
    // printable ASCII is taken; other codes are typed on the hex side.
    bool TypeCharacter(char character);

    // ---- undo ----
    // Typed edits, the tools and the swaps are one history: undo puts back the bytes and the
    // length the buffer had before the newest change, redo makes it again.
    bool CanUndo() const { return history_.CanUndo(); }
    bool CanRedo() const { return history_.CanRedo(); }
    bool Undo(ProgressSink* progress = nullptr);
    bool Redo(ProgressSink* progress = nullptr);
    UndoHistory& History() { return history_; }
    // One undoable change: what `ranges` hold is copied first, then `change` writes them and
    // becomes one step of the history (also when it failed part-way, so the bytes it wrote can be
    // undone). When the copy would not fit the free disk space beside the buffer, the operator is
    // asked whether to go on without undo (No: Refused, nothing written); when the copy cannot be
    // saved the change is not made and the operator is told (Failed). `name` names the change in
    // the question, the messages and the log.
    // With a `logLine`, a change that reached the buffer is logged with the image's new checksum.
    ToolOutcome ChangeUndoably(std::string_view name, std::vector<ByteRange> ranges,
                               const std::function<WriteReport()>& change,
                               ProgressSink* progress = nullptr, std::string_view logLine = {});

    // ---- go to ----
    // The Go to field: a hexadecimal address (with or without "0x"), or "+" / "-" and an offset
    // from the cursor, in the view's address unit (words in 16-bit cells), stopped at the last
    // address. The cursor goes there with its row in view. Empty when it went; else why not.
    std::string GoTo(std::string_view text);

    // ---- find ----
    // Finds the pattern from the cursor (forward: from the selection's start + 1 when there is a
    // selection, so the next match follows the one found; backward: before it), wrapping at the
    // device's ends. A match is selected, and every match on the page is marked until the pattern
    // is dropped.
    FindOutcome Find(std::string_view text, PatternKind kind, bool matchCase,
                     SearchDirection direction, SearchProgress* progress = nullptr);
    bool HasPattern() const { return pattern_.has_value(); }
    void DropPattern();
    // The page's bytes that a match of the pattern covers.
    const PageMask& PageMatches() const { return pageMatches_; }

    // ---- selection ----
    // The sum of the selected bytes, as the Sum tool sums a range. Kept from one call to the
    // next, so a selection that grows or shrinks sums only the bytes that changed.
    std::optional<std::uint64_t> SelectionSum(ProgressSink* progress = nullptr);
    // The status line's text; empty without a selection.
    std::string SelectionText(ProgressSink* progress = nullptr);
    // The sum of `count` bytes from `start`, bytes beyond the file's end counted as FF: the Sum
    // tool's rule.
    std::optional<std::uint64_t> RangeSum(std::uint64_t start, std::uint64_t count,
                                          ProgressSink* progress = nullptr) const;

    // ---- clipboard ----
    // The form of the side the cursor is on.
    ByteForm SideForm() const {
        return view_.Side() == CursorSide::Hex ? ByteForm::Hex : ByteForm::Text;
    }
    // The selection as clipboard text; nothing without a selection, when the operator declines
    // the question a copy over 1 MiB asks, when it is over the limit or cannot be read.
    std::optional<std::string> Copy(ByteForm form);
    // Overwrites from the selection's start (or the cursor) with the clipboard's bytes: hex text
    // for the hex side, the text's own bytes for the character side. Nothing past the device's
    // last address is written; the operator is told how much was left out. One undoable step.
    ToolOutcome Paste(std::string_view text, ByteForm form, ProgressSink* progress = nullptr);

    // ---- tools ----
    ToolOutcome Swap(SwapKind kind, ProgressSink* progress = nullptr);
    ToolOutcome Fill(const FillDialogValues& values, ProgressSink* progress = nullptr);
    ToolOutcome Block(const BlockDialogValues& values, ProgressSink* progress = nullptr);
    // Shows the range sum (caption "CheckSum"); the value is returned as well.
    std::optional<std::uint64_t> Sum(const SumDialogValues& values);
    // The tools' dialogs open on the selection when there is one, else on the whole device.
    FillDialogValues FillDefaults() const;
    BlockDialogValues BlockDefaults() const;
    SumDialogValues SumDefaults() const;
    SaveDialogValues SaveDefaults() const;
    // The save dialog's OK (the range may reach the buffer file's end when a block lengthened it
    // past the device); a save is logged with the written file's checksum.
    SaveOutcome Save(const SaveDialogValues& values);

    // ---- closing ----
    // After an edit: the image's checksum goes to the main window. When the buffer cannot be
    // summed the operator is asked whether to close anyway, since the main window would then
    // show a checksum that no longer matches the buffer. Closing drops the undo history.
    OkOutcome Ok(EditorHost& host);
    std::optional<std::uint32_t> ImageChecksum() const { return imageChecksum_; }

  private:
    bool WriteEdit(std::uint64_t address, std::span<const std::uint8_t> bytes);
    bool ValidRange(std::optional<std::uint64_t> start, std::optional<std::uint64_t> end) const;
    ToolOutcome RunTool(std::string_view name, std::vector<ByteRange> ranges,
                        const std::function<WriteReport()>& change, ProgressSink* progress,
                        std::string_view logLine);
    bool AskToGoOnWithoutUndo(std::string_view name, std::uint64_t copySize);
    void DropHistory(std::string_view name);
    bool Finish(const UndoReport& report, std::string_view what, std::uint64_t address, bool typed);
    void ReportReadFailure(bool ok);
    void LogChange(std::string_view what, bool complete);
    FindOutcome Search(SearchDirection direction, SearchProgress* progress);
    void MarkPageMatches();

    BufferDocument document_;
    Operator& op_;
    InformationLog* log_;
    std::uint64_t deviceSize_ = 0;
    bool modified_ = false;
    EntrySide entrySide_ = EntrySide::Byte;
    HexView view_;
    ByteMap map_;
    UndoHistory history_{document_};
    std::optional<std::uint32_t> imageChecksum_;
    bool readFailureShown_ = false;
    // Counts the changes to the buffer, so a kept selection sum knows when it is stale.
    std::uint64_t generation_ = 0;
    struct KeptSum {
        ByteRange range;
        std::uint64_t sum = 0;
        std::uint64_t generation = 0;
    };
    std::optional<KeptSum> keptSum_;
    std::optional<SearchPattern> pattern_;
    std::optional<PatternMatcher> matcher_;
    PageMask pageMatches_;
};

}  // namespace torq::editor
