// The hex view's model: which page of the buffer is shown, its cells in the 8-bit and 16-bit
// forms, the cursor, the pending hex digits and the 1 GiB block control. It reads one 256-byte
// page per refresh and never holds more of the image.
//
// Navigation is bounded at the device's last address: the scroll position, the block number and
// a typed row address never take the page past the page that ends with the last address.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "torq/editor/Document.h"

namespace torq::editor {

inline constexpr std::uint64_t kRowBytes = 16;
inline constexpr int kPageRows = 16;
inline constexpr std::uint64_t kPageBytes = kRowBytes * kPageRows;
inline constexpr std::uint64_t kBlockBytes = std::uint64_t{1} << 30;
inline constexpr std::uint64_t kLastBlock = 1023;
// Rows and map rows show ten hexadecimal digits.
inline constexpr int kAddressDigits = 10;

// "8 Bits": one byte a cell; "16 Bits": one little-endian word a cell, its row address a word
// address.
enum class CellWidth { Byte, Word };
// Which grid the cursor is in.
enum class CursorSide { Hex, Character };

enum class CursorMove {
    Left,
    Right,
    Up,
    Down,
    PageUp,
    PageDown,
    RowStart,
    RowEnd,
    First,  // the device's first address
    Last,   // the device's last address
};

class HexView {
  public:
    // A fresh view on a device: 8-bit cells, block 0, top of the device, cursor on the first cell.
    void Reset(std::uint64_t deviceSize);

    std::uint64_t DeviceSize() const { return deviceSize_; }
    CellWidth Width() const { return width_; }
    void SetWidth(CellWidth width);

    // ---- navigation ----
    // The largest scroll position (rows of 16 bytes from the block's start).
    std::uint64_t ScrollLimit() const;
    std::uint64_t ScrollPosition() const { return scroll_; }
    void SetScrollPosition(std::uint64_t rows);
    std::uint64_t Block() const { return block_; }
    // Shown only for devices whose last address lies above 1 GiB.
    bool BlockControlVisible() const;
    void NextBlock();
    void PreviousBlock();
    // The block field's text: digits only, an empty field is block 0, a number above the last
    // block is the last block. Returns the field's text after the rule.
    std::string TypeBlockText(std::string_view text);
    std::string BlockText() const { return std::to_string(block_); }
    // The byte address of the top row: block x 1 GiB + scroll position x 16.
    std::uint64_t PageAddress() const { return block_ * kBlockBytes + scroll_ * kRowBytes; }
    // Moves the view so that `row` shows the row holding `address` (or as near as the bound lets).
    void ShowAddressInRow(std::uint64_t address, int row);
    // Puts the cursor on `address`, showing its row at the top when it was off the page.
    void GoTo(std::uint64_t address);

    // ---- the page ----
    // Reads the page; bytes beyond the file's end show FF. False when the file cannot be read.
    bool Refresh(const BufferDocument& document);
    const std::array<std::uint8_t, kPageBytes>& Page() const { return page_; }
    int CellsPerRow() const { return width_ == CellWidth::Byte ? 16 : 8; }
    int DigitsPerCell() const { return width_ == CellWidth::Byte ? 2 : 4; }
    int BytesPerCell() const { return width_ == CellWidth::Byte ? 1 : 2; }
    std::uint64_t RowByteAddress(int row) const { return PageAddress() + row * kRowBytes; }
    // The row's address as ten digits: the byte address, or the word address in 16-bit cells.
    std::string RowAddressText(int row) const;
    // The cell's digits: the odd byte before the even byte in 16-bit cells; the pending digits
    // followed by the rest of the old ones in the cell being typed.
    std::string CellText(int row, int column) const;
    std::string HeaderText(int column) const;
    // The byte shown as a character ('.' for codes that have no printable form).
    char CharacterAt(int row, int index) const;
    bool InsideDevice(std::uint64_t address) const { return address < deviceSize_; }

    // ---- the cursor ----
    // The cursor is a cell on the page: its row and its byte within the row (even in 16-bit
    // cells on the hex side).
    int CursorRow() const { return cursorRow_; }
    int CursorByte() const { return cursorByte_; }
    int CursorColumn() const { return cursorByte_ / BytesPerCell(); }
    CursorSide Side() const { return side_; }
    void SetSide(CursorSide side);
    // The edit address: the byte address of the cell under the cursor.
    std::uint64_t EditAddress() const { return RowByteAddress(cursorRow_) + cursorByte_; }
    // Puts the cursor on a cell of the page; false (nothing moves) beyond the device.
    bool PlaceCursor(int row, int byteInRow, CursorSide side);
    // Moves the cursor; with `extend` (Shift) the selection runs from where it began (the cursor
    // before the first extending move) to the new cursor, without it the selection goes.
    void Move(CursorMove move, bool extend = false);
    // The next cell after an edit: the next column, the first cell of the next row after the
    // last column, scrolling one row at the bottom of the page.
    void Advance();

    // ---- the selection ----
    // The selected bytes, both ends included. Made on the hex side of 16-bit cells it holds whole
    // cells (a word's two bytes, the last one cut at the device's end); a find selects exactly the
    // match's bytes.
    const std::optional<ByteRange>& Selection() const { return selection_; }
    bool Selected(std::uint64_t address) const { return selection_ && selection_->Holds(address); }
    void ClearSelection() { selection_.reset(); }
    // A click on a cell: the cursor goes there and the selection goes, or with `extend` (Shift)
    // runs from where it began to the cell. A drag begins at the clicked cell.
    bool Click(int row, int byteInRow, CursorSide side, bool extend);
    // The pointer dragged with the button held: the selection runs from the clicked cell to the
    // cell at `row` and `byteInRow`; a row above or below the page (-1, 16) scrolls one row.
    void DragTo(int row, int byteInRow);
    // Selects exactly first ... last and puts the cursor on `first`, its row in view.
    void SelectBytes(std::uint64_t first, std::uint64_t last);
    void SelectAll();

    // ---- typing ----
    const std::string& Pending() const { return pending_; }
    // Appends a hex digit (upper case) to the pending text; false for anything else. Complete()
    // tells when the cell's digits are all there.
    bool AppendPending(char digit);
    bool PendingComplete() const { return static_cast<int>(pending_.size()) == DigitsPerCell(); }
    void ClearPending() { pending_.clear(); }

    // ---- the address column ----
    int AddressCaretRow() const { return addressRow_; }
    int AddressCaretDigit() const { return addressDigit_; }
    void PlaceAddressCaret(int row, int digit);
    // Replaces the digit under the address caret, moves the caret to the next digit and moves
    // the view so that the caret's row shows the new address. False for a non-hex key.
    bool TypeAddressDigit(char digit);

  private:
    std::uint64_t LastAddress() const { return deviceSize_ == 0 ? 0 : deviceSize_ - 1; }
    // The highest page address: the page whose last row holds the last address.
    std::uint64_t TopLimit() const;
    void SetPageAddress(std::uint64_t address);
    void ClampScroll();
    void ClampCursor();
    void MoveToAddress(std::uint64_t address);
    // A selection begins at the cursor: 16-bit cells on the hex side select whole cells.
    void BeginSelection();
    void SelectFromAnchorTo(std::uint64_t address);

    std::uint64_t deviceSize_ = 0;
    CellWidth width_ = CellWidth::Byte;
    std::uint64_t block_ = 0;
    std::uint64_t scroll_ = 0;
    std::array<std::uint8_t, kPageBytes> page_{};
    int cursorRow_ = 0;
    int cursorByte_ = 0;
    CursorSide side_ = CursorSide::Hex;
    std::string pending_;
    int addressRow_ = 0;
    int addressDigit_ = 0;
    std::optional<ByteRange> selection_;
    std::uint64_t anchor_ = 0;
    bool wholeCells_ = false;
};

}  // namespace torq::editor
