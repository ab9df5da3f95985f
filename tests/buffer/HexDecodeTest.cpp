#include <gtest/gtest.h>

#include "HexFixtures.h"
#include "torq/buffer/HexFormats.h"

namespace torq {
namespace {

using test::Bytes;
using test::IntelRecord;
using test::Lines;
using test::SRecord;
using test::TekExtendedRecord;
using test::TekRecord;

const std::string kIntelEnd = ":00000001FF";

Bytes Repeat(std::uint8_t byte, std::size_t count) {
    return Bytes(count, byte);
}
Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct DetectCase {
    const char* name;
    HexFormat format;
    std::string text;
    bool recognised;
};

TEST(HexDetect, RecognisesEachFormatByItsRules) {
    const std::string data1 = IntelRecord(0, 0, {1, 2, 3, 4});
    const std::string data2 = IntelRecord(0, 4, {5, 6});
    const std::string s0 = SRecord('0', {0, 0}, {'h', 'd', 'r'});
    const std::string s1 = SRecord('1', {0, 0}, {1, 2, 3});
    std::string badS0 = s0;
    badS0.back() = badS0.back() == '0' ? '1' : '0';
    std::string badData = data2;
    badData[10] = badData[10] == '0' ? '1' : '0';
    const std::string tek1 = TekRecord(0, {1, 2, 3}), tek2 = TekRecord(3, {4});
    const std::string tekExt = TekExtendedRecord('6', 0, {1, 2, 3});
    const DetectCase cases[] = {
        {"intel CR LF", HexFormat::Intel, Lines({data1, data2, kIntelEnd}), true},
        {"intel LF only", HexFormat::Intel, Lines({data1, data2, kIntelEnd}, "\n"), true},
        {"intel CR only", HexFormat::Intel, Lines({data1, data2, kIntelEnd}, "\r"), true},
        {"intel without end record", HexFormat::Intel, Lines({data1, data2}), true},
        {"intel lower-case digits", HexFormat::Intel, ":0100000041be\r\n", true},
        {"intel end record only", HexFormat::Intel, Lines({kIntelEnd}), false},
        {"intel zero-length data record", HexFormat::Intel,
         Lines({data1, IntelRecord(0, 8, {}), kIntelEnd}), false},
        {"intel bad checksum", HexFormat::Intel, Lines({data1, badData, kIntelEnd}), false},
        {"intel type 06", HexFormat::Intel, Lines({data1, IntelRecord(6, 0, {1}), kIntelEnd}),
         false},
        {"intel blank line", HexFormat::Intel, Lines({data1, "", data2, kIntelEnd}), false},
        {"intel records not on lines", HexFormat::Intel, data1 + data2, false},
        {"intel leading blank", HexFormat::Intel, " " + Lines({data1}), false},
        {"intel cut off", HexFormat::Intel, Lines({data1}) + data2.substr(0, 12), false},
        {"intel text", HexFormat::Intel, "hello world\r\n", false},
        {"motorola S0 header", HexFormat::Motorola, Lines({s0, "garbage"}), true},
        {"motorola lower case", HexFormat::Motorola, "s" + s1.substr(1), true},
        {"motorola bad first checksum", HexFormat::Motorola, Lines({badS0, s1}), false},
        {"motorola S4", HexFormat::Motorola, "S4" + s1.substr(2), false},
        {"motorola count below 2", HexFormat::Motorola, "S101FE\r\n", false},
        {"motorola cut off", HexFormat::Motorola, s1.substr(0, 9), false},
        {"tektronix plain", HexFormat::Tektronix, Lines({tek1, tek2, "/00000000"}), true},
        {"tektronix LF only", HexFormat::Tektronix, Lines({tek1, tek2, "/00000000"}, "\n"), true},
        {"tektronix extended", HexFormat::Tektronix, Lines({tekExt, "%0781010"}), true},
        {"tektronix mixed forms", HexFormat::Tektronix, Lines({tek1, tekExt}), false},
        {"tektronix bad header checksum", HexFormat::Tektronix, "/0000030103010203\r\n", false},
        {"tektronix junk", HexFormat::Tektronix, Lines({tek1, "x"}), false},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        EXPECT_EQ(DetectHex(c.format, dir.Write("in", c.text)), c.recognised) << c.name;
    }
}

struct DecodeCase {
    const char* name;
    HexFormat format;
    std::string text;
    bool ok;
    Bytes image;
    std::optional<std::uint64_t> endAddress;
};

TEST(HexDecode, PlacesRecordsFillsGapsAndStopsOnErrors) {
    const Bytes a = {0x11, 0x22, 0x33, 0x44};
    const Bytes sixteen = Repeat(0xAB, 16);
    const DecodeCase cases[] = {
        {"intel LF only, gap to 0x20", HexFormat::Intel,
         Lines({IntelRecord(0, 0, sixteen), IntelRecord(0, 0x20, a), kIntelEnd}, "\n"), true,
         Concat({sixteen, Repeat(0xFF, 16), a}), 0x23},
        {"intel type 0A reads as data", HexFormat::Intel, Lines({IntelRecord(10, 2, a)}), true,
         Concat({Repeat(0xFF, 2), a}), 5},
        {"intel zero-length record skipped", HexFormat::Intel,
         Lines({":00000000FF", IntelRecord(0, 0, a)}), true, a, 3},
        {"intel linear base", HexFormat::Intel,
         Lines({IntelRecord(4, 0, {0x00, 0x01}), IntelRecord(0, 0x8000, a)}), true,
         Concat({Repeat(0xFF, 0x18000), a}), 0x18003},
        {"intel segment base", HexFormat::Intel,
         Lines({IntelRecord(2, 0, {0x00, 0x10}), IntelRecord(0, 0x0002, a)}), true,
         Concat({Repeat(0xFF, 0x102), a}), 0x105},
        {"intel lower address goes to the write position", HexFormat::Intel,
         Lines({IntelRecord(0, 8, a), IntelRecord(0, 0, {0x55})}), true,
         Concat({Repeat(0xFF, 8), a, {0x55}}), 12},
        {"intel base moved back overwrites", HexFormat::Intel,
         Lines({IntelRecord(4, 0, {0, 1}), IntelRecord(0, 0, a), IntelRecord(4, 0, {0, 0}),
                IntelRecord(0, 0, {0x99})}),
         true, Concat({{0x99}, Repeat(0xFF, 0xFFFF), a}), 0},
        {"intel start records ignored", HexFormat::Intel,
         Lines({IntelRecord(3, 0, a), IntelRecord(5, 0, a), IntelRecord(0, 0, a), kIntelEnd}), true,
         a, 3},
        {"intel stops at the end record", HexFormat::Intel,
         Lines({IntelRecord(0, 0, a), kIntelEnd, IntelRecord(0, 4, a)}), true, a, 3},
        {"intel no data", HexFormat::Intel, Lines({kIntelEnd}), true, {}, std::nullopt},
        {"intel bad checksum",
         HexFormat::Intel,
         ":0400000011223344FF\r\n",
         false,
         {},
         std::nullopt},
        {"intel cut off", HexFormat::Intel, Lines({IntelRecord(0, 0, a)}) + ":0400040011", false, a,
         3},
        {"intel bad digit", HexFormat::Intel, ":04000000112G3344FF\r\n", false, {}, std::nullopt},
        {"intel type 06", HexFormat::Intel, Lines({IntelRecord(6, 0, a)}), false, {}, std::nullopt},
        {"motorola termination does not stop", HexFormat::Motorola,
         Lines({SRecord('1', {0, 0}, a), "S9030000FC", SRecord('1', {0, 4}, a)}), true,
         Concat({a, a}), 7},
        {"motorola first digit above 3 reads as 0", HexFormat::Motorola,
         Lines({SRecord('1', {0xC0, 0x10}, a)}), true, Concat({Repeat(0xFF, 0x10), a}), 0x13},
        {"motorola S2 and S3", HexFormat::Motorola,
         Lines({SRecord('2', {0, 0, 2}, a), SRecord('3', {0, 0, 0, 8}, {0x66})}), true,
         Concat({Repeat(0xFF, 2), a, Repeat(0xFF, 2), {0x66}}), 8},
        {"motorola lower case and header", HexFormat::Motorola,
         "s00600004844521B\n" + Lines({SRecord('1', {0, 0}, a)}), true, a, 3},
        {"motorola count 1 skipped", HexFormat::Motorola,
         Lines({"S101FE", SRecord('1', {0, 0}, a)}), true, a, 3},
        {"motorola bad checksum",
         HexFormat::Motorola,
         "S1070000112233440\r\n",
         false,
         {},
         std::nullopt},
        {"motorola S4", HexFormat::Motorola, "S4030000FC\r\n", false, {}, std::nullopt},
        {"motorola count below the address",
         HexFormat::Motorola,
         Lines({SRecord('3', {0, 0}, {})}),
         false,
         {},
         std::nullopt},
        {"tektronix termination ends", HexFormat::Tektronix,
         Lines({TekRecord(0, a), TekRecord(6, {0x77}), "/00000000", TekRecord(7, a)}), true,
         Concat({a, Repeat(0xFF, 2), {0x77}}), 6},
        {"tektronix extended", HexFormat::Tektronix,
         Lines({TekExtendedRecord('6', 0x10002, a), TekExtendedRecord('3', 0, {}), "%0781010"}),
         true, Concat({Repeat(0xFF, 0x10002), a}), 0x10005},
        {"tektronix bad data checksum", HexFormat::Tektronix, "/00000404112233440F\r\n", false, a,
         3},
        {"tektronix bad extended checksum",
         HexFormat::Tektronix,
         "%0A6008000000001\r\n",
         false,
         {},
         std::nullopt},
    };
    for (const auto& c : cases) {
        const auto decoded = test::DecodeText(c.format, c.text);
        EXPECT_EQ(decoded.result.ok, c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(decoded.image, c.image) << c.name;
            EXPECT_EQ(decoded.result.endAddress, c.endAddress) << c.name;
            EXPECT_TRUE(decoded.log.empty()) << c.name;
        } else {
            ASSERT_EQ(decoded.log.size(), 1u) << c.name;
            EXPECT_EQ(decoded.log[0],
                      "2011/05/04 13:07:09 : " + std::string(FormatErrorMessage(c.format)))
                << c.name;
        }
    }
}

TEST(HexDecode, GapsUseTheFillByte) {
    const auto decoded = test::DecodeText(
        HexFormat::Motorola, Lines({SRecord('1', {0, 0}, {1}), SRecord('1', {0, 3}, {2})}), 0x00);
    EXPECT_EQ(decoded.image, (Bytes{1, 0, 0, 2}));
}

// Records straddling the window's slide point and its end decode as any other.
TEST(HexDecode, RecordsAcrossTheWindowSlideDecode) {
    for (std::size_t padding : {32760u, 32767u, 65530u, 98300u}) {
        std::string text(padding, ' ');
        const Bytes data = Repeat(0x5A, 32);
        text += Lines({IntelRecord(0, 0x100, data)});
        text += std::string(40000, '\n');
        text += Lines({IntelRecord(0, 0x120, data), kIntelEnd});
        const auto decoded = test::DecodeText(HexFormat::Intel, text);
        ASSERT_TRUE(decoded.result.ok) << padding;
        EXPECT_EQ(decoded.image, Concat({Repeat(0xFF, 0x100), data, data})) << padding;
    }
}

// An address jump far beyond what the load will copy costs neither memory nor disk, and the end
// address still tells how far the image reached.
TEST(HexDecode, JumpsBeyondTheWriteLimitAreCountedNotWritten) {
    const Bytes a = {1, 2, 3, 4};
    const auto intel = test::DecodeText(
        HexFormat::Intel,
        Lines({IntelRecord(0, 0, a), IntelRecord(4, 0, {0xFF, 0xFF}), IntelRecord(0, 0xFFF0, a)}),
        0xFF, 4096);
    ASSERT_TRUE(intel.result.ok);
    EXPECT_EQ(intel.result.endAddress, 0xFFFFFFF3u);
    EXPECT_EQ(intel.image, Concat({a, Repeat(0xFF, 4092)}));

    const auto s3 = test::DecodeText(HexFormat::Motorola,
                                     Lines({SRecord('3', {0x3F, 0xFF, 0xFF, 0xF0}, a)}), 0xFF, 100);
    ASSERT_TRUE(s3.result.ok);
    EXPECT_EQ(s3.result.endAddress, 0x3FFFFFF3u);
    EXPECT_EQ(s3.image, Repeat(0xFF, 100));
}

class CountingProgress final : public ProgressSink {
  public:
    void Begin(std::uint64_t total) override { begins.push_back(total); }
    void Progress(std::uint64_t done, std::uint64_t) override {
        ++steps;
        last = done;
    }
    void End() override { ++finishes; }
    std::vector<std::uint64_t> begins;
    int steps = 0, finishes = 0;
    std::uint64_t last = 0;
};

TEST(HexDecode, ReportsProgressInAtMostAHundredSteps) {
    std::vector<std::string> records;
    for (unsigned i = 0; i < 3000; ++i)
        records.push_back(IntelRecord(0, i * 16 % 0x10000, Repeat(1, 16)));
    test::TempDir dir;
    CountingProgress progress;
    DecodeRequest request;
    request.source = dir.Write("in.hex", Lines(records));
    request.scratch = dir / "scratch";
    request.progress = &progress;
    ASSERT_TRUE(DecodeIntelHex(request).ok);
    EXPECT_EQ(progress.begins, (std::vector<std::uint64_t>{100}));
    EXPECT_LE(progress.steps, 100);
    EXPECT_GE(progress.last, 99u);
    EXPECT_LE(progress.last, 100u);
    EXPECT_EQ(progress.finishes, 1);
}

}  // namespace
}  // namespace torq
