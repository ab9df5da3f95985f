// The production record's database: SQLite in WAL mode in the writable home folder. One writer at
// a time (the units' workers may write at once); a record is committed (synchronous, so a power
// cut keeps it) before Insert returns. A schema newer than this program's is refused, an older
// one is migrated; a file that is not a database or is damaged is moved aside with a time stamp
// and a new one started, never deleted.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "torq/record/ProductionRecord.h"

struct sqlite3;

namespace torq {

inline constexpr int kRecordSchemaVersion = 1;

// How the records are summed up in a report.
enum class ReportGroup { Day, Device, FileChecksum, Unit, Station };

struct YieldRow {
    std::string key;
    std::uint64_t passed = 0, failed = 0, stopped = 0;
    std::uint64_t Total() const { return passed + failed + stopped; }
    // Passed of those that ended PASS or FAIL, in percent; 0 with none.
    double YieldPercent() const;
};

struct FailingStepRow {
    std::string step;
    std::uint64_t count = 0;
};

// Age and size caps; none by default. Pruning deletes the oldest records and keeps the counts.
struct RetentionPolicy {
    std::optional<int> maxAgeDays{};
    std::optional<std::uint64_t> maxBytes{};
};

class RecordStore {
  public:
    struct Opened {
        std::unique_ptr<RecordStore> store;
        std::string error;  // why there is none
        // A damaged file found at the path was moved here and a new one started.
        std::optional<std::filesystem::path> movedAside;
    };
    // Opens (creating when missing) the database at `file`. `stamp` gives the time stamp that
    // names a damaged file moved aside ("20261211-160554").
    using Stamp = std::function<std::string()>;
    static Opened Open(const std::filesystem::path& file, Stamp stamp);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    const std::filesystem::path& File() const { return file_; }

    // Writes and commits one record (its id set, and "{n}" in its serial replaced by the lot's
    // records so far plus one); false with the reason. Any thread. A database
    // found damaged here is moved aside and the record written to a new one (TakeMovedAside).
    bool Insert(ProductionRecord& record, std::string* error);
    std::optional<std::filesystem::path> TakeMovedAside();
    // Whether a record could be written now (the file writable, the database whole), without
    // writing one; false with the reason.
    bool CheckWritable(std::string* error);

    // The records the filter takes, newest first (with dates: by local day, then as written),
    // `limit` at most (0: all), after the record `beforeId` when given (the last of the page
    // before); `each` returning false ends the walk. False with the reason when
    // the database cannot be read.
    bool Walk(const RecordFilter& filter, std::size_t limit, std::optional<std::int64_t> beforeId,
              const std::function<bool(const ProductionRecord&)>& each, std::string* error);
    std::vector<ProductionRecord> Page(const RecordFilter& filter, std::size_t limit,
                                       std::optional<std::int64_t> beforeId = std::nullopt);
    std::uint64_t Count(const RecordFilter& filter);

    // Yield per group, from the counts (which pruning keeps); the filter's verdict is not used.
    std::vector<YieldRow> Yield(ReportGroup group, const RecordFilter& filter);
    std::vector<FailingStepRow> TopFailingSteps(const RecordFilter& filter, std::size_t limit);

    // Deletes what the policy no longer keeps; the number of records deleted, or none with the
    // reason.
    std::optional<std::uint64_t> Prune(const RetentionPolicy& policy, const std::string& today,
                                       std::string* error);
    std::uint64_t SizeBytes() const;

  private:
    RecordStore(std::filesystem::path file, sqlite3* db, Stamp stamp);
    bool InsertLocked(ProductionRecord& record, std::string* error, int* code);
    std::filesystem::path file_;
    sqlite3* db_;
    Stamp stamp_;
    std::optional<std::filesystem::path> movedAside_;
    std::mutex mutex_;  // one statement sequence at a time on the one connection
};

}  // namespace torq
