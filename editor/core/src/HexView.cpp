#include "torq/editor/HexView.h"

#include <algorithm>

#include "torq/devlib/Text.h"

namespace torq::editor {

namespace {

constexpr std::uint64_t RowStart(std::uint64_t address) {
    return address & ~(kRowBytes - 1);
}

}  // namespace

void HexView::Reset(std::uint64_t deviceSize) {
    deviceSize_ = deviceSize;
    width_ = CellWidth::Byte;
    block_ = 0;
    scroll_ = 0;
    page_.fill(kErasedByte);
    cursorRow_ = 0;
    cursorByte_ = 0;
    side_ = CursorSide::Hex;
    pending_.clear();
    addressRow_ = 0;
    addressDigit_ = 0;
    selection_.reset();
    anchor_ = 0;
    wholeCells_ = false;
}

void HexView::SetWidth(CellWidth width) {
    width_ = width;
    pending_.clear();
    if (side_ == CursorSide::Hex && width_ == CellWidth::Word)
        cursorByte_ &= ~1;
}

std::uint64_t HexView::TopLimit() const {
    if (deviceSize_ <= kPageBytes)
        return 0;
    return RowStart(LastAddress()) - (kPageBytes - kRowBytes);
}

std::uint64_t HexView::ScrollLimit() const {
    const std::uint64_t base = block_ * kBlockBytes;
    const std::uint64_t top = TopLimit();
    return top >= base ? (top - base) / kRowBytes : 0;
}

void HexView::ClampScroll() {
    scroll_ = std::min(scroll_, ScrollLimit());
}

void HexView::ClampCursor() {
    if (InsideDevice(EditAddress()))
        return;
    // Only a device shorter than the page or ending inside a row leaves cells beyond it.
    const std::uint64_t last = LastAddress();
    if (last >= PageAddress() && last < PageAddress() + kPageBytes) {
        const std::uint64_t offset = last - PageAddress();
        cursorRow_ = static_cast<int>(offset / kRowBytes);
        cursorByte_ = static_cast<int>(offset % kRowBytes);
        if (side_ == CursorSide::Hex && width_ == CellWidth::Word)
            cursorByte_ &= ~1;
    } else {
        cursorRow_ = 0;
        cursorByte_ = 0;
    }
}

void HexView::SetScrollPosition(std::uint64_t rows) {
    const std::uint64_t before = EditAddress();
    scroll_ = std::min(rows, ScrollLimit());
    ClampCursor();
    if (EditAddress() != before)
        pending_.clear();
}

bool HexView::BlockControlVisible() const {
    return deviceSize_ > 0 && LastAddress() > kBlockBytes;
}

void HexView::NextBlock() {
    std::uint64_t block = std::min(block_ + 1, kLastBlock);
    if (block * kBlockBytes > LastAddress())
        block = std::min(LastAddress() / kBlockBytes, kLastBlock);
    if (block != block_) {
        block_ = block;
        pending_.clear();
    }
    ClampScroll();
    ClampCursor();
}

void HexView::PreviousBlock() {
    if (block_ > 0) {
        --block_;
        pending_.clear();
    }
    ClampScroll();
    ClampCursor();
}

std::string HexView::TypeBlockText(std::string_view text) {
    std::string digits;
    for (const char c : text) {
        if (c >= '0' && c <= '9' && digits.size() < 6)
            digits.push_back(c);
    }
    std::uint64_t block = digits.empty() ? 0 : std::stoull(digits);
    block = std::min(block, kLastBlock);
    if (block * kBlockBytes > LastAddress())
        block = std::min(LastAddress() / kBlockBytes, kLastBlock);
    if (block != block_)
        pending_.clear();
    block_ = block;
    ClampScroll();
    ClampCursor();
    return BlockText();
}

void HexView::SetPageAddress(std::uint64_t address) {
    address = std::min(RowStart(address), TopLimit());
    if (address < block_ * kBlockBytes)
        block_ = address / kBlockBytes;
    scroll_ = (address - block_ * kBlockBytes) / kRowBytes;
    ClampScroll();
}

void HexView::ShowAddressInRow(std::uint64_t address, int row) {
    const std::uint64_t before = EditAddress();
    const std::uint64_t rowStart = RowStart(std::min(address, LastAddress()));
    const std::uint64_t above = static_cast<std::uint64_t>(row) * kRowBytes;
    SetPageAddress(rowStart >= above ? rowStart - above : 0);
    ClampCursor();
    if (EditAddress() != before)
        pending_.clear();
}

void HexView::MoveToAddress(std::uint64_t address) {
    if (deviceSize_ == 0)
        return;
    address = std::min(address, LastAddress());
    if (side_ == CursorSide::Hex && width_ == CellWidth::Word)
        address &= ~std::uint64_t{1};
    if (address != EditAddress())
        pending_.clear();
    if (address < PageAddress())
        SetPageAddress(address);
    else if (address >= PageAddress() + kPageBytes)
        SetPageAddress(RowStart(address) - (kPageBytes - kRowBytes));
    const std::uint64_t offset = address - PageAddress();
    cursorRow_ = static_cast<int>(offset / kRowBytes);
    cursorByte_ = static_cast<int>(offset % kRowBytes);
}

void HexView::GoTo(std::uint64_t address) {
    // A jump shows its row at the top; a target already on the page does not move the page.
    const std::uint64_t target = std::min(address, LastAddress());
    if (target < PageAddress() || target >= PageAddress() + kPageBytes)
        SetPageAddress(RowStart(target));
    MoveToAddress(address);
}

bool HexView::Refresh(const BufferDocument& document) {
    return document.Read(PageAddress(), page_);
}

std::string HexView::RowAddressText(int row) const {
    const std::uint64_t address = RowByteAddress(row);
    return HexText(width_ == CellWidth::Byte ? address : address / 2, kAddressDigits);
}

std::string HexView::CellText(int row, int column) const {
    const std::size_t offset = static_cast<std::size_t>(row) * kRowBytes +
                               static_cast<std::size_t>(column * BytesPerCell());
    std::string text = width_ == CellWidth::Byte
                           ? HexText(page_[offset], 2)
                           : HexText(page_[offset + 1], 2) + HexText(page_[offset], 2);
    if (!pending_.empty() && side_ == CursorSide::Hex && row == cursorRow_ &&
        column == CursorColumn()) {
        text.replace(0, pending_.size(), pending_);
    }
    return text;
}

std::string HexView::HeaderText(int column) const {
    return HexText(static_cast<std::uint64_t>(column), 2);
}

char HexView::CharacterAt(int row, int index) const {
    const std::uint8_t byte = page_[static_cast<std::size_t>(row) * kRowBytes + index];
    return byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
}

void HexView::SetSide(CursorSide side) {
    if (side == side_)
        return;
    side_ = side;
    pending_.clear();
    if (side_ == CursorSide::Hex && width_ == CellWidth::Word)
        cursorByte_ &= ~1;
}

bool HexView::PlaceCursor(int row, int byteInRow, CursorSide side) {
    if (row < 0 || row >= kPageRows || byteInRow < 0 || byteInRow >= static_cast<int>(kRowBytes))
        return false;
    if (side == CursorSide::Hex && width_ == CellWidth::Word)
        byteInRow &= ~1;
    const std::uint64_t address = RowByteAddress(row) + byteInRow;
    if (!InsideDevice(address))
        return false;
    if (address != EditAddress() || side != side_)
        pending_.clear();
    side_ = side;
    cursorRow_ = row;
    cursorByte_ = byteInRow;
    return true;
}

void HexView::Move(CursorMove move, bool extend) {
    if (deviceSize_ == 0)
        return;
    if (!extend)
        selection_.reset();
    else if (!selection_)
        BeginSelection();
    const std::uint64_t here = EditAddress();
    const std::uint64_t step =
        side_ == CursorSide::Hex ? static_cast<std::uint64_t>(BytesPerCell()) : 1;
    const std::uint64_t last = LastAddress();
    switch (move) {
        case CursorMove::Left:
            if (here >= step)
                MoveToAddress(here - step);
            break;
        case CursorMove::Right:
            if (here + step <= last)
                MoveToAddress(here + step);
            break;
        case CursorMove::Up:
            if (here >= kRowBytes)
                MoveToAddress(here - kRowBytes);
            break;
        case CursorMove::Down:
            if (here + kRowBytes <= last)
                MoveToAddress(here + kRowBytes);
            break;
        case CursorMove::PageUp: {
            const std::uint64_t page = PageAddress();
            SetPageAddress(page >= kPageBytes ? page - kPageBytes : 0);
            MoveToAddress(here >= kPageBytes ? here - kPageBytes : here % kRowBytes);
            break;
        }
        case CursorMove::PageDown: {
            SetPageAddress(PageAddress() + kPageBytes);
            std::uint64_t target = here + kPageBytes;
            if (target > last) {
                // The same column of the last row, or the last address when that row is short.
                target = RowStart(last) + here % kRowBytes;
                target = target > last ? last : target;
            }
            MoveToAddress(target);
            break;
        }
        case CursorMove::RowStart:
            MoveToAddress(RowStart(here));
            break;
        case CursorMove::RowEnd:
            MoveToAddress(RowStart(here) + kRowBytes - 1);
            break;
        case CursorMove::First:
            MoveToAddress(0);
            break;
        case CursorMove::Last:
            MoveToAddress(last);
            break;
    }
    if (extend)
        SelectFromAnchorTo(EditAddress());
}

void HexView::BeginSelection() {
    anchor_ = EditAddress();
    wholeCells_ = side_ == CursorSide::Hex && width_ == CellWidth::Word;
}

void HexView::SelectFromAnchorTo(std::uint64_t address) {
    std::uint64_t first = std::min(anchor_, address);
    std::uint64_t last = std::max(anchor_, address);
    if (wholeCells_) {
        first &= ~std::uint64_t{1};
        last = std::min(last | 1, LastAddress());
    }
    selection_ = ByteRange{first, last - first + 1};
}

bool HexView::Click(int row, int byteInRow, CursorSide side, bool extend) {
    if (extend && !selection_)
        BeginSelection();
    if (!PlaceCursor(row, byteInRow, side))
        return false;
    if (extend) {
        SelectFromAnchorTo(EditAddress());
    } else {
        selection_.reset();
        BeginSelection();
    }
    return true;
}

void HexView::DragTo(int row, int byteInRow) {
    if (deviceSize_ == 0)
        return;
    row = std::clamp(row, -1, kPageRows);
    byteInRow = std::clamp(byteInRow, 0, static_cast<int>(kRowBytes) - 1);
    const std::uint64_t page = PageAddress();
    const std::uint64_t offset = static_cast<std::uint64_t>(byteInRow);
    std::uint64_t address;
    if (row < 0)
        address = page >= kRowBytes ? page - kRowBytes + offset : offset;
    else
        address = page + static_cast<std::uint64_t>(row) * kRowBytes + offset;
    MoveToAddress(std::min(address, LastAddress()));
    SelectFromAnchorTo(EditAddress());
}

void HexView::SelectBytes(std::uint64_t first, std::uint64_t last) {
    if (deviceSize_ == 0)
        return;
    last = std::min(last, LastAddress());
    first = std::min(first, last);
    GoTo(first);
    anchor_ = last;
    wholeCells_ = false;
    selection_ = ByteRange{first, last - first + 1};
}

void HexView::SelectAll() {
    if (deviceSize_ == 0)
        return;
    anchor_ = 0;
    wholeCells_ = false;
    MoveToAddress(LastAddress());
    selection_ = ByteRange{0, deviceSize_};
}

void HexView::Advance() {
    const std::uint64_t step =
        side_ == CursorSide::Hex ? static_cast<std::uint64_t>(BytesPerCell()) : 1;
    if (EditAddress() + step <= LastAddress())
        MoveToAddress(EditAddress() + step);
    pending_.clear();
}

bool HexView::AppendPending(char digit) {
    if (!IsHexDigit(digit) || PendingComplete())
        return false;
    pending_.push_back(ToUpper(std::string_view(&digit, 1))[0]);
    return true;
}

void HexView::PlaceAddressCaret(int row, int digit) {
    addressRow_ = std::clamp(row, 0, kPageRows - 1);
    addressDigit_ = std::clamp(digit, 0, kAddressDigits - 1);
}

bool HexView::TypeAddressDigit(char digit) {
    if (!IsHexDigit(digit))
        return false;
    std::string text = RowAddressText(addressRow_);
    text[static_cast<std::size_t>(addressDigit_)] = ToUpper(std::string_view(&digit, 1))[0];
    const std::uint64_t value = ParseHex64(text).value_or(0);
    ShowAddressInRow(width_ == CellWidth::Byte ? value : value * 2, addressRow_);
    addressDigit_ = std::min(addressDigit_ + 1, kAddressDigits - 1);
    return true;
}

}  // namespace torq::editor
