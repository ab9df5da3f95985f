// The production log's rows, filters and CSV export: pages follow each other newest first with
// nothing lost or repeated, a bad filter is refused with a sentence that names it, and an export
// either replaces the file whole or leaves the old one as it was.
#include <gtest/gtest.h>

#include <set>

#include "TestSupport.h"
#include "torq/workflow/ProductionLog.h"

namespace torq {
namespace {

namespace fs = std::filesystem;

class ProductionLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        opened = RecordStore::Open(home / "production.db", [] { return std::string("stamp"); });
        ASSERT_TRUE(opened.store) << opened.error;
    }
    // Record n: day 2026-12-(1 + n % 3), PASS for even n, FAIL for odd.
    void Add(int n, const std::string& workFile = "/data/fw.bin") {
        ProductionRecord r;
        const std::string day = "2026-12-0" + std::to_string(1 + n % 3);
        r.timeLocal = day + " 10:00:00";
        r.timeUtc = day + "T09:00:00Z";
        r.station = "bench";
        r.vendor = "Winbond";
        r.type = n % 5 == 0 ? "W25Q64FV" : "W25Q128FV";
        r.workFile = workFile;
        r.fileChecksum = "0x0000ABCD";
        r.verdict = n % 2 == 0 ? "PASS" : "FAIL";
        r.lot = "L1";
        std::string error;
        ASSERT_TRUE(opened.store->Insert(r, &error)) << error;
        written.push_back(r);
    }
    std::vector<fs::path> Files() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(out.Path()))
            files.push_back(entry.path().filename());
        return files;
    }
    test::TempDir home, out;
    RecordStore::Opened opened;
    std::vector<ProductionRecord> written;
    ProductionLogModel model{[this] { return opened.store.get(); }};
};

TEST_F(ProductionLogTest, PagesFollowNewestFirstWithNothingLostOrRepeated) {
    for (int n = 0; n < 450; ++n)
        Add(n);
    std::string error;
    ASSERT_TRUE(model.Apply({}, &error)) << error;
    EXPECT_EQ(model.MatchCount(), 450u);
    EXPECT_EQ(model.Rows(), ProductionLogModel::kPageRows);
    EXPECT_EQ(model.Row(0).id, written.back().id);
    EXPECT_EQ(model.LoadMore(), 200u);
    EXPECT_TRUE(model.CanLoadMore());
    EXPECT_EQ(model.LoadMore(), 50u);
    EXPECT_FALSE(model.CanLoadMore());
    EXPECT_EQ(model.LoadMore(), 0u);
    ASSERT_EQ(model.Rows(), 450u);
    for (std::size_t row = 1; row < model.Rows(); ++row)
        ASSERT_LT(model.Row(row).id, model.Row(row - 1).id) << row;
    EXPECT_EQ(model.Row(449).id, written.front().id);

    // A filter pages through its own records only, and a new filter starts again at the top.
    ASSERT_TRUE(
        model.Apply({.since = "2026-12-02", .verdict = "fail", .device = "W25Q128FV"}, &error))
        << error;
    std::size_t expected = 0;
    for (const ProductionRecord& r : written)
        expected += r.verdict == "FAIL" && r.timeLocal >= "2026-12-02" && r.type == "W25Q128FV";
    while (model.LoadMore() > 0) {
    }
    EXPECT_EQ(model.MatchCount(), expected);
    ASSERT_EQ(model.Rows(), expected);
    for (std::size_t row = 0; row < model.Rows(); ++row) {
        EXPECT_EQ(model.Row(row).verdict, "FAIL");
        EXPECT_GE(model.Row(row).timeLocal, "2026-12-02");
    }
}

TEST_F(ProductionLogTest, BadFiltersAreRefusedNamingTheField) {
    Add(0);
    struct Case {
        RecordFilterTexts texts;
        std::string says;
    };
    const Case cases[] = {
        {{.since = "2026-13-01"}, "since date \"2026-13-01\" is not a day"},
        {{.until = "2026-02-30"}, "until date \"2026-02-30\" is not a day"},
        {{.since = "11.12.2026"}, "YYYY-MM-DD"},
        {{.since = "2026-12-05", .until = "2026-12-01"}, "is after the until date"},
        {{.verdict = "maybe"}, "\"maybe\" is none of PASS, FAIL and STOPPED"},
    };
    for (const Case& c : cases) {
        std::string error;
        ASSERT_TRUE(model.Apply({}, &error));
        EXPECT_FALSE(model.Apply(c.texts, &error)) << c.says;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_EQ(model.Rows(), 0u);
    }
    std::string error;
    EXPECT_TRUE(
        model.Apply({.since = " 2026-12-01 ", .until = "2026-12-01", .verdict = "Any"}, &error))
        << error;
    EXPECT_EQ(model.Rows(), 1u);

    ProductionLogModel none([] { return static_cast<RecordStore*>(nullptr); });
    EXPECT_FALSE(none.Apply({}, &error));
    EXPECT_NE(error.find("cannot be opened"), std::string::npos);
}

TEST_F(ProductionLogTest, ExportWritesTheFilteredRecordsAsCsv) {
    Add(0, "plain.bin");
    Add(1, "odd, \"quoted\"\nname.bin");
    Add(2, "another.bin");
    Add(3, "failed.bin");
    std::string error;
    ASSERT_TRUE(model.Apply({.verdict = "FAIL"}, &error)) << error;
    const fs::path target = out / "records.csv";
    ASSERT_TRUE(model.Export(target, &error)) << error;
    // Newest first, like the table.
    const std::string csv = test::ReadFile(target);
    EXPECT_EQ(csv, CsvHeaderLine() + CsvLine(written[3]) + CsvLine(written[1]));
    EXPECT_NE(csv.find("\"odd, \"\"quoted\"\"\nname.bin\""), std::string::npos);
    EXPECT_EQ(Files(), std::vector<fs::path>{"records.csv"});
}

TEST_F(ProductionLogTest, AFailedOrStoppedExportLeavesTheOldFileWhole) {
    for (int n = 0; n < 300; ++n)
        Add(n);
    std::string error;
    ASSERT_TRUE(model.Apply({}, &error)) << error;
    const fs::path target = out.Write("records.csv", "the old export\r\n");
    {
        const test::FileSizeLimit full(4096);  // the disk fills up part way
        EXPECT_FALSE(model.Export(target, &error));
    }
    EXPECT_NE(error.find("Cannot write " + target.string()), std::string::npos) << error;
    EXPECT_EQ(test::ReadFile(target), "the old export\r\n");
    EXPECT_EQ(Files(), std::vector<fs::path>{"records.csv"});

    std::uint64_t heard = 0;
    EXPECT_FALSE(model.Export(target, &error, [&](std::uint64_t rows) {
        heard = rows;
        return rows < 100;
    }));
    EXPECT_EQ(heard, 100u);
    EXPECT_NE(error.find("stopped"), std::string::npos) << error;
    EXPECT_EQ(test::ReadFile(target), "the old export\r\n");
    EXPECT_EQ(Files(), std::vector<fs::path>{"records.csv"});
}

}  // namespace
}  // namespace torq
