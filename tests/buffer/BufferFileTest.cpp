#include "torq/buffer/BufferFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <utility>
#include <vector>

#include "HexFixtures.h"
#include "torq/buffer/HexFormats.h"

namespace torq {
namespace {

using test::TempDir;

TEST(BufferFile, InitialisesToErasedBytesAndEmpties) {
    TempDir dir;
    const BufferFile buffer(dir / "output.tmp");
    ASSERT_TRUE(InitialiseBuffer(buffer, 1048576));
    EXPECT_EQ(buffer.Length(), 1048576u);
    // 255 x 1048576
    EXPECT_EQ(ChecksumText(*Checksum(buffer.Path(), 1048575, 0xFF)), "0FF00000");
    ASSERT_TRUE(InitialiseBuffer(buffer, 100000));  // not a multiple of the fill block
    EXPECT_EQ(buffer.Length(), 100000u);
    EXPECT_EQ(*Checksum(buffer.Path(), 99999, 0), 255u * 100000u);
    ASSERT_TRUE(EmptyBuffer(buffer));
    EXPECT_EQ(buffer.Length(), 0u);
    EXPECT_EQ(buffer.ScratchPath(), dir / "output.tmp.temp");
}

// A new buffer that cannot be written whole (no room, a full disk) changes nothing: the old
// image stays, no partial file is left, and a size the disk cannot hold is refused at once.
TEST(BufferFile, AFailedInitialisationKeepsTheOldBuffer) {
    TempDir dir;
    const BufferFile buffer(dir / "output.tmp");
    const std::string old = std::string(300, 'A');
    dir.Write("output.tmp", old);
    std::string reason;
    EXPECT_FALSE(buffer.Initialise(std::uint64_t{1} << 60, &reason));  // an exabyte
    EXPECT_NE(reason.find("does not fit"), std::string::npos);
    {
        const test::FileSizeLimit diskFull(4096);
        EXPECT_FALSE(buffer.Initialise(1 << 20, &reason));
    }
    EXPECT_NE(reason.find("could not be written"), std::string::npos);
    EXPECT_EQ(test::ReadFile(buffer.Path()), old);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1u);
}

TEST(Checksum, SumsBytesWithFillBeyondTheEndAndWraps) {
    TempDir dir;
    EXPECT_EQ(ChecksumText(*Checksum(dir.Write("abc", "abc"), 2, 0xFF)), "00000126");
    // Missing bytes count as the fill byte; with fill 00 they add nothing.
    const auto shortFile = dir.Write("short", std::string(10, '\x01'));
    EXPECT_EQ(*Checksum(shortFile, 99, 0x00), 10u);
    EXPECT_EQ(*Checksum(shortFile, 99, 0xFF), 10u + 90u * 255u);
    // Only part of a file: last index below its end.
    EXPECT_EQ(*Checksum(shortFile, 3, 0xFF), 4u);
    // 255 x 0x1010102 = 0x1000000FE: only the low 32 bits are kept.
    EXPECT_EQ(ChecksumText(*Checksum(dir.Write("empty", ""), 0x1010101, 0xFF)), "000000FE");
    EXPECT_EQ(Checksum(dir / "missing", 0, 0), std::nullopt);
}

TEST(Checksum, VectorSumMatchesAPlainSumAtEveryAlignmentAndLength) {
    std::vector<std::uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    for (std::size_t start : {0, 1, 15}) {
        for (std::size_t length : {0, 1, 63, 64, 65, 200, 985}) {
            const std::uint64_t plain = std::accumulate(
                bytes.begin() + start, bytes.begin() + start + length, std::uint64_t{0});
            EXPECT_EQ(SumOfBytes({bytes.data() + start, length}), plain) << start << " " << length;
        }
    }
}

TEST(Checksum, RangeSumsCountFromTheFirstByte) {
    TempDir dir;
    const BufferFile buffer(dir / "output.tmp");
    ASSERT_TRUE(InitialiseBuffer(buffer, 0x200));
    EXPECT_EQ(SumFileBytes(buffer.Path(), 0x100, 0x100, 0xFF), 0xFF00u);
    // Past the end the bytes count as the fill byte.
    EXPECT_EQ(SumFileBytes(buffer.Path(), 0x1F0, 0x20, 0x01), 0xFFu * 0x10 + 0x10);
}

TEST(BufferBlocks, ReadsPadPastTheEndAndWritesInPlace) {
    TempDir dir;
    const auto path = dir.Write("output.tmp", "0123");
    BufferBlockWriter writer(path);
    ASSERT_TRUE(writer.IsOpen());
    const std::uint8_t data[] = {'x', 'y'};
    ASSERT_TRUE(writer.Write(1, data));
    ASSERT_TRUE(writer.Close());
    const BufferBlockReader reader(path);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.Length(), 4u);
    std::uint8_t block[6];
    ASSERT_TRUE(reader.Read(2, block));
    EXPECT_EQ(test::Bytes(block, block + 6), (test::Bytes{'y', '3', 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(BufferBlockWriter(dir / "never-created").IsOpen());
    EXPECT_FALSE(std::filesystem::exists(dir / "never-created"));
}

// A FIFO in the buffer's place (or the scratch file's) is refused by every access, before any
// open that would wait for the other end of it; the reason says what is there.
TEST(BufferFile, EveryAccessRefusesAFifoInItsPlaceWithoutBlocking) {
    TempDir dir;
    const BufferFile buffer(dir / "output.tmp");
    test::MakeFifo(buffer.Path());
    const std::string named = buffer.Path().string() + " is not a regular file (a FIFO)";
    const std::vector<std::pair<std::string, std::function<std::string()>>> accesses = {
        {"empty at closing",
         [&] { return EmptyBuffer(buffer) ? std::string("emptied") : std::string(named); }},
        {"program, verify, save", [&] { return BufferBlockReader(buffer.Path()).Problem(); }},
        {"read into it", [&] { return BufferBlockWriter(buffer.Path()).Problem(); }},
        {"checksum",
         [&] {
             std::string problem;
             return Checksum(buffer.Path(), 255, 0xFF, nullptr, &problem) ? "summed" : problem;
         }},
        {"detect", [&] { return DetectHex(HexFormat::Intel, buffer.Path()) ? "detected" : named; }},
    };
    for (const auto& [what, access] : accesses) {
        std::string result;
        ASSERT_TRUE(test::ReturnsWithoutBlocking(buffer.Path(), [&] { result = access(); }))
            << what;
        EXPECT_EQ(result, named) << what;
    }
    EXPECT_EQ(std::filesystem::status(buffer.Path()).type(), std::filesystem::file_type::fifo);
}

// A long sum reports how far it has come, in bytes of the range, without starting or ending a
// job of its own.
TEST(Checksum, ALongSumReportsItsProgress) {
    TempDir dir;
    const auto file = dir / "sparse.bin";
    test::WriteSparseFile(file, 20 << 20);
    test::RecordingProgress progress;
    EXPECT_EQ(Checksum(file, (20 << 20) - 1, 0xFF, &progress), 0u);
    EXPECT_EQ(progress.begins, 0);
    EXPECT_EQ(progress.ends, 0);
    ASSERT_FALSE(progress.reports.empty());
    std::uint64_t last = 0;
    for (const auto& [done, total] : progress.reports) {
        EXPECT_EQ(total, 20u << 20);
        EXPECT_GT(done, last);
        last = done;
    }
}

}  // namespace
}  // namespace torq
