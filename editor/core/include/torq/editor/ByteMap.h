// The overview map ("UesrMap"): the device drawn as rows of 16 cells, each cell classed as
// erased (all FF), zero (all 00) or data from at most its first 4096 bytes. Only the 16 visible
// rows are classified, so a refresh reads at most 1 MiB whatever the device size.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "torq/editor/Document.h"

namespace torq::editor {

enum class MapClass : std::uint8_t { Erased = 0, Zero = 1, Data = 2 };

inline constexpr int kMapColumns = 16;
inline constexpr int kMapPageRows = 16;
// A cell is classified from at most this many of its first bytes.
inline constexpr std::uint64_t kMapSampleBytes = 4096;
// "Zoom IN" and "Detail" stop at this many bytes a cell.
inline constexpr std::uint64_t kMapSmallestCell = 4;

class ByteMap {
  public:
    // Sixteen rows (the whole device on one page) at the top.
    void Reset(std::uint64_t deviceSize);

    std::uint64_t DeviceSize() const { return deviceSize_; }
    // R: the map's row count (the scroll bar's maximum).
    std::uint64_t Rows() const { return rows_; }
    // The pages of 16 rows ("Pages").
    std::uint64_t Pages() const { return rows_ / kMapPageRows; }
    // Bytes a row and a cell stand for: device size / R and / 16, rounded up so the cells cover
    // every byte of a device whose size does not divide evenly (at least one byte a cell).
    std::uint64_t RowBytes() const;
    std::uint64_t CellBytes() const;

    std::uint64_t TopRow() const { return top_; }
    std::uint64_t ScrollLimit() const { return rows_ - kMapPageRows; }
    void SetTopRow(std::uint64_t row);
    // The page shown ("Page"), counted from 1.
    std::uint64_t PageNumber() const { return top_ / kMapPageRows + 1; }

    // The current position (the hex view's edit address or top row).
    std::uint64_t Position() const { return position_; }
    // Sets the position and scrolls to the row that holds it.
    void ShowPosition(std::uint64_t address);

    void ZoomIn();
    void ZoomOut();
    void FullDevice();
    void Detail();

    // Classifies the visible cells. False when the buffer file cannot be read (all erased).
    bool Refresh(const BufferDocument& document);
    MapClass ClassAt(int row, int column) const {
        return classes_[static_cast<std::size_t>(row * kMapColumns + column)];
    }
    std::uint64_t CellStart(int row, int column) const;
    // Whether the cell starts inside the device (a tiny device leaves cells beyond it).
    bool CellInsideDevice(int row, int column) const {
        return CellStart(row, column) < deviceSize_;
    }
    // The map's address column: the row's first byte address.
    std::string RowAddressText(int row) const;
    std::string Hint(int row, int column) const;

  private:
    std::uint64_t MostRows() const;
    void SetRows(std::uint64_t rows);

    std::uint64_t deviceSize_ = 0;
    std::uint64_t rows_ = kMapPageRows;
    std::uint64_t top_ = 0;
    std::uint64_t position_ = 0;
    std::array<MapClass, kMapColumns * kMapPageRows> classes_{};
};

std::string_view MapClassName(MapClass kind);  // "FFh Block", "00h Block", "Data Block"

}  // namespace torq::editor
