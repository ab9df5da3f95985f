// The hex editor without its window: the device size it was shown for, the buffer file it edits
// in place, the modified flag, the hex view and the map, the tools' entry side, the tools and the
// swaps, undo and redo of every change, and OK's checksum handed to the main window.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "torq/buffer/Load.h"
#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Seams.h"
#include "torq/editor/ByteMap.h"
#include "torq/editor/Document.h"
#include "torq/editor/HexView.h"
#include "torq/editor/Operations.h"
#include "torq/editor/ToolFields.h"
#include "torq/editor/UndoHistory.h"

namespace torq::editor {

// The work-file text of a socket whose image was edited in the buffer.
inline constexpr std::string_view kDataFromBuffer = "< Data from buffer >";
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
    // cleared) to the log when one is given. The tools open the buffer file through `opener` (by
    // default on disk).
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
    ToolOutcome ChangeUndoably(std::string_view name, std::vector<ByteRange> ranges,
                               const std::function<WriteReport()>& change,
                               ProgressSink* progress = nullptr);

    // ---- tools ----
    ToolOutcome Swap(SwapKind kind, ProgressSink* progress = nullptr);
    ToolOutcome Fill(const FillDialogValues& values, ProgressSink* progress = nullptr);
    ToolOutcome Block(const BlockDialogValues& values, ProgressSink* progress = nullptr);
    // Shows the range sum (caption "CheckSum"); the value is returned as well.
    std::optional<std::uint64_t> Sum(const SumDialogValues& values);

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
                        const std::function<WriteReport()>& change, ProgressSink* progress);
    bool AskToGoOnWithoutUndo(std::string_view name, std::uint64_t copySize);
    void DropHistory(std::string_view name);
    bool Finish(const UndoReport& report, std::string_view what, std::uint64_t address);
    void ReportReadFailure(bool ok);

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
};

}  // namespace torq::editor
