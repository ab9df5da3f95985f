#include "torq/editor/Operations.h"

#include <gtest/gtest.h>

#include <set>

#include "EditorFixtures.h"

namespace torq::editor {
namespace {

using test::ByteVector;
using test::TempDir;

class CountingProgress final : public ProgressSink {
  public:
    void Begin(std::uint64_t total) override { this->total = total; }
    void Progress(std::uint64_t done, std::uint64_t) override { last = done; }
    void End() override { ended = true; }
    std::uint64_t total = 0, last = 0;
    bool ended = false;
};

TEST(Swaps, ExchangeTheHalvesOfEveryWholeGroup) {
    struct Case {
        SwapKind kind;
        ByteVector before;
        ByteVector after;
    };
    const std::vector<Case> cases = {
        {SwapKind::Byte, {1, 2, 3, 4}, {2, 1, 4, 3}},
        {SwapKind::Word, {1, 2, 3, 4}, {3, 4, 1, 2}},
        {SwapKind::Double, {1, 2, 3, 4, 5, 6, 7, 8}, {5, 6, 7, 8, 1, 2, 3, 4}},
        // A short last group stays as it is.
        {SwapKind::Byte, {1, 2, 3}, {2, 1, 3}},
        {SwapKind::Word, {1, 2, 3, 4, 5, 6, 7}, {3, 4, 1, 2, 5, 6, 7}},
        {SwapKind::Double, {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}},
        {SwapKind::Byte, {}, {}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const auto path = test::WriteBuffer(dir, c.before);
        const WriteReport report = SwapWholeFile(BufferDocument(path), c.kind);
        EXPECT_TRUE(report.ok) << report.error;
        EXPECT_EQ(test::ReadBytes(path), c.after) << static_cast<int>(c.kind);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
            << "no file is left beside the buffer";
    }
}

TEST(Swaps, StreamAFileLargerThanOneBlockInPlace) {
    TempDir dir;
    const ByteVector before = test::Counting(kSwapBlockSize * 2 + 6);
    const auto path = test::WriteBuffer(dir, before);
    CountingProgress progress;
    ASSERT_TRUE(SwapWholeFile(BufferDocument(path), SwapKind::Word, &progress).ok);
    const ByteVector after = test::ReadBytes(path);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i + 4 <= before.size(); i += 4) {
        ASSERT_EQ(after[i], before[i + 2]) << i;
        ASSERT_EQ(after[i + 2], before[i]) << i;
    }
    EXPECT_EQ(after[after.size() - 1], before[before.size() - 1]);
    EXPECT_EQ(progress.total, before.size());
    EXPECT_EQ(progress.last, before.size());
    EXPECT_TRUE(progress.ended);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1)
        << "swapped in place, no second file";

    std::filesystem::remove(path);
    const WriteReport missing = SwapWholeFile(BufferDocument(path), SwapKind::Byte);
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.changed);
    EXPECT_NE(missing.error.find("cannot be opened"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// Byte swap of 5 blocks of 64 bytes and a 3-byte tail, failing in the third block.
TEST(Swaps, AFailurePartWaySwapsBackWhatWasDoneOrSaysWhatIsLeftSwapped) {
    constexpr std::size_t kBlock = 64;
    struct Case {
        const char* what;
        test::FaultPlan plan;
        bool restored;
        const char* text;
    };
    test::FaultPlan writeFailsOnce;
    writeFailsOnce.writeBudget = 2 * kBlock + 10;
    writeFailsOnce.recovers = true;
    test::FaultPlan readFails;
    readFails.readFailsAt = 2 * kBlock + 5;
    test::FaultPlan writesStayFailing;
    writesStayFailing.writeBudget = 2 * kBlock + 10;
    const std::vector<Case> cases = {
        {"write fails, then works again", writeFailsOnce, true, "No space left on device"},
        {"read fails", readFails, true, "cannot be read: Input/output error"},
        {"writes keep failing", writesStayFailing, false,
         "partly swapped. Bytes 0000000000 to 00000000BF may be swapped"},
    };
    const ByteVector before = test::Counting(5 * kBlock + 3);
    for (const auto& c : cases) {
        TempDir dir;
        const auto path = test::WriteBuffer(dir, before);
        auto plan = std::make_shared<test::FaultPlan>(c.plan);
        const WriteReport report = SwapWholeFile(BufferDocument(path, test::FaultyOpener(plan)),
                                                 SwapKind::Byte, nullptr, kBlock);
        EXPECT_FALSE(report.ok) << c.what;
        EXPECT_NE(report.error.find(c.text), std::string::npos) << c.what << ": " << report.error;
        EXPECT_NE(report.error.find("stopped at address 0000000080"), std::string::npos)
            << c.what << ": " << report.error;
        EXPECT_EQ(report.changed, !c.restored) << c.what;
        const ByteVector after = test::ReadBytes(path);
        if (c.restored) {
            EXPECT_NE(report.error.find("swapped back, so the buffer is as it was"),
                      std::string::npos)
                << c.what;
            EXPECT_EQ(after, before) << c.what;
            continue;
        }
        // Swapped up to the failing write's 10 bytes, as it was from there on.
        for (std::size_t i = 0; i < before.size(); ++i) {
            const bool swapped = i < 2 * kBlock + 10;
            ASSERT_EQ(after[i], swapped ? before[i ^ 1] : before[i]) << c.what << " at " << i;
        }
    }
}

TEST(Fill, WritesEachPatternFromTheRangeStart) {
    struct Case {
        const char* name;
        FillSpec spec;
        ByteVector firstBytes;
    };
    FillSpec word;
    word.pattern = FillPattern::SequentialWord;
    FillSpec sequential;
    sequential.pattern = FillPattern::SequentialByte;
    FillSpec userWord;
    userWord.userDefined = true;
    userWord.userWidth = UserWidth::Word;
    userWord.userWord = 0x1234;
    FillSpec userByte;
    userByte.userDefined = true;
    userByte.pattern = FillPattern::AllBit1;  // the user value wins over the pattern
    FillSpec zeros;
    zeros.pattern = FillPattern::AllBit0;
    const std::vector<Case> cases = {
        {"sequential byte", sequential, {0x00, 0x01, 0x02, 0x03}},
        {"sequential word", word, {0x00, 0x00, 0x01, 0x00, 0x02, 0x00}},
        {"user word", userWord, {0x34, 0x12, 0x34, 0x12}},
        {"user byte", userByte, {0x55, 0x55, 0x55}},
        {"all bit 0", zeros, {0x00, 0x00, 0x00}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const auto path = test::WriteBuffer(dir, ByteVector(0x300, 0xEE));
        ASSERT_TRUE(FillRange(BufferDocument(path), 0x100, 0x1FF, c.spec).ok) << c.name;
        const ByteVector bytes = test::ReadBytes(path);
        EXPECT_EQ(ByteVector(bytes.begin() + 0x100, bytes.begin() + 0x100 + c.firstBytes.size()),
                  c.firstBytes)
            << c.name;
        EXPECT_EQ(bytes[0xFF], 0xEE) << c.name;
        EXPECT_EQ(bytes[0x200], 0xEE) << c.name;
    }
    TempDir dir;
    const auto path = test::WriteBuffer(dir, ByteVector(0x300, 0xEE));
    ASSERT_TRUE(FillRange(BufferDocument(path), 0x100, 0x1FF, word).ok);
    EXPECT_EQ(test::ReadBytes(path)[0x1FE], 0x7F) << "the last word of 256 bytes is 007F";
}

TEST(Fill, RandomBytesRepeatForASeedAndCrossBlocks) {
    TempDir dir;
    const std::uint64_t size = kFillBlockSize + 1000;
    const auto path = test::WriteBuffer(dir, {});
    FillSpec spec;
    spec.seed = 42;
    ASSERT_TRUE(FillRange(BufferDocument(path), 0, size - 1, spec).ok);
    const ByteVector first = test::ReadBytes(path);
    ASSERT_EQ(first.size(), size);
    ASSERT_TRUE(FillRange(BufferDocument(path), 0, size - 1, spec).ok);
    EXPECT_EQ(test::ReadBytes(path), first);
    spec.seed = 43;
    ASSERT_TRUE(FillRange(BufferDocument(path), 0, size - 1, spec).ok);
    EXPECT_NE(test::ReadBytes(path), first);
    EXPECT_GT(std::set<std::uint8_t>(first.begin(), first.end()).size(), 250u);
    EXPECT_NE(ByteVector(first.begin(), first.begin() + 64),
              ByteVector(first.begin() + kFillBlockSize, first.begin() + kFillBlockSize + 64))
        << "each block is new random data";
}

TEST(BlockProcess, CopyMoveAndSwapUseTheContentsBeforeTheOperation) {
    struct Case {
        BlockAction action;
        ByteVector low;   // bytes 0x00 ... 0x0F afterwards
        ByteVector high;  // bytes at the destination afterwards
    };
    const ByteVector source = test::Counting(16);
    const ByteVector target(16, 0xAA);
    const std::vector<Case> cases = {
        {BlockAction::Copy, source, source},
        {BlockAction::Move, ByteVector(16, 0xFF), source},
        {BlockAction::Swap, target, source},
    };
    for (const auto& c : cases) {
        TempDir dir;
        ByteVector bytes = source;
        bytes.insert(bytes.end(), target.begin(), target.end());
        const auto path = test::WriteBuffer(dir, bytes);
        ASSERT_TRUE(ProcessBlock(BufferDocument(path), c.action, 0, 0xF, 0x10, 0xFF).ok);
        const ByteVector after = test::ReadBytes(path);
        EXPECT_EQ(ByteVector(after.begin(), after.begin() + 16), c.low);
        EXPECT_EQ(ByteVector(after.begin() + 16, after.end()), c.high);
    }
}

TEST(BlockProcess, ADestinationBeyondTheFileExtendsItWithFF) {
    TempDir dir;
    const auto path = test::WriteBuffer(dir, test::Counting(0x20));
    ASSERT_TRUE(ProcessBlock(BufferDocument(path), BlockAction::Swap, 0x0, 0xF, 0x40, 0x00).ok);
    const ByteVector after = test::ReadBytes(path);
    ASSERT_EQ(after.size(), 0x50u);
    EXPECT_EQ(ByteVector(after.begin(), after.begin() + 16), ByteVector(16, 0xFF));
    EXPECT_EQ(ByteVector(after.begin() + 0x20, after.begin() + 0x40), ByteVector(0x20, 0xFF));
    EXPECT_EQ(ByteVector(after.begin() + 0x40, after.end()), test::Counting(16));
}

TEST(BlockProcess, OverlapIsJudgedOnBothSides) {
    struct Case {
        std::uint64_t start, end, destination;
        bool overlap;
    };
    for (const Case c :
         {Case{0x00, 0x0F, 0x08, true}, Case{0x00, 0x0F, 0x10, false}, Case{0x20, 0x2F, 0x11, true},
          Case{0x20, 0x2F, 0x10, false}, Case{0x20, 0x2F, 0x2F, true},
          Case{0x20, 0x2F, 0x00, false}, Case{0x08, 0x17, 0x00, true}}) {
        EXPECT_EQ(RangesOverlap(c.start, c.end, c.destination), c.overlap)
            << c.start << ".." << c.end << " to " << c.destination;
    }
}

}  // namespace
}  // namespace torq::editor
