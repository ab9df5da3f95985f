#include "torq/editor/ByteMap.h"

#include <algorithm>
#include <vector>

#include "torq/devlib/Text.h"
#include "torq/editor/HexView.h"

namespace torq::editor {

namespace {

MapClass Classify(const std::uint8_t* bytes, std::size_t count) {
    const auto all = [&](std::uint8_t value) {
        return std::all_of(bytes, bytes + count, [value](std::uint8_t b) { return b == value; });
    };
    if (all(0xFF))
        return MapClass::Erased;
    if (all(0x00))
        return MapClass::Zero;
    return MapClass::Data;
}

}  // namespace

std::string_view MapClassName(MapClass kind) {
    switch (kind) {
        case MapClass::Erased:
            return "FFh Block";
        case MapClass::Zero:
            return "00h Block";
        case MapClass::Data:
            return "Data Block";
    }
    return {};
}

void ByteMap::Reset(std::uint64_t deviceSize) {
    deviceSize_ = deviceSize;
    rows_ = kMapPageRows;
    top_ = 0;
    position_ = 0;
    classes_.fill(MapClass::Erased);
}

std::uint64_t ByteMap::CellBytes() const {
    const std::uint64_t cells = rows_ * kMapColumns;
    return std::max<std::uint64_t>(1, (deviceSize_ + cells - 1) / cells);
}

std::uint64_t ByteMap::RowBytes() const {
    return CellBytes() * kMapColumns;
}

void ByteMap::SetTopRow(std::uint64_t row) {
    top_ = std::min(row, ScrollLimit());
}

void ByteMap::ShowPosition(std::uint64_t address) {
    position_ = address;
    SetTopRow(address / RowBytes());
}

std::uint64_t ByteMap::MostRows() const {
    return std::max<std::uint64_t>(kMapPageRows, deviceSize_ / (kMapSmallestCell * kMapColumns));
}

void ByteMap::SetRows(std::uint64_t rows) {
    rows_ = std::clamp<std::uint64_t>(rows, kMapPageRows, MostRows());
    ShowPosition(position_);
}

void ByteMap::ZoomIn() {
    SetRows(rows_ * 2);
}

void ByteMap::ZoomOut() {
    SetRows(rows_ / 2);
}

void ByteMap::FullDevice() {
    SetRows(kMapPageRows);
}

void ByteMap::Detail() {
    SetRows(MostRows());
}

std::uint64_t ByteMap::CellStart(int row, int column) const {
    return ((top_ + static_cast<std::uint64_t>(row)) * kMapColumns +
            static_cast<std::uint64_t>(column)) *
           CellBytes();
}

bool ByteMap::Refresh(const BufferDocument& document) {
    classes_.fill(MapClass::Erased);
    const BufferBlockReader reader(document.Path());
    const std::uint64_t cellBytes = CellBytes();
    const std::uint64_t sample = std::min(cellBytes, kMapSampleBytes);
    // Cells no larger than the sample lie side by side: one read takes a whole row.
    const bool wholeRows = cellBytes <= kMapSampleBytes;
    std::vector<std::uint8_t> bytes(wholeRows ? cellBytes * kMapColumns : sample);
    bool ok = true;
    for (int row = 0; row < kMapPageRows; ++row) {
        if (!CellInsideDevice(row, 0))
            break;
        if (wholeRows)
            ok = reader.Read(CellStart(row, 0), bytes) && ok;
        for (int column = 0; column < kMapColumns; ++column) {
            const std::uint64_t start = CellStart(row, column);
            if (start >= deviceSize_)
                break;
            const auto count = static_cast<std::size_t>(std::min(sample, deviceSize_ - start));
            const std::uint8_t* cell = bytes.data();
            if (wholeRows)
                cell += static_cast<std::size_t>(column) * cellBytes;
            else
                ok = reader.Read(start, {bytes.data(), count}) && ok;
            classes_[static_cast<std::size_t>(row * kMapColumns + column)] = Classify(cell, count);
        }
    }
    if (!ok)
        classes_.fill(MapClass::Erased);
    return ok;
}

std::string ByteMap::RowAddressText(int row) const {
    return HexText(CellStart(row, 0), kAddressDigits);
}

std::string ByteMap::Hint(int row, int column) const {
    const std::uint64_t start = CellStart(row, column);
    const std::uint64_t end = std::min(start + CellBytes() - 1, deviceSize_ - 1);
    return "Block Start Address : " + HexText(start, kAddressDigits) +
           "\nBlock End Address : " + HexText(end, kAddressDigits) + "\nThis Block is " +
           std::string(MapClassName(ClassAt(row, column)));
}

}  // namespace torq::editor
