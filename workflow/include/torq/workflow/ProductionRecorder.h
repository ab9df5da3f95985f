// The program's production record: the database in the writable home folder, opened when the
// first run needs it, with the station, lot and serial of the options; and the counters the
// window shows (passed and failed per unit since the window started, and for the current lot).
#pragma once

#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Options.h"
#include "torq/devlib/Seams.h"
#include "torq/record/RecordStore.h"
#include "torq/workflow/Recording.h"
#include "torq/workflow/RunPlan.h"

namespace torq {

inline constexpr std::string_view kProductionDatabaseName = "production.db";
// The window warns once the database has grown past this with no size cap set.
inline constexpr std::uint64_t kRecordSizeWarning = 1ULL << 30;

struct UnitTally {
    std::uint64_t passed = 0, failed = 0;
    double YieldPercent() const {
        const std::uint64_t decided = passed + failed;
        return decided == 0 ? 0.0 : 100.0 * static_cast<double>(passed) / decided;
    }
    bool operator==(const UnitTally&) const = default;
};

class ProductionRecorder final : public RunRecorder {
  public:
    // `basis` gives the selected device and unit 1's work file and checksum at a run's start,
    // `options` the production settings (station, lot, serial, the caps, stop when not
    // written), read at each run's start.
    ProductionRecorder(std::filesystem::path database, const Clock& clock, InformationLog& log,
                       std::function<RecordBasis()> basis, std::function<Options()> options);
    // The station a record names: the option, else the host name.
    std::string Station() const;

    bool Prepare(RecordBasis& basis, std::string* reason) override;
    bool Write(ProductionRecord& record, std::string* reason) override;
    bool StopWhenNotWritten() const override { return stopWhenNotWritten_; }

    // The database, opened when needed (none, with the reason logged, when it cannot be).
    RecordStore* Store();
    const std::filesystem::path& Database() const { return database_; }

    // Counters: the sockets that passed and failed per unit since the window started (or the
    // last reset), from the runs' results; and the current lot's from the database.
    void Count(const RunResult& result);
    const std::array<UnitTally, 4>& SessionCounts() const { return session_; }
    void ResetSessionCounts() { session_ = {}; }
    std::array<UnitTally, 4> LotCounts();
    // Grown past kRecordSizeWarning with no size cap set: the text of the warning, once.
    std::optional<std::string> SizeWarning();

  private:
    void TakeOptions();
    std::filesystem::path database_;
    const Clock& clock_;
    InformationLog& log_;
    std::function<RecordBasis()> basis_;
    std::function<Options()> options_;
    std::unique_ptr<RecordStore> store_;
    std::string station_, lot_, serial_;
    RetentionPolicy retention_;
    std::atomic<bool> stopWhenNotWritten_ = true;
    std::array<UnitTally, 4> session_{};
    bool sizeWarned_ = false;
};

// The host's name, "station" when it cannot be read.
std::string HostName();
// "20261211-160554" from the clock, for a damaged database moved aside.
std::string FileTimeStamp(const LocalDateTime& time);

}  // namespace torq
