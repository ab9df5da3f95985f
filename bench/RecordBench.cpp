// The production record's costs:
//   torq-record-bench FOLDER [RECORDS]
// the time one record takes to be written including its commit (the run waits for it before the
// verdict), over 2000 records; then a database of RECORDS records (default one million, written
// in one transaction through the same schema) and on it: the report (yield by day, device, file
// checksum, unit and station, the top failing steps), the production log's first page newest
// first with and without filters, a count, and the bytes per record.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "torq/record/RecordStore.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using torq::ProductionRecord;
using torq::RecordFilter;
using torq::RecordStore;
using torq::ReportGroup;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

ProductionRecord Sample(std::uint64_t n, std::mt19937& random) {
    ProductionRecord r;
    const int day = 1 + static_cast<int>(n % 28);
    char date[32];
    std::snprintf(date, sizeof date, "2026-11-%02d", day);
    r.timeUtc = std::string(date) + "T10:00:00Z";
    r.timeLocal = std::string(date) + " 11:00:00";
    r.station = "line-" + std::to_string(1 + n % 3);
    r.unit = 1 + static_cast<int>(n % 4);
    r.programmerPath = "1-" + std::to_string(r.unit);
    r.firmware = "1.10";
    r.vendor = "Winbond";
    r.type = n % 5 == 0 ? "W25Q64FV" : "W25Q128FV";
    r.chipId = "EF4018";
    r.workFile = "/srv/firmware/build-" + std::to_string(n % 20) + "/image.hex";
    r.fileChecksum = "0x00" + std::to_string(100000 + n % 20);
    const bool pass = random() % 50 != 0;
    r.steps = {{"Erase", "Pass", 42.1},
               {"Blank Check", "Pass", 3.2},
               {"Program", pass ? "Pass" : "Fail", 57.4},
               {"Verify", "Pass", 3.3}};
    if (!pass) {
        r.steps.pop_back();
        r.failingStep = "Program";
        r.failingLine = "Program : Fail";
    } else {
        r.icChecksum = r.fileChecksum;
    }
    r.durationMs = 106000;
    r.verdict = pass ? "PASS" : "FAIL";
    r.lot = "LOT-" + std::to_string(n / 10000);
    r.serial = "SN" + std::to_string(n);
    return r;
}

// Many records in one transaction, through the store's schema (the bench's set-up only: a run
// writes one record per transaction).
bool Fill(const fs::path& file, std::uint64_t count) {
    sqlite3* db = nullptr;
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK)
        return false;
    sqlite3_exec(db, "PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_stmt* tally = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO record (time_utc, time_local, day, station, unit, "
                       "programmer_path, firmware, vendor, type, chip_id, work_file, "
                       "file_checksum, ic_checksum, steps, failing_step, failing_line, "
                       "duration_ms, verdict, lot, serial) VALUES "
                       "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                       -1, &insert, nullptr);
    sqlite3_prepare_v2(db,
                       "INSERT INTO tally VALUES (?,?,?,?,?,?,?,?,?,1) ON CONFLICT DO UPDATE "
                       "SET count = count + 1",
                       -1, &tally, nullptr);
    std::mt19937 random(3);
    for (std::uint64_t n = 0; n < count; ++n) {
        const ProductionRecord r = Sample(n, random);
        const std::string day = r.timeLocal.substr(0, 10);
        const std::string steps = torq::StepsText(r.steps);
        const auto text = [](sqlite3_stmt* s, int i, const std::string& v) {
            sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        };
        int i = 1;
        for (const std::string* v : {&r.timeUtc, &r.timeLocal, &day, &r.station})
            text(insert, i++, *v);
        sqlite3_bind_int(insert, i++, r.unit);
        for (const std::string* v :
             {&r.programmerPath, &r.firmware, &r.vendor, &r.type, &r.chipId, &r.workFile,
              &r.fileChecksum, &r.icChecksum, &steps, &r.failingStep, &r.failingLine})
            text(insert, i++, *v);
        sqlite3_bind_int64(insert, i++, r.durationMs);
        for (const std::string* v : {&r.verdict, &r.lot, &r.serial})
            text(insert, i++, *v);
        sqlite3_step(insert);
        sqlite3_reset(insert);
        i = 1;
        text(tally, i++, day);
        text(tally, i++, r.station);
        sqlite3_bind_int(tally, i++, r.unit);
        for (const std::string* v :
             {&r.vendor, &r.type, &r.fileChecksum, &r.lot, &r.verdict, &r.failingStep})
            text(tally, i++, *v);
        sqlite3_step(tally);
        sqlite3_reset(tally);
    }
    sqlite3_finalize(insert);
    sqlite3_finalize(tally);
    const bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: torq-record-bench FOLDER [RECORDS]\n");
        return 2;
    }
    const fs::path folder = argv[1];
    const std::uint64_t records = argc > 2 ? std::stoull(argv[2]) : 1000000;
    const auto stamp = [] { return std::string("bench"); };

    // One record per commit, as the runs write them.
    {
        const fs::path file = folder / "insert.db";
        fs::remove(file);
        auto opened = RecordStore::Open(file, stamp);
        if (!opened.store) {
            std::fprintf(stderr, "cannot open %s: %s\n", file.c_str(), opened.error.c_str());
            return 1;
        }
        std::mt19937 random(1);
        std::vector<double> costs;
        for (int n = 0; n < 2000; ++n) {
            ProductionRecord r = Sample(static_cast<std::uint64_t>(n), random);
            const auto start = Clock::now();
            std::string error;
            if (!opened.store->Insert(r, &error)) {
                std::fprintf(stderr, "insert failed: %s\n", error.c_str());
                return 1;
            }
            costs.push_back(MsSince(start));
        }
        std::sort(costs.begin(), costs.end());
        std::printf(
            "insert with its commit (2000 records): median %.3f ms, 99%% %.3f ms, "
            "longest %.3f ms (goal: under 1 ms)\n",
            costs[costs.size() / 2], costs[costs.size() * 99 / 100], costs.back());
    }

    const fs::path file = folder / "million.db";
    fs::remove(file);
    fs::remove(fs::path(file.string() + "-wal"));
    {
        auto opened = RecordStore::Open(file, stamp);  // the schema
        if (!opened.store)
            return 1;
    }
    auto start = Clock::now();
    if (!Fill(file, records))
        return 1;
    std::printf("%llu records written in one transaction in %.1f s\n",
                static_cast<unsigned long long>(records), MsSince(start) / 1000.0);
    auto opened = RecordStore::Open(file, stamp);
    if (!opened.store)
        return 1;
    RecordStore& store = *opened.store;

    start = Clock::now();
    std::size_t rows = 0;
    for (const ReportGroup group :
         {ReportGroup::Day, ReportGroup::Device, ReportGroup::FileChecksum, ReportGroup::Unit,
          ReportGroup::Station}) {
        rows += store.Yield(group, {}).size();
    }
    rows += store.TopFailingSteps({}, 5).size();
    std::printf(
        "report (yield by day, device, checksum, unit, station; top failing steps): "
        "%.1f ms, %zu rows (goal: under 1 s)\n",
        MsSince(start), rows);

    const auto page = [&](const char* what, const RecordFilter& filter) {
        const auto begin = Clock::now();
        const auto first = store.Page(filter, 200);
        const double firstMs = MsSince(begin);
        const auto next = Clock::now();
        const auto second = first.empty() ? first : store.Page(filter, 200, first.back().id);
        std::printf(
            "production log, %s: first page %.2f ms (%zu rows), next page %.2f ms "
            "(goal: under 100 ms)\n",
            what, firstMs, first.size(), MsSince(next));
        (void)second;
    };
    page("all", {});
    page("failed only", {.verdict = "FAIL"});
    page("one lot", {.lot = "LOT-42"});
    page("one day", {.since = "2026-11-07", .until = "2026-11-07"});
    page("one checksum, failed", {.verdict = "FAIL", .fileChecksum = "0x00100007"});

    start = Clock::now();
    const std::uint64_t counted = store.Count({.verdict = "FAIL"});
    std::printf("count of the failed records: %llu in %.1f ms\n",
                static_cast<unsigned long long>(counted), MsSince(start));
    std::printf("database size: %.1f MiB, %.0f bytes per record\n",
                static_cast<double>(store.SizeBytes()) / (1 << 20),
                static_cast<double>(store.SizeBytes()) / static_cast<double>(records));
    return 0;
}
