#include "torq/workflow/ProductionRecorder.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace torq {

namespace {

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string LocalTimeText(const LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

std::string UtcNowText() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string MovedAsideLine(const std::filesystem::path& database,
                           const std::filesystem::path& aside) {
    return "Warning : The production record " + database.string() +
           " was damaged; it was kept as " + aside.string() + " and a new one started !";
}

}  // namespace

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "station";
    return ProductionText(name);
}

std::string FileTimeStamp(const LocalDateTime& t) {
    return std::to_string(t.year) + TwoDigits(t.month) + TwoDigits(t.day) + "-" +
           TwoDigits(t.hour) + TwoDigits(t.minute) + TwoDigits(t.second);
}

ProductionRecorder::ProductionRecorder(std::filesystem::path database, const Clock& clock,
                                       InformationLog& log, std::function<RecordBasis()> basis,
                                       std::function<Options()> options)
    : database_(std::move(database)),
      clock_(clock),
      log_(log),
      basis_(std::move(basis)),
      options_(std::move(options)) {
    TakeOptions();
}

void ProductionRecorder::TakeOptions() {
    if (!options_)
        return;
    const Options options = options_();
    station_ = options.station;
    lot_ = options.lot;
    serial_ = options.serial;
    stopWhenNotWritten_ = options.recordStopsRun;
    retention_ = {};
    if (options.recordMaxDays > 0)
        retention_.maxAgeDays = options.recordMaxDays;
    if (options.recordMaxMiB > 0)
        retention_.maxBytes = static_cast<std::uint64_t>(options.recordMaxMiB) << 20;
}

std::string ProductionRecorder::Station() const {
    return station_.empty() ? HostName() : station_;
}

RecordStore* ProductionRecorder::Store() {
    if (store_)
        return store_.get();
    RecordStore::Opened opened =
        RecordStore::Open(database_, [this] { return FileTimeStamp(clock_.Now()); });
    if (opened.movedAside)
        log_.WriteInfoLine(MovedAsideLine(database_, *opened.movedAside));
    store_ = std::move(opened.store);
    if (!store_) {
        log_.WriteInfoLine("Error : The production record " + database_.string() +
                           " cannot be opened (" + opened.error + ") !");
    }
    return store_.get();
}

bool ProductionRecorder::Prepare(RecordBasis& basis, std::string* reason) {
    TakeOptions();
    basis = basis_ ? basis_() : RecordBasis{};
    basis.station = Station();
    basis.lot = lot_;
    RecordStore* store = Store();
    if (store == nullptr) {
        if (reason != nullptr)
            *reason = database_.string() + " cannot be opened";
        return false;
    }
    if (retention_.maxAgeDays || retention_.maxBytes) {
        std::string error;
        const LocalDateTime now = clock_.Now();
        const std::string today = LocalTimeText(now).substr(0, 10);
        if (!store->Prune(retention_, today, &error))
            log_.WriteInfoLine("Warning : The production record cannot be pruned (" + error +
                               ") !");
    }
    std::string why;
    if (!store->CheckWritable(&why)) {
        if (reason != nullptr)
            *reason = database_.string() + ": " + why;
        return false;
    }
    return true;
}

bool ProductionRecorder::Write(ProductionRecord& record, std::string* reason) {
    if (!store_) {
        if (reason != nullptr)
            *reason = database_.string() + " is not open";
        return false;
    }
    record.timeUtc = UtcNowText();
    record.timeLocal = LocalTimeText(clock_.Now());
    record.serial = serial_;
    std::string error;
    if (store_->Insert(record, &error))
        return true;
    if (reason != nullptr)
        *reason = database_.string() + ": " + error;
    return false;
}

void ProductionRecorder::Count(const RunResult& result) {
    if (store_) {
        if (const auto aside = store_->TakeMovedAside())
            log_.WriteInfoLine(MovedAsideLine(database_, *aside));
    }
    const auto count = [&](int unit, const RunResult& socket) {
        if (unit < 1 || unit > static_cast<int>(session_.size()) || socket.processed == 0)
            return;
        UnitTally& tally = session_[static_cast<std::size_t>(unit - 1)];
        const Verdict verdict = socket.Outcome();
        if (verdict == Verdict::Pass)
            ++tally.passed;
        else if (verdict == Verdict::Fail)
            ++tally.failed;
    };
    if (result.units.empty()) {
        count(1, result);
    } else {
        for (const RunResult::UnitOutcome& unit : result.units)
            count(unit.unit, unit.result);
    }
}

std::array<UnitTally, 4> ProductionRecorder::LotCounts() {
    TakeOptions();
    std::array<UnitTally, 4> lot{};
    // A record kept from earlier sessions is read from the start; none is made just to count.
    std::error_code error;
    if (!store_ && std::filesystem::exists(database_, error))
        Store();
    RecordStore* store = store_.get();
    if (store == nullptr)
        return lot;
    RecordFilter filter;
    filter.lot = lot_;
    for (const YieldRow& row : store->Yield(ReportGroup::Unit, filter)) {
        const int unit = std::atoi(row.key.c_str());
        if (unit >= 1 && unit <= static_cast<int>(lot.size()))
            lot[static_cast<std::size_t>(unit - 1)] = {row.passed, row.failed};
    }
    return lot;
}

std::optional<std::string> ProductionRecorder::SizeWarning() {
    if (sizeWarned_ || retention_.maxBytes || !store_ || store_->SizeBytes() < kRecordSizeWarning)
        return std::nullopt;
    sizeWarned_ = true;
    return "The production record " + database_.string() +
           " has grown past 1 GiB. Set a cap on its age or size on the Options tab, or export "
           "and move it.";
}

}  // namespace torq
