#include "torq/buffer/Save.h"

#include <gtest/gtest.h>

#include "HexFixtures.h"
#include "torq/buffer/BufferFile.h"

namespace torq {
namespace {

using test::Bytes;
using test::TempDir;

// A buffer file whose byte n is n & 0xFF.
std::filesystem::path CountingBuffer(const TempDir& dir, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i & 0xFF);
    return dir.Write("output.tmp", bytes);
}

std::vector<std::string> SavedLines(const std::filesystem::path& path) {
    const std::string text = test::ReadFile(path);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return lines;
}

TEST(SaveWriters, IntelRecordsAreRelativeToTheRangeStart) {
    TempDir dir;
    const auto buffer = CountingBuffer(dir, 0x200);
    ASSERT_TRUE(WriteBufferRange(buffer, 0x100, 0x11F, SaveFormat::IntelHex, dir / "out.hex"));
    Bytes data;
    for (unsigned i = 0; i < 32; ++i)
        data.push_back(static_cast<std::uint8_t>(i));
    EXPECT_EQ(SavedLines(dir / "out.hex"),
              (std::vector<std::string>{test::IntelRecord(0, 0, data), ":00000001FF"}));
    EXPECT_EQ(SavedLines(dir / "out.hex")[0].substr(0, 9), ":20000000");
}

TEST(SaveWriters, IntelWritesASegmentRecordBeforeEach64KiB) {
    TempDir dir;
    const auto buffer = CountingBuffer(dir, 0x20000);
    ASSERT_TRUE(WriteBufferRange(buffer, 0, 0x1FFFF, SaveFormat::IntelHex, dir / "out.hex"));
    const auto lines = SavedLines(dir / "out.hex");
    ASSERT_EQ(lines.size(), 0x20000 / 32 + 2);
    EXPECT_EQ(lines[0x800], ":020000021000EC");
    EXPECT_EQ(lines[0x801].substr(0, 9), ":20000000");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.substr(7, 2) == "02"; }),
              1);
}

TEST(SaveWriters, MotorolaHasHeaderCountedRecordsAndTrailerPerType) {
    TempDir dir;
    const auto buffer = CountingBuffer(dir, 0x100);
    ASSERT_TRUE(WriteBufferRange(buffer, 0x10, 0x30, SaveFormat::MotorolaS1, dir / "s1"));
    const auto s1 = SavedLines(dir / "s1");
    ASSERT_EQ(s1.size(), 4u);
    EXPECT_EQ(s1[0], "S0030000FC");
    EXPECT_EQ(s1[1].substr(0, 8), "S1230000");
    EXPECT_EQ(s1[1].size(), 2 + 2 + 4 + 64 + 2u);
    EXPECT_EQ(s1[2], test::SRecord('1', {0x00, 0x20}, {0x30}));
    EXPECT_EQ(s1[2].substr(0, 8), "S1040020");
    EXPECT_EQ(s1[3], "S9030000FC");

    ASSERT_TRUE(WriteBufferRange(buffer, 0, 1, SaveFormat::MotorolaS2, dir / "s2"));
    EXPECT_EQ(SavedLines(dir / "s2"),
              (std::vector<std::string>{"S0030000FC", test::SRecord('2', {0, 0, 0}, {0, 1}),
                                        "S804000000FB"}));
    ASSERT_TRUE(WriteBufferRange(buffer, 0, 1, SaveFormat::MotorolaS3, dir / "s3"));
    EXPECT_EQ(SavedLines(dir / "s3"),
              (std::vector<std::string>{"S0030000FC", test::SRecord('3', {0, 0, 0, 0}, {0, 1}),
                                        "S70500000000FA"}));
}

TEST(SaveWriters, TektronixChecksumsEachRecordOnItsOwn) {
    TempDir dir;
    const auto buffer = CountingBuffer(dir, 0x100);
    ASSERT_TRUE(WriteBufferRange(buffer, 0x40, 0x80, SaveFormat::TektronixHex, dir / "out.tek"));
    const auto lines = SavedLines(dir / "out.tek");
    ASSERT_EQ(lines.size(), 4u);
    Bytes first, second;
    for (unsigned i = 0; i < 32; ++i)
        first.push_back(static_cast<std::uint8_t>(0x40 + i));
    for (unsigned i = 0; i < 32; ++i)
        second.push_back(static_cast<std::uint8_t>(0x60 + i));
    EXPECT_EQ(lines[0], test::TekRecord(0, first));
    EXPECT_EQ(lines[1], test::TekRecord(0x20, second));
    EXPECT_EQ(lines[2], test::TekRecord(0x40, {0x80}));
    EXPECT_EQ(lines[1].substr(0, 9), "/00202004");  // 0+0+2+0+2+0
    EXPECT_EQ(lines[3], "/00000000");
}

TEST(SaveWriters, BinaryAndRangesPastTheBufferEnd) {
    TempDir dir;
    const auto buffer = CountingBuffer(dir, 0x10);
    ASSERT_TRUE(WriteBufferRange(buffer, 0x0E, 0x13, SaveFormat::Binary, dir / "out.bin"));
    EXPECT_EQ(test::ReadBytes(dir / "out.bin"), (Bytes{0x0E, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF}));
    ASSERT_TRUE(WriteBufferRange(buffer, 0x0F, 0x10, SaveFormat::IntelHex, dir / "out.hex"));
    EXPECT_EQ(SavedLines(dir / "out.hex")[0], test::IntelRecord(0, 0, {0x0F, 0xFF}));
    std::string reason;
    EXPECT_FALSE(
        WriteBufferRange(buffer, 0, 0x10000, SaveFormat::MotorolaS1, dir / "big", &reason));
    EXPECT_FALSE(WriteBufferRange(dir / "missing", 0, 1, SaveFormat::Binary, dir / "x", &reason));
    EXPECT_NE(reason.find("missing"), std::string::npos);
}

TEST(SaveValidation, RefusesNamesRangesAndSizesWithTheirMessages) {
    EXPECT_EQ(CheckSaveName("a.bi").value().text, "File Name is too short!");
    EXPECT_EQ(CheckSaveName(std::string(257, 'x')).value().text, "File Name is too long!");
    EXPECT_FALSE(CheckSaveName("a.bin"));
    EXPECT_FALSE(CheckSaveName(std::string(256, 'x')));

    const std::uint64_t device = 0x100000;
    struct Case {
        std::uint64_t start, end;
        SaveFormat format;
        const char* refusal;  // null: accepted
    };
    const Case cases[] = {
        {5, 5, SaveFormat::Binary, "Input Value Error!"},  // a single byte
        {6, 5, SaveFormat::Binary, "Input Value Error!"},
        {0, device, SaveFormat::Binary, "Input Value Error!"},  // past the device
        {0, device - 1, SaveFormat::Binary, nullptr},
        {0, 0x10000, SaveFormat::MotorolaS1, "Input Size Error!"},  // 64 KiB + 1
        {0, 0x10000, SaveFormat::MotorolaS2, "Input Size Error!"},
        {0, 0x10000, SaveFormat::TektronixHex, "Input Size Error!"},
        {0, 0x10000, SaveFormat::IntelHex, nullptr},
        {0, 0x10000, SaveFormat::MotorolaS3, nullptr},
        {0, 0xFFFF, SaveFormat::TektronixHex, nullptr},
        {0, device - 1, SaveFormat::IntelHex, nullptr},
    };
    for (const auto& c : cases) {
        const auto refusal = CheckSaveRange(c.start, c.end, c.format, device);
        EXPECT_EQ(refusal ? refusal->text : "", c.refusal ? c.refusal : "")
            << c.start << "-" << c.end << " " << SaveFormatCaption(c.format);
    }
    EXPECT_EQ(SaveDialogDefaults(device).endText, "00000FFFFF");
    EXPECT_EQ(SaveEndTextForLength(0), "0000000000");
}

TEST(SaveValidation, AsksBeforeOverwritingAndTellsRefusals) {
    TempDir dir;
    const auto buffer = CountingBuffer(dir, 0x100);
    SaveDialogValues values = SaveDialogDefaults(0x100);
    values.name = dir.Write("old.bin", "keep").string();

    test::ScriptedOperator cancel({Answer::Cancel});
    EXPECT_EQ(SaveFromDialog(values, buffer, 0x100, cancel), SaveOutcome::Refused);
    ASSERT_EQ(cancel.Texts(), std::vector<std::string>{"File is Exist ! Are sure to save ?"});
    EXPECT_EQ(cancel.messages[0].buttons, Buttons::OkCancel);
    EXPECT_EQ(test::ReadFile(values.name), "keep");

    test::ScriptedOperator ok({Answer::Ok});
    EXPECT_EQ(SaveFromDialog(values, buffer, 0x100, ok), SaveOutcome::Saved);
    EXPECT_EQ(test::ReadFile(values.name).size(), 0x100u);

    values.endText = values.startText;
    test::ScriptedOperator refused({Answer::Ok});
    EXPECT_EQ(SaveFromDialog(values, buffer, 0x100, refused), SaveOutcome::Refused);
    EXPECT_EQ(refused.Texts().back(), "Input Value Error!");
    EXPECT_EQ(refused.messages.back().severity, Severity::Error);
    EXPECT_EQ(refused.messages.back().caption, "Error");
}

// Saving onto the buffer file (under any name) or the scratch file would destroy the image
// being saved: refused before any question, and the buffer is untouched.
TEST(SaveValidation, TheBufferFileIsNeverTheTarget) {
    TempDir dir;
    const auto buffer = CountingBuffer(dir, 0x100);
    const std::string image = test::ReadFile(buffer);
    std::filesystem::create_symlink(buffer, dir / "alias.bin");
    for (const auto& name : {buffer, dir / "sub/../output.tmp", dir / "alias.bin"}) {
        std::filesystem::create_directories(dir / "sub");
        SaveDialogValues values = SaveDialogDefaults(0x100);
        values.name = name.string();
        test::ScriptedOperator op({Answer::Ok});
        EXPECT_EQ(SaveFromDialog(values, buffer, 0x100, op), SaveOutcome::Refused) << name;
        EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(kSaveOntoBufferMessage)});
        std::string reason;
        EXPECT_FALSE(WriteBufferRange(buffer, 0, 0xFF, SaveFormat::Binary, name, &reason));
        EXPECT_EQ(test::ReadFile(buffer), image);
    }
}

// A save that fails half-way (a full disk) leaves an older file of that name whole and no
// partial file beside it.
TEST(SaveWriters, AFailedWriteLeavesTheOldFileWhole) {
    TempDir dir;
    const auto buffer = CountingBuffer(dir, 0x1000);
    const auto output = dir.Write("image.bin", "old contents");
    std::string reason;
    {
        const test::FileSizeLimit diskFull(0x800);
        EXPECT_FALSE(WriteBufferRange(buffer, 0, 0xFFF, SaveFormat::Binary, output, &reason));
    }
    EXPECT_NE(reason.find("cannot write"), std::string::npos);
    EXPECT_EQ(test::ReadFile(output), "old contents");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 2u);
}

}  // namespace
}  // namespace torq
