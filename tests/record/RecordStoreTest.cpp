// The production record's database: what is written is read back whole, a damaged or newer file
// is never lost, writes from several units at once all land, and the filters, reports and
// exports say what the records hold.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <thread>

#include "TestSupport.h"
#include "torq/record/RecordFuzz.h"
#include "torq/record/RecordStore.h"

namespace torq {
namespace {

namespace fs = std::filesystem;

ProductionRecord Sample(int n, const std::string& verdict = "PASS") {
    ProductionRecord r;
    r.timeUtc = "2026-12-11T10:00:0" + std::to_string(n % 10) + "Z";
    r.timeLocal = "2026-12-11 11:00:0" + std::to_string(n % 10);
    r.station = "bench-1";
    r.unit = 1 + n % 4;
    r.programmerPath = "1-" + std::to_string(1 + n % 4);
    r.firmware = "1.10";
    r.vendor = "Winbond";
    r.type = "W25Q128FV";
    r.chipId = "EF4018";
    r.workFile = "/data/fw.hex";
    r.fileChecksum = "0x00A1B2C3";
    r.icChecksum = verdict == "PASS" ? r.fileChecksum : "";
    r.steps = {{"Erase", "Pass", 1.5}, {"Program", verdict == "PASS" ? "Pass" : "Fail", 2.25}};
    if (verdict == "FAIL") {
        r.failingStep = "Program";
        r.failingLine = "Program : Fail";
    }
    r.durationMs = 3750;
    r.verdict = verdict;
    r.lot = "LOT-7";
    r.serial = "SN" + std::to_string(n);
    return r;
}

class RecordStoreTest : public ::testing::Test {
  protected:
    RecordStore::Opened Open() {
        return RecordStore::Open(file, [] { return std::string("20261211-101500"); });
    }
    std::unique_ptr<RecordStore> OpenStore() {
        RecordStore::Opened opened = Open();
        EXPECT_TRUE(opened.store) << opened.error;
        return std::move(opened.store);
    }
    static int UserVersion(const fs::path& path) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        int version = -1;
        sqlite3_exec(
            db, "PRAGMA user_version",
            [](void* out, int, char** values, char**) {
                *static_cast<int*>(out) = std::atoi(values[0]);
                return 0;
            },
            &version, nullptr);
        sqlite3_close(db);
        return version;
    }

    test::TempDir home;
    fs::path file = home / "production.db";
};

TEST_F(RecordStoreTest, ARecordIsReadBackWholeFromANewDatabase) {
    auto store = OpenStore();
    ASSERT_TRUE(store);
    EXPECT_EQ(UserVersion(file), kRecordSchemaVersion);
    ProductionRecord written = Sample(1, "FAIL");
    written.workFile = "/data/odd, \"name\"\nwith a line.hex";
    std::string error;
    ASSERT_TRUE(store->Insert(written, &error)) << error;
    EXPECT_GT(written.id, 0);
    const auto page = store->Page({}, 10);
    ASSERT_EQ(page.size(), 1u);
    EXPECT_EQ(page.front(), written);

    // A second opening (the command-line tool beside the window) sees it, and a reopened store
    // keeps counting ids upwards.
    auto again = OpenStore();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Count({}), 1u);
    ProductionRecord next = Sample(2);
    ASSERT_TRUE(again->Insert(next, &error)) << error;
    EXPECT_GT(next.id, written.id);
}

TEST_F(RecordStoreTest, ANewerDatabaseIsRefusedAndLeftAsItIs) {
    {
        auto store = OpenStore();
        ProductionRecord r = Sample(1);
        ASSERT_TRUE(store->Insert(r, nullptr));
    }
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const RecordStore::Opened opened = Open();
    EXPECT_FALSE(opened.store);
    EXPECT_NE(opened.error.find("newer TORQ-SPI (record version 99"), std::string::npos)
        << opened.error;
    EXPECT_FALSE(opened.movedAside);
    EXPECT_EQ(UserVersion(file), 99);
}

TEST_F(RecordStoreTest, ADamagedFileIsMovedAsideWithATimeStampAndANewOneStarted) {
    const std::string junk = "this is not a database, but someone's notes\n";
    home.Write("production.db", junk);
    const RecordStore::Opened opened = Open();
    ASSERT_TRUE(opened.store) << opened.error;
    ASSERT_TRUE(opened.movedAside);
    EXPECT_EQ(opened.movedAside->filename(), "production.db.damaged-20261211-101500");
    EXPECT_EQ(test::ReadFile(*opened.movedAside), junk);
    ProductionRecord r = Sample(1);
    EXPECT_TRUE(opened.store->Insert(r, nullptr));

    // Damaged while open (pages overwritten under it): the next write moves it aside too, and
    // the record goes to a new file.
    {
        std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(0);
        const std::string garbage(4096, '\x5A');
        out.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    fs::remove(fs::path(file.string() + "-wal"));
    fs::remove(fs::path(file.string() + "-shm"));
    auto reopened = Open();
    ASSERT_TRUE(reopened.store) << reopened.error;
    ASSERT_TRUE(reopened.movedAside);
    EXPECT_EQ(reopened.movedAside->filename(), "production.db.damaged-20261211-101500-2");
}

TEST_F(RecordStoreTest, AFullDiskFailsTheWriteWithItsReasonAndKeepsWhatWasWritten) {
    auto store = OpenStore();
    for (int i = 0; i < 3; ++i) {
        ProductionRecord r = Sample(i);
        ASSERT_TRUE(store->Insert(r, nullptr));
    }
    std::string error;
    {
        const test::FileSizeLimit limit(fs::file_size(file) + 1024);
        ProductionRecord big = Sample(9);
        big.failingLine = std::string(256 * 1024, 'x');
        EXPECT_FALSE(store->Insert(big, &error));
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(store->Count({}), 3u);
    ProductionRecord after = Sample(4);
    EXPECT_TRUE(store->Insert(after, &error)) << error;
}

TEST_F(RecordStoreTest, AReadOnlyDatabaseCannotBeWrittenAndSaysSo) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "file modes do not bind root";
    {
        auto store = OpenStore();
        ProductionRecord r = Sample(1);
        ASSERT_TRUE(store->Insert(r, nullptr));
    }
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    auto store = OpenStore();
    ASSERT_TRUE(store);
    std::string error;
    EXPECT_FALSE(store->CheckWritable(&error));
    EXPECT_FALSE(error.empty());
    ProductionRecord r = Sample(2);
    EXPECT_FALSE(store->Insert(r, &error));
    EXPECT_EQ(store->Count({}), 1u);
}

TEST_F(RecordStoreTest, UnitsWritingAtOnceAllLand) {
    auto store = OpenStore();
    auto other = OpenStore();  // a second process's connection, as the CLI beside the window
    constexpr int kPerUnit = 50;
    std::vector<std::thread> units;
    for (int unit = 1; unit <= 4; ++unit) {
        units.emplace_back([&, unit] {
            RecordStore& mine = unit % 2 == 0 ? *store : *other;
            for (int i = 0; i < kPerUnit; ++i) {
                ProductionRecord r = Sample(i);
                r.unit = unit;
                std::string error;
                EXPECT_TRUE(mine.Insert(r, &error)) << error;
            }
        });
    }
    for (auto& thread : units)
        thread.join();
    EXPECT_EQ(store->Count({}), 4u * kPerUnit);
    std::set<std::int64_t> ids;
    for (const auto& r : store->Page({}, 0))
        ids.insert(r.id);
    EXPECT_EQ(ids.size(), 4u * kPerUnit);
    for (const YieldRow& row : store->Yield(ReportGroup::Unit, {}))
        EXPECT_EQ(row.passed, static_cast<std::uint64_t>(kPerUnit)) << row.key;
}

TEST_F(RecordStoreTest, FiltersPagesAndReports) {
    auto store = OpenStore();
    struct Row {
        std::string day, verdict, type, checksum, lot;
    };
    const std::vector<Row> rows{
        {"2026-12-01", "PASS", "W25Q128FV", "0x1", "A"},
        {"2026-12-01", "FAIL", "W25Q128FV", "0x1", "A"},
        {"2026-12-02", "PASS", "W25X10", "0x2", "B"},
        {"2026-12-03", "STOPPED", "W25X10", "0x2", "B"},
        {"2026-12-03", "FAIL", "W25X10", "0x3", "B"},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ProductionRecord r = Sample(static_cast<int>(i), rows[i].verdict);
        r.timeLocal = rows[i].day + " 08:00:00";
        r.type = rows[i].type;
        r.fileChecksum = rows[i].checksum;
        r.lot = rows[i].lot;
        ASSERT_TRUE(store->Insert(r, nullptr));
    }
    const auto ids = [&](const RecordFilter& filter) {
        std::vector<std::int64_t> found;
        for (const auto& r : store->Page(filter, 0))
            found.push_back(r.id);
        return found;
    };
    struct Case {
        const char* what;
        RecordFilter filter;
        std::vector<std::int64_t> expected;  // newest first
    };
    const std::vector<Case> cases{
        {"all", {}, {5, 4, 3, 2, 1}},
        {"since", {.since = "2026-12-02"}, {5, 4, 3}},
        {"until", {.until = "2026-12-01"}, {2, 1}},
        {"one day", {.since = "2026-12-03", .until = "2026-12-03"}, {5, 4}},
        {"verdict", {.verdict = "FAIL"}, {5, 2}},
        {"type", {.device = "W25X10"}, {5, 4, 3}},
        {"vendor and type", {.device = "Winbond W25Q128FV"}, {2, 1}},
        {"checksum", {.fileChecksum = "0x2"}, {4, 3}},
        {"lot and verdict", {.verdict = "PASS", .lot = "B"}, {3}},
        {"nothing", {.lot = "C"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ids(c.filter), c.expected);
        EXPECT_EQ(store->Count(c.filter), c.expected.size());
    }
    // Paging newest first, each page after the last id of the one before.
    const auto first = store->Page({}, 2);
    ASSERT_EQ(first.size(), 2u);
    const auto second = store->Page({}, 2, first.back().id);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second.front().id, 3);
    // The same with dates, which page by day: every record once, in the same order.
    std::vector<std::int64_t> paged;
    std::optional<std::int64_t> after;
    for (int pages = 0; pages < 5; ++pages) {
        const auto page = store->Page({.since = "2026-12-01"}, 2, after);
        for (const auto& r : page)
            paged.push_back(r.id);
        if (page.empty())
            break;
        after = page.back().id;
    }
    EXPECT_EQ(paged, (std::vector<std::int64_t>{5, 4, 3, 2, 1}));

    const auto byDay = store->Yield(ReportGroup::Day, {});
    ASSERT_EQ(byDay.size(), 3u);
    EXPECT_EQ(byDay[0].key, "2026-12-01");
    EXPECT_EQ(byDay[0].passed, 1u);
    EXPECT_EQ(byDay[0].failed, 1u);
    EXPECT_DOUBLE_EQ(byDay[0].YieldPercent(), 50.0);
    EXPECT_EQ(byDay[2].stopped, 1u);
    const auto steps = store->TopFailingSteps({}, 5);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].step, "Program");
    EXPECT_EQ(steps[0].count, 2u);

    // Pruning by age deletes the records older than the days kept (today and the one before)
    // and keeps the counts the reports read.
    std::string error;
    const auto pruned = store->Prune({.maxAgeDays = 1}, "2026-12-03", &error);
    ASSERT_TRUE(pruned) << error;
    EXPECT_EQ(*pruned, 2u);
    EXPECT_EQ(ids({}), (std::vector<std::int64_t>{5, 4, 3}));
    EXPECT_EQ(store->Yield(ReportGroup::Day, {}).size(), 3u);
}

TEST_F(RecordStoreTest, PruningBySizeKeepsTheDatabaseUnderItsCap) {
    auto store = OpenStore();
    for (int i = 0; i < 3000; ++i) {
        ProductionRecord r = Sample(i);
        r.failingLine = std::string(200, 'y');
        ASSERT_TRUE(store->Insert(r, nullptr));
    }
    std::string error;
    const auto pruned = store->Prune({.maxBytes = 256 * 1024}, "2026-12-11", &error);
    ASSERT_TRUE(pruned) << error;
    EXPECT_GT(*pruned, 0u);
    EXPECT_GT(store->Count({}), 100u);  // not everything
    const auto newest = store->Page({}, 1);
    ASSERT_EQ(newest.size(), 1u);
    EXPECT_EQ(newest.front().serial, "SN2999");  // the oldest go first
    EXPECT_EQ(store->Yield(ReportGroup::Station, {}).front().passed, 3000u);
}

TEST(RecordFormat, CsvQuotesWhatNeedsItAndJsonStaysValid) {
    ProductionRecord r = Sample(3);
    r.id = 12;
    r.workFile = "a,b \"c\"\nd.hex";
    r.steps = {{"Erase", "Pass", 1.5}};
    const std::string csv = CsvLine(r);
    EXPECT_NE(csv.find(",\"a,b \"\"c\"\"\nd.hex\","), std::string::npos) << csv;
    EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
    EXPECT_EQ(csv.rfind("12,2026-12-11T10:00:03Z,", 0), 0u) << csv;

    r.workFile = std::string("bad\xff\xfe byte\x01.hex");
    const std::string json = JsonLine(r);
    EXPECT_NE(json.find("\"work_file\":\"bad\xEF\xBF\xBD\xEF\xBF\xBD byte\\u0001.hex\""),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"steps\":[{\"step\":\"Erase\",\"result\":\"Pass\",\"seconds\":1.500}]"),
              std::string::npos)
        << json;
    EXPECT_EQ(json.back(), '\n');
    EXPECT_EQ(ParseStepsText(StepsText(Sample(1).steps)), Sample(1).steps);
    EXPECT_TRUE(ParseStepsText("Erase=Pass").empty());
}

TEST(RecordFormat, DatesOfTheFilters) {
    for (const char* good : {"2026-12-11", "2024-02-29", "2000-02-29"})
        EXPECT_TRUE(IsRecordDate(good)) << good;
    for (const char* bad :
         {"2026-13-01", "2026-02-29", "1900-02-29", "2026-1-01", "yesterday", "2026-12-11T00"}) {
        EXPECT_FALSE(IsRecordDate(bad)) << bad;
    }
}

TEST(RecordFuzzReplay, CorpusAndDamagedFilesOpenWithoutACrash) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(TORQ_RECORD_CORPUS_DIR)) {
        const std::string bytes = test::ReadFile(entry.path());
        FuzzRecordFile(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        // Cut short and with a page overwritten, as a copy that failed half-way leaves it.
        for (const std::size_t cut : {std::size_t{100}, bytes.size() / 2}) {
            FuzzRecordFile(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                           std::min(cut, bytes.size()));
        }
        std::string damaged = bytes;
        for (std::size_t i = 1024; i < damaged.size() && i < 2048; ++i)
            damaged[i] = static_cast<char>(i * 7);
        FuzzRecordFile(reinterpret_cast<const std::uint8_t*>(damaged.data()), damaged.size());
        ++files;
    }
    EXPECT_GE(files, 1) << "the corpus is missing";
}

}  // namespace
}  // namespace torq
