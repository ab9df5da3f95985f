// What the production log window shows: the records a filter takes, newest first, read a page at
// a time (keyset paging on the record id, so the first page is as quick at a million records as
// at ten), their columns as text, and the CSV export of everything the filter takes, streamed
// into a new file that replaces the old one only once it is whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "torq/record/RecordStore.h"

namespace torq {

// The filter row as the operator typed it. Empty fields take every record; the verdict may also
// be "any".
struct RecordFilterTexts {
    std::string since{}, until{};  // local days, "YYYY-MM-DD"
    std::string verdict{};
    std::string device{}, fileChecksum{}, lot{};
};

// The filter the texts describe (surrounding blanks dropped), or none with a sentence that says
// which field is wrong.
std::optional<RecordFilter> FilterFromTexts(const RecordFilterTexts& texts, std::string* error);

class ProductionLogModel {
  public:
    static constexpr std::size_t kPageRows = 200;
    // The rows the window holds at most: a longer list is narrowed by the filter or exported.
    static constexpr std::size_t kRowsShown = 100000;
    // `store` gives the database when it is needed (none when it cannot be opened).
    explicit ProductionLogModel(std::function<RecordStore*()> store);

    // Takes the filter and reads its first page and its count; false with the reason (a bad
    // date, no database), the rows then empty.
    bool Apply(const RecordFilterTexts& texts, std::string* error);
    // Reads the current filter again from the start.
    bool Reload(std::string* error);
    const RecordFilter& Filter() const { return filter_; }

    std::size_t Rows() const { return rows_.size(); }
    const ProductionRecord& Row(std::size_t row) const { return rows_[row]; }
    std::uint64_t MatchCount() const { return matching_; }
    // More records older than the last row may be read.
    bool CanLoadMore() const { return !atEnd_ && rows_.size() < kRowsShown; }
    // The filter takes more records than the window holds.
    bool Truncated() const { return rows_.size() >= kRowsShown && matching_ > rows_.size(); }
    // Reads the next page; the number of rows added.
    std::size_t LoadMore();

    static int Columns();
    static std::string ColumnTitle(int column);
    static std::string CellText(const ProductionRecord& record, int column);

    // Writes the CSV of every record the filter takes to `target`: a new file beside it renamed
    // over it when whole, so a failed or cancelled export leaves the old file as it was.
    // `progress` hears the rows written so far and ends the export by returning false.
    bool Export(const std::filesystem::path& target, std::string* error,
                const std::function<bool(std::uint64_t)>& progress = {});

  private:
    std::function<RecordStore*()> store_;
    RecordFilter filter_;
    std::vector<ProductionRecord> rows_;
    std::uint64_t matching_ = 0;
    bool atEnd_ = true;
};

}  // namespace torq
