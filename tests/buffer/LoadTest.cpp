#include "torq/buffer/Load.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "HexFixtures.h"
#include "torq/buffer/BufferFile.h"

namespace torq {
namespace {

using test::Bytes;
using test::ScriptedOperator;
using test::TempDir;

const std::string kStamp = "2011/05/04 13:07:09 : ";

std::uint32_t SumOf(const std::string& text) {
    return std::accumulate(text.begin(), text.end(), 0u, [](std::uint32_t s, char c) {
        return s + static_cast<unsigned char>(c);
    });
}

class LoadTest : public ::testing::Test {
  protected:
    void SetUp() override { SelectDevice(256); }
    void SelectDevice(std::uint64_t size) {
        deviceSize = size;
        ASSERT_TRUE(InitialiseBuffer(buffer, size));
    }
    LoadOutcome Load(const std::filesystem::path& file, LoadFormat format,
                     std::deque<Answer> answers = {}) {
        PrepareLoadDialog(state, file);
        state.format = format;
        return Run(std::move(answers));
    }
    LoadOutcome Run(std::deque<Answer> answers = {}) {
        op = ScriptedOperator(std::move(answers), Answer::Cancel);
        log.Clear();
        return LoadIntoBuffer(state, Environment());
    }
    LoadEnvironment Environment() {
        return LoadEnvironment{buffer.Path(), deviceSize, log, op, progress};
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const auto& line : log.Lines())
            lines.push_back(line.substr(kStamp.size()));
        return lines;
    }
    Bytes Image() const { return test::ReadBytes(buffer.Path()); }

    TempDir dir;
    BufferFile buffer{dir / "output.tmp"};
    std::uint64_t deviceSize = 0;
    test::FixedClock clock;
    InformationLog log{clock};
    ScriptedOperator op;
    LoadDialogState state;
    ProgressSink* progress = nullptr;
};

// The open dialog offers each data format under every extension it goes by.
TEST(OpenFileFilter, NamesEveryExtensionOfEachFormat) {
    EXPECT_EQ(OpenFileFilter(),
              "All files (*);;Intel hex (*.hex *.ihx *.ihex);;Motorola hex (*.s19 *.s28 *.s37 "
              "*.srec *.mot);;Tektronix hex (*.tek *.tex);;Binary and MS-DOS images (*.bin *.exe "
              "*.com)");
}

TEST_F(LoadTest, AutoDetectDecodesIntelHexAndLogsBothChecksums) {
    const std::string text =
        test::Lines({test::IntelRecord(0, 0x10, {1, 2, 3}), ":00000001FF"}, "\n");
    const auto file = dir.Write("image.hex", text);
    const LoadOutcome outcome = Load(file, LoadFormat::AutoDetect);
    ASSERT_EQ(outcome.end, LoadEnd::Loaded);
    EXPECT_TRUE(op.messages.empty());
    EXPECT_EQ(state.format, LoadFormat::IntelHex);
    Bytes expected(256, 0xFF);
    expected[0x10] = 1, expected[0x11] = 2, expected[0x12] = 3;
    EXPECT_EQ(Image(), expected);
    const std::string icSum = ChecksumText(255 * 253 + 6);
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{
                  "File Name : " + file.string(), "Downloaded file is Intel Hex file !",
                  "File checksum=0x" + ChecksumText(SumOf(text)), "IC checksum=0x" + icSum}));
    ASSERT_TRUE(outcome.socket);
    EXPECT_EQ(outcome.socket->workFile, file);
    EXPECT_EQ(outcome.socket->checksumText, icSum);
    EXPECT_EQ(outcome.socket->startAddressText, "00000000");
    EXPECT_TRUE(outcome.socket->enabled);
    EXPECT_TRUE(outcome.clearEditorModified);
    EXPECT_FALSE(std::filesystem::exists(buffer.ScratchPath()));
}

TEST_F(LoadTest, AChosenFormatThatDiffersFromTheDetectedOneIsQuestioned) {
    const std::string text = test::Lines({test::SRecord('1', {0, 0}, {0xAA})});
    const auto file = dir.Write("image.s19", text);

    ASSERT_EQ(Load(file, LoadFormat::Binary, {Answer::No}).end, LoadEnd::Loaded);
    EXPECT_EQ(op.Texts(),
              std::vector<std::string>{
                  "This is a Motorola Hex File , do you want to correct the file format ?"});
    EXPECT_EQ(Lines()[1], "Downloaded file is binary file !");
    const Bytes asText = Image();
    EXPECT_EQ(Bytes(asText.begin(), asText.begin() + 4), (Bytes{'S', '1', '0', '4'}));

    ASSERT_EQ(Load(file, LoadFormat::Binary, {Answer::Yes}).end, LoadEnd::Loaded);
    EXPECT_EQ(Lines()[1], "File format is corrected to Motorola Hex File !");
    EXPECT_EQ(Lines()[2], "Downloaded file is Motorola Hex file !");
    EXPECT_EQ(state.format, LoadFormat::MotorolaHex);
    EXPECT_EQ(Image()[0], 0xAA);

    // An unanswered question changes nothing.
    ASSERT_TRUE(InitialiseBuffer(buffer, deviceSize));
    EXPECT_EQ(Load(file, LoadFormat::Binary, {Answer::Cancel}).end, LoadEnd::Abandoned);
    EXPECT_EQ(Image(), Bytes(256, 0xFF));
}

TEST_F(LoadTest, AFailedDecodeLeavesTheBufferAndLogsOnlyItsError) {
    const auto file = dir.Write("text.hex", "not a hex file\r\n:0400000011223344FF\r\n");
    std::vector<std::uint8_t> before = Image();
    const LoadOutcome outcome = Load(file, LoadFormat::IntelHex);
    EXPECT_EQ(outcome.end, LoadEnd::Closed);
    EXPECT_TRUE(outcome.clearEditorModified);
    EXPECT_TRUE(op.messages.empty());  // no correction question: nothing was detected
    EXPECT_EQ(Lines(), (std::vector<std::string>{"File Name : " + file.string(),
                                                 "Downloaded file is Intel Hex file !",
                                                 "Intel Hex file format error !"}));
    EXPECT_EQ(Image(), before);
}

TEST_F(LoadTest, ARangeReachingPastTheDeviceIsTruncatedOnYes) {
    std::string bytes;
    for (int i = 0; i < 0x40; ++i)
        bytes += static_cast<char>(i);
    const auto file = dir.Write("data.bin", bytes);
    PrepareLoadDialog(state, file);
    state.format = LoadFormat::Binary;
    state.sourceStartText = "00000010";
    state.sourceEndText = "0000001F";
    state.destinationText = "000000F8";

    EXPECT_EQ(Run({Answer::No}).end, LoadEnd::KeptOpen);
    EXPECT_EQ(state.destinationText, "00000000");
    EXPECT_EQ(Image(), Bytes(256, 0xFF));

    state.destinationText = "000000F8";
    ASSERT_EQ(Run({Answer::Yes}).end, LoadEnd::Loaded);
    EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(kBiggerThanIcQuestion)});
    Bytes expected(0xF8, 0xFF);
    for (int i = 0x10; i < 0x18; ++i)
        expected.push_back(static_cast<std::uint8_t>(i));
    EXPECT_EQ(Image(), expected);
}

TEST_F(LoadTest, ExecutablesSkipTheirHeaderAndUnfilledLoadsTouchOnlyTheirBytes) {
    SelectDevice(1024);
    std::string exe(512, 'H');
    for (int i = 0; i < 512; ++i)
        exe += static_cast<char>(i);
    ASSERT_EQ(Load(dir.Write("prog.exe", exe), LoadFormat::MsDosExe).end, LoadEnd::Loaded);
    EXPECT_EQ(Lines()[1], "Downloaded file is MS .EXE file !");
    Bytes expected(1024, 0xFF);
    for (int i = 0; i < 512; ++i)
        expected[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(Image(), expected);

    ASSERT_TRUE(InitialiseBuffer(buffer, deviceSize));
    ASSERT_TRUE(BufferBlockWriter(buffer.Path()).Write(100, Bytes(1, 0x42)));
    PrepareLoadDialog(state, dir.Write("sixteen.bin", std::string(16, '\x11')));
    state.format = LoadFormat::Binary;
    state.fillUnused = false;
    ASSERT_EQ(Run().end, LoadEnd::Loaded);
    expected.assign(1024, 0xFF);
    std::fill_n(expected.begin(), 16, 0x11);
    expected[100] = 0x42;
    EXPECT_EQ(Image(), expected);
    EXPECT_EQ(Lines().back(), "IC checksum=0x" + ChecksumText(16 * 0x11 + 0x42 + 1007 * 0xFF));
}

TEST_F(LoadTest, RefusalsLeaveTheBufferAlone) {
    EXPECT_EQ(Load(dir.Write("empty.bin", ""), LoadFormat::AutoDetect).end, LoadEnd::Closed);
    EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(kEmptyFileMessage)});
    EXPECT_EQ(op.messages[0].severity, Severity::Warning);

    PrepareLoadDialog(state, dir.Write("data.bin", "0123456789"));
    state.format = LoadFormat::Binary;
    state.sourceStartText = "00000005";
    state.sourceEndText = "00000004";
    EXPECT_EQ(Run().end, LoadEnd::KeptOpen);
    EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(kSourceRangeWrongMessage)});

    SelectDevice(1024);
    EXPECT_EQ(Load(dir.Write("small.exe", std::string(600, 'x')), LoadFormat::MsDosExe).end,
              LoadEnd::Loaded);
    PrepareLoadDialog(state, dir / "small.exe");
    state.format = LoadFormat::MsDosExe;
    state.sourceEndText = "000001FF";
    EXPECT_EQ(Run().end, LoadEnd::Closed);
    EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(kExeRangeInHeaderMessage)});

    std::filesystem::remove(buffer.Path());
    EXPECT_EQ(Load(dir / "data.bin", LoadFormat::Binary).end, LoadEnd::Closed);
    EXPECT_EQ(op.Texts(), std::vector<std::string>{"The buffer file does not exist !"});
    EXPECT_FALSE(std::filesystem::exists(buffer.Path()));  // a load never creates it
}

// Whatever goes wrong while the new image is written, the buffer holds the old one.
TEST_F(LoadTest, AFailedCopyKeepsTheOldImage) {
    const auto file = dir.Write("data.bin", std::string(200, 'A'));
    PrepareLoadDialog(state, file);
    state.format = LoadFormat::Binary;
    std::filesystem::resize_file(file, 100);  // the file shrank after it was chosen
    EXPECT_EQ(Run().end, LoadEnd::Closed);
    EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(kFileShorterMessage)});
    EXPECT_EQ(Image(), Bytes(256, 0xFF));

    {
        const test::FileSizeLimit diskFull(100);  // the new image cannot be written
        EXPECT_EQ(Load(file, LoadFormat::Binary).end, LoadEnd::Closed);
    }
    EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(kBufferWriteFailedMessage)});
    EXPECT_EQ(Image(), Bytes(256, 0xFF));
    EXPECT_EQ(Lines().size(), 2u);  // no checksum lines follow a failed load
    // and no half-written image is left beside it
    for (const auto& entry : std::filesystem::directory_iterator(buffer.Path().parent_path()))
        EXPECT_EQ(entry.path().filename().string().find(".new"), std::string::npos);
}

TEST_F(LoadTest, AnImageBeyondTheDeviceLoadsItsPartAndWarns) {
    const auto file = dir.Write(
        "far.hex", test::Lines({test::IntelRecord(0, 0, {7}), test::IntelRecord(4, 0, {0xFF, 0xFF}),
                                test::IntelRecord(0, 0, {8})}));
    ASSERT_EQ(Load(file, LoadFormat::AutoDetect).end, LoadEnd::Loaded);
    EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(kFileBiggerWarning)});
    EXPECT_EQ(Lines().back(), "The file size is bigger than the IC size !");
    Bytes expected(256, 0xFF);
    expected[0] = 7;
    EXPECT_EQ(Image(), expected);
}

TEST_F(LoadTest, LoadForSocketAppliesTheSavedSettings) {
    const auto file = dir.Write("work.bin", "\x01\x02");
    SavedLoadSettings saved;
    saved.destinationText = "00000010";
    saved.fillValue = 0x00;
    saved.format = 3;
    EXPECT_EQ(LoadForSocket(1, 0, true, saved, file, state,
                            LoadEnvironment{buffer.Path(), deviceSize, log, op})
                  .end,
              LoadEnd::NotRun);
    const LoadOutcome outcome = LoadForSocket(1, 1, true, saved, file, state,
                                              LoadEnvironment{buffer.Path(), deviceSize, log, op});
    ASSERT_EQ(outcome.end, LoadEnd::Loaded);
    EXPECT_EQ(state.unit, 1);
    EXPECT_EQ(state.socket, 1);
    EXPECT_EQ(state.fillText, "00");
    EXPECT_EQ(state.sourceEndText, "00000001");
    Bytes expected(256, 0x00);
    expected[0x10] = 1, expected[0x11] = 2;
    EXPECT_EQ(Image(), expected);
    EXPECT_EQ(outcome.socket->checksumText, "00000003");
    EXPECT_EQ(LoadFormatFromIndex(9), LoadFormat::AutoDetect);
}

// Unattended loads without saved settings (a drop, a hand-over, the command line) start from the
// format as it was chosen: after "Auto Detect" found a hex file, the next file is detected again,
// not decoded as hex. A part of the file saved for the socket is loaded again as that part.
TEST_F(LoadTest, AnUnattendedLoadDetectsEachFileAgainAndKeepsASavedPart) {
    const auto hex = dir.Write("image.hex", test::Lines({test::IntelRecord(0, 0, {1, 2, 3})}));
    ASSERT_EQ(Load(hex, LoadFormat::AutoDetect).end, LoadEnd::Loaded);
    ASSERT_EQ(state.format, LoadFormat::IntelHex);

    const auto bin = dir.Write("image.bin", "\x11\x22\x33\x44");
    const LoadEnvironment env{buffer.Path(), deviceSize, log, op};
    log.Clear();
    ASSERT_EQ(LoadForSocket(1, 1, false, {}, bin, state, env).end, LoadEnd::Loaded);
    EXPECT_EQ(Lines()[1], "Downloaded file is binary file !");
    Bytes expected(256, 0xFF);
    std::copy_n(Bytes{0x11, 0x22, 0x33, 0x44}.begin(), 4, expected.begin());
    EXPECT_EQ(Image(), expected);

    // An explicit choice stands.
    PrepareLoadDialog(state, bin);
    state.format = LoadFormat::MsDosCom;
    ASSERT_EQ(Run().end, LoadEnd::Loaded);
    ASSERT_EQ(LoadForSocket(1, 1, false, {}, bin, state, env).end, LoadEnd::Loaded);
    EXPECT_EQ(state.format, LoadFormat::MsDosCom);

    SavedLoadSettings part;
    part.format = static_cast<std::uint8_t>(LoadFormat::Binary);
    part.sourcePart = {"00000001", "00000002"};
    ASSERT_EQ(LoadForSocket(1, 1, true, part, bin, state, env).end, LoadEnd::Loaded);
    expected.assign(256, 0xFF);
    expected[0] = 0x22, expected[1] = 0x33;
    EXPECT_EQ(Image(), expected);
}

// A hex load that decodes no data record from a non-empty file (a binary file taken for Intel
// HEX, a file of nothing but its end record) fails with a line and keeps the old image.
TEST_F(LoadTest, AHexLoadWithoutADataRecordKeepsTheOldImage) {
    ASSERT_TRUE(BufferBlockWriter(buffer.Path()).Write(0, Bytes{0x5A}));
    const Bytes before = Image();
    for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{
             {"binary.bin", std::string("\x01\x02\x03\x04", 4)}, {"end.hex", ":00000001FF\r\n"}}) {
        SCOPED_TRACE(name);
        const LoadOutcome outcome = Load(dir.Write(name, text), LoadFormat::IntelHex);
        EXPECT_EQ(outcome.end, LoadEnd::Closed);
        EXPECT_FALSE(outcome.socket);
        EXPECT_EQ(Lines().back(), NoDataRecordLine(LoadFormat::IntelHex));
        EXPECT_EQ(Image(), before);
        EXPECT_FALSE(std::filesystem::exists(buffer.ScratchPath()));
    }
    EXPECT_EQ(NoDataRecordLine(LoadFormat::IntelHex),
              "Error : The file holds no Intel Hex data record, the buffer keeps its previous "
              "contents !");
}

// A load without fill keeps the rest of the buffer; what an empty (emptied when the window closed)
// or shortened buffer does not hold becomes erased flash, so the image always covers the device
// and the IC checksum is the sum of what will be programmed.
TEST_F(LoadTest, ALoadWithoutFillMakesAShortBufferWholeWithErasedBytes) {
    for (const std::uint64_t oldLength : {0u, 100u}) {
        SCOPED_TRACE(oldLength);
        ASSERT_TRUE(InitialiseBuffer(buffer, deviceSize));
        std::filesystem::resize_file(buffer.Path(), oldLength);
        PrepareLoadDialog(state, dir.Write("four.bin", "\x01\x01\x01\x01"));
        state.format = LoadFormat::Binary;
        state.destinationText = "00000010";
        state.fillUnused = false;
        state.fillText = "02";
        const LoadOutcome outcome = Run();
        ASSERT_EQ(outcome.end, LoadEnd::Loaded);
        Bytes expected(deviceSize, 0xFF);
        std::fill_n(expected.begin() + 0x10, 4, 0x01);
        EXPECT_EQ(Image(), expected);
        const std::uint32_t sum = 4 * 0x01 + 252 * 0xFF;
        EXPECT_EQ(outcome.socket->checksumText, ChecksumText(sum));
    }
}

// A work file replaced by a FIFO (after the dialog took its length, or before an unattended
// load) is refused before it is read, with a line that says what it is; nothing waits for a
// writer at the other end.
TEST_F(LoadTest, AWorkFileThatIsAFifoIsRefusedWithoutBlocking) {
    ASSERT_TRUE(BufferBlockWriter(buffer.Path()).Write(0, Bytes{0x5A}));
    const Bytes before = Image();
    const auto file = dir.Write("work.bin", "0123456789");
    const std::string line = file.string() + " is not a regular file (a FIFO), nothing is loaded !";
    const std::vector<std::pair<std::string, std::function<LoadOutcome()>>> loads = {
        {"the dialog's OK",
         [&] {
             PrepareLoadDialog(state, file);
             test::MakeFifo(file);
             return Run();
         }},
        {"an unattended load (the watch's reload)",
         [&] {
             test::MakeFifo(file);
             op = ScriptedOperator({}, Answer::Cancel);
             log.Clear();
             return LoadForSocket(1, 1, false, {}, file, state, Environment());
         }},
    };
    for (const auto& [what, load] : loads) {
        SCOPED_TRACE(what);
        LoadOutcome outcome;
        ASSERT_TRUE(test::ReturnsWithoutBlocking(file, [&] { outcome = load(); }));
        EXPECT_EQ(outcome.end, LoadEnd::Closed);
        EXPECT_EQ(Lines(), std::vector<std::string>{"Error : " + line});
        EXPECT_EQ(op.Texts(), std::vector<std::string>{line});
        EXPECT_EQ(Image(), before);
        std::filesystem::remove(file);
        dir.Write("work.bin", "0123456789");
    }
}

// A FIFO in the buffer's place, or in the decoders' scratch file's, refuses the load without
// blocking and says so.
TEST_F(LoadTest, ABufferOrScratchFileThatIsAFifoRefusesTheLoadWithoutBlocking) {
    const auto hex = dir.Write("image.hex", test::Lines({test::IntelRecord(0, 0, {1, 2, 3})}));
    test::MakeFifo(buffer.ScratchPath());
    LoadOutcome outcome;
    ASSERT_TRUE(test::ReturnsWithoutBlocking(buffer.ScratchPath(),
                                             [&] { outcome = Load(hex, LoadFormat::AutoDetect); }));
    EXPECT_EQ(outcome.end, LoadEnd::Closed);
    EXPECT_EQ(Lines().back(),
              "Error : " + buffer.ScratchPath().string() + " is not a regular file (a FIFO)");
    EXPECT_EQ(Image(), Bytes(256, 0xFF));
    std::filesystem::remove(buffer.ScratchPath());

    test::MakeFifo(buffer.Path());
    ASSERT_TRUE(test::ReturnsWithoutBlocking(buffer.Path(),
                                             [&] { outcome = Load(hex, LoadFormat::AutoDetect); }));
    EXPECT_EQ(outcome.end, LoadEnd::Closed);
    const std::string line = "The buffer file " + buffer.Path().string() +
                             " is not a regular file (a FIFO), nothing is loaded !";
    EXPECT_EQ(Lines().back(), "Error : " + line);
    EXPECT_EQ(op.Texts(), std::vector<std::string>{line});
}

// A file far larger than the device is read whole for its checksum only when the operator says
// so; No refuses it before anything is read. Read, its long passes show their progress.
TEST_F(LoadTest, AFileFarLargerThanTheDeviceIsQuestionedBeforeItIsRead) {
    ASSERT_TRUE(BufferBlockWriter(buffer.Path()).Write(0, Bytes{0x5A}));
    const Bytes before = Image();
    const auto file = dir / "disk.img";
    test::WriteSparseFile(file, kFarLargerFileMinimum + 1);  // 64 MiB of zeros, on 256 bytes
    test::RecordingProgress window;
    progress = &window;
    PrepareLoadDialog(state, file);
    state.format = LoadFormat::Binary;
    state.sourceEndText = "0000000F";  // a part that fits: only the size question is asked

    EXPECT_EQ(Run({Answer::No}).end, LoadEnd::Closed);
    const std::string question = FarLargerFileQuestion(file, kFarLargerFileMinimum + 1, 256);
    EXPECT_EQ(question, "The file " + file.string() +
                            " is 64.0 MiB, far bigger than the IC size of 256 bytes : reading it "
                            "for its checksum takes a long time , Do you really want to load it ?");
    EXPECT_EQ(op.Texts(), std::vector<std::string>{question});
    EXPECT_EQ(op.messages[0].buttons, Buttons::YesNo);
    EXPECT_EQ(Lines(), std::vector<std::string>{"The file " + file.string() +
                                                " is far bigger than the IC size, nothing is "
                                                "loaded !"});
    EXPECT_EQ(Image(), before);
    EXPECT_TRUE(window.reports.empty());

    EXPECT_EQ(Run({Answer::Cancel}).end, LoadEnd::Abandoned);
    EXPECT_EQ(Image(), before);

    ASSERT_EQ(Run({Answer::Yes}).end, LoadEnd::Loaded);
    EXPECT_EQ(Lines()[2], "File checksum=0x00000000");
    Bytes expected(256, 0xFF);
    std::fill_n(expected.begin(), 16, 0x00);
    EXPECT_EQ(Image(), expected);
    // Every job that opened the progress window closed it, and the checksum's long read was
    // reported in it (in percent), so the window's messages were processed as it went.
    EXPECT_GE(window.begins, 1);
    EXPECT_EQ(window.begins, window.ends);
    EXPECT_GT(window.reports.size(), 2u);
    for (const auto& [done, total] : window.reports) {
        EXPECT_EQ(total, 100u);
        EXPECT_LE(done, 100u);
    }
}

// Which files are far larger: more than 16 times the device and more than 64 MiB.
TEST(LoadRules, AFileIsFarLargerWhenItExceedsBothBounds) {
    constexpr std::uint64_t MiB = 1 << 20;
    const struct {
        std::uint64_t file, device;
        bool farLarger;
    } cases[] = {
        {64 * MiB + 1, 256, true},      {64 * MiB, 256, false},         {128 * MiB, 8 * MiB, false},
        {128 * MiB + 1, 8 * MiB, true}, {16ull << 30, 8 * MiB, true},   {1, 0, false},
        {~0ull, ~0ull / 16, true},      {~0ull, ~0ull / 16 + 1, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsFarLargerThanDevice(c.file, c.device), c.farLarger)
            << c.file << " " << c.device;
}

// An unattended load of a short file shows no progress (the watch reloads often); a long one's
// reads are reported.
TEST_F(LoadTest, UnattendedLoadsShowProgressOnlyForLongFiles) {
    test::RecordingProgress window;
    progress = &window;
    const auto hex = dir.Write("image.hex", test::Lines({test::IntelRecord(0, 0, {1, 2, 3})}));
    ASSERT_EQ(LoadForSocket(1, 1, false, {}, hex, state, Environment()).end, LoadEnd::Loaded);
    EXPECT_EQ(window.begins, 0);
    EXPECT_TRUE(window.reports.empty());
    // From the dialog the decoders show theirs, as the operator started them.
    ASSERT_EQ(Load(hex, LoadFormat::AutoDetect).end, LoadEnd::Loaded);
    EXPECT_EQ(window.begins, 1);
    EXPECT_EQ(window.ends, 1);

    SelectDevice(8 << 20);  // less than 16 times smaller: no question of its own
    window = {};
    const auto big = dir / "big.bin";
    test::WriteSparseFile(big, kFarLargerFileMinimum + 1);
    SavedLoadSettings saved;
    saved.format = static_cast<std::uint8_t>(LoadFormat::Binary);
    op = ScriptedOperator({Answer::Yes});  // the size question of step 4 only
    ASSERT_EQ(LoadForSocket(1, 1, true, saved, big, state, Environment()).end, LoadEnd::Loaded);
    EXPECT_GE(window.begins, 1);
    EXPECT_EQ(window.begins, window.ends);
    EXPECT_FALSE(window.reports.empty());
}

TEST(LoadDialogRules, NormalisesFieldsAndEnablesBySelection) {
    EXPECT_EQ(NormaliseSourceAddressText("FFFF", 0x100), "000000FF");
    EXPECT_EQ(NormaliseSourceAddressText("", 0x100), "00000000");
    EXPECT_EQ(NormaliseSourceAddressText("0", 0x100), "00000000");
    EXPECT_EQ(NormaliseSourceAddressText("1A", 0x100), "1A");
    EXPECT_EQ(NormaliseDestinationAddressText("200000", 0x100000), "000FFFFF");
    EXPECT_TRUE(SourceFieldsEnabled(LoadFormat::MsDosExe));
    EXPECT_TRUE(SourceFieldsEnabled(LoadFormat::Binary));
    EXPECT_FALSE(SourceFieldsEnabled(LoadFormat::AutoDetect));
    EXPECT_FALSE(SourceFieldsEnabled(LoadFormat::TektronixHex));
    EXPECT_EQ(AcceptHexFieldKey('a'), 'A');
    EXPECT_EQ(AcceptHexFieldKey('\b'), '\b');
    EXPECT_EQ(AcceptHexFieldKey('g'), std::nullopt);
    EXPECT_EQ(LoadFormatCaption(LoadFormat::TektronixHex), "Tektlonix HEX");
    EXPECT_EQ(CorrectionQuestion(LoadFormat::IntelHex),
              "This is an Intel Hex File , do you want to correct the file format ?");
}

}  // namespace
}  // namespace torq
