#include "torq/workflow/ProductionLog.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <span>

#include "torq/buffer/BufferFile.h"
#include "torq/devlib/Text.h"

namespace torq {

namespace {

std::string Trimmed(const std::string& text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    auto begin = std::find_if_not(text.begin(), text.end(), blank);
    auto end = std::find_if_not(text.rbegin(), std::make_reverse_iterator(begin), blank).base();
    return std::string(begin, end);
}

bool DateField(const std::string& typed, const char* name, std::string* into, std::string* error) {
    *into = Trimmed(typed);
    if (into->empty() || IsRecordDate(*into))
        return true;
    if (error != nullptr)
        *error = "The " + std::string(name) + " date \"" + *into +
                 "\" is not a day: write it as YYYY-MM-DD, e.g. 2026-12-11.";
    return false;
}

struct Column {
    const char* title;
    std::string (*text)(const ProductionRecord&);
};

std::string Seconds(std::uint32_t ms) {
    return std::to_string(ms / 1000) + '.' + std::to_string(ms % 1000 / 100);
}

const std::array<Column, 14> kColumns{{
    {"Time", [](const ProductionRecord& r) { return r.timeLocal; }},
    {"Verdict", [](const ProductionRecord& r) { return r.verdict; }},
    {"Unit", [](const ProductionRecord& r) { return std::to_string(r.unit); }},
    {"Station", [](const ProductionRecord& r) { return r.station; }},
    {"Device",
     [](const ProductionRecord& r) { return r.vendor.empty() ? r.type : r.vendor + ' ' + r.type; }},
    {"Chip ID", [](const ProductionRecord& r) { return r.chipId; }},
    {"File", [](const ProductionRecord& r) { return r.workFile; }},
    {"File checksum", [](const ProductionRecord& r) { return r.fileChecksum; }},
    {"IC checksum", [](const ProductionRecord& r) { return r.icChecksum; }},
    {"Failing step", [](const ProductionRecord& r) { return r.failingStep; }},
    {"Seconds", [](const ProductionRecord& r) { return Seconds(r.durationMs); }},
    {"Lot", [](const ProductionRecord& r) { return r.lot; }},
    {"Serial", [](const ProductionRecord& r) { return r.serial; }},
    {"Why", [](const ProductionRecord& r) { return r.failingLine; }},
}};

// Collects the CSV into blocks, so a million lines are not a million writes.
class BlockWriter {
  public:
    explicit BlockWriter(ReplacementFile& file) : file_(file) {}
    bool Add(const std::string& text) {
        pending_ += text;
        return pending_.size() < kBlock || Flush();
    }
    bool Flush() {
        const bool ok = file_.Append(
            std::span(reinterpret_cast<const std::uint8_t*>(pending_.data()), pending_.size()));
        pending_.clear();
        if (!ok && code_ == 0)
            code_ = errno;
        return ok;
    }
    // Why the first failed write failed.
    int Code() const { return code_; }

  private:
    static constexpr std::size_t kBlock = 64 * 1024;
    ReplacementFile& file_;
    std::string pending_;
    int code_ = 0;
};

}  // namespace

std::optional<RecordFilter> FilterFromTexts(const RecordFilterTexts& texts, std::string* error) {
    RecordFilter filter;
    if (!DateField(texts.since, "since", &filter.since, error) ||
        !DateField(texts.until, "until", &filter.until, error))
        return std::nullopt;
    // Both are YYYY-MM-DD: the texts compare as the days do.
    if (!filter.since.empty() && !filter.until.empty() && filter.since > filter.until) {
        if (error != nullptr)
            *error = "The since date " + filter.since + " is after the until date " + filter.until +
                     ": no record can be in between.";
        return std::nullopt;
    }
    const std::string verdict = ToUpper(Trimmed(texts.verdict));
    if (verdict == "PASS" || verdict == "FAIL" || verdict == "STOPPED")
        filter.verdict = verdict;
    else if (!verdict.empty() && verdict != "ANY") {
        if (error != nullptr)
            *error =
                "The verdict \"" + Trimmed(texts.verdict) + "\" is none of PASS, FAIL and STOPPED.";
        return std::nullopt;
    }
    filter.device = Trimmed(texts.device);
    filter.fileChecksum = Trimmed(texts.fileChecksum);
    filter.lot = Trimmed(texts.lot);
    return filter;
}

ProductionLogModel::ProductionLogModel(std::function<RecordStore*()> store)
    : store_(std::move(store)) {}

bool ProductionLogModel::Apply(const RecordFilterTexts& texts, std::string* error) {
    std::optional<RecordFilter> filter = FilterFromTexts(texts, error);
    if (!filter) {
        rows_.clear();
        matching_ = 0;
        atEnd_ = true;
        return false;
    }
    filter_ = std::move(*filter);
    return Reload(error);
}

bool ProductionLogModel::Reload(std::string* error) {
    rows_.clear();
    matching_ = 0;
    atEnd_ = true;
    RecordStore* store = store_ ? store_() : nullptr;
    if (store == nullptr) {
        if (error != nullptr)
            *error = "The production record cannot be opened.";
        return false;
    }
    std::string why;
    std::vector<ProductionRecord> page;
    if (!store->Walk(
            filter_, kPageRows, std::nullopt,
            [&](const ProductionRecord& record) {
                page.push_back(record);
                return true;
            },
            &why)) {
        if (error != nullptr)
            *error = "The production record cannot be read: " + why;
        return false;
    }
    rows_ = std::move(page);
    atEnd_ = rows_.size() < kPageRows;
    matching_ = store->Count(filter_);
    return true;
}

std::size_t ProductionLogModel::LoadMore() {
    RecordStore* store = store_ ? store_() : nullptr;
    if (atEnd_ || store == nullptr || rows_.empty()) {
        atEnd_ = true;
        return 0;
    }
    if (!CanLoadMore())
        return 0;
    const std::size_t before = rows_.size();
    std::string why;
    const bool read = store->Walk(
        filter_, kPageRows, rows_.back().id,
        [&](const ProductionRecord& record) {
            rows_.push_back(record);
            return true;
        },
        &why);
    const std::size_t added = rows_.size() - before;
    atEnd_ = !read || added < kPageRows;
    return added;
}

int ProductionLogModel::Columns() {
    return static_cast<int>(kColumns.size());
}

std::string ProductionLogModel::ColumnTitle(int column) {
    if (column < 0 || column >= Columns())
        return {};
    return kColumns[static_cast<std::size_t>(column)].title;
}

std::string ProductionLogModel::CellText(const ProductionRecord& record, int column) {
    if (column < 0 || column >= Columns())
        return {};
    return kColumns[static_cast<std::size_t>(column)].text(record);
}

bool ProductionLogModel::Export(const std::filesystem::path& target, std::string* error,
                                const std::function<bool(std::uint64_t)>& progress) {
    const auto fail = [&](const std::string& why) {
        if (error != nullptr)
            *error = why;
        return false;
    };
    RecordStore* store = store_ ? store_() : nullptr;
    if (store == nullptr)
        return fail("The production record cannot be opened.");
    ReplacementFile file(target);
    if (!file.IsOpen())
        return fail("Cannot write " + target.string() + ": " + std::strerror(errno));
    BlockWriter out(file);
    bool written = out.Add(CsvHeaderLine());
    bool cancelled = false;
    std::uint64_t rows = 0;
    std::string why;
    const bool read = written && store->Walk(
                                     filter_, 0, std::nullopt,
                                     [&](const ProductionRecord& record) {
                                         written = out.Add(CsvLine(record));
                                         ++rows;
                                         if (written && progress && !progress(rows))
                                             cancelled = true;
                                         return written && !cancelled;
                                     },
                                     &why);
    if (cancelled) {
        file.Discard();
        return fail("The export was stopped; " + target.string() + " is as it was.");
    }
    if (written)
        written = out.Flush();
    if (!written || !read) {
        file.Discard();
        return fail(read ? "Cannot write " + target.string() + ": " + std::strerror(out.Code())
                         : "The production record cannot be read: " + why);
    }
    if (!file.Commit(true))
        return fail("Cannot write " + target.string() + ": " + std::strerror(errno));
    return true;
}

}  // namespace torq
