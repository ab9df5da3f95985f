// Cross-checks with SRecord's srec_cat, an independent implementation of the formats: files it
// writes decode to the image it reads from them, and files our writers produce read back to the
// bytes saved.
#include <gtest/gtest.h>

#include <random>

#include "HexFixtures.h"
#include "torq/buffer/BufferFile.h"
#include "torq/buffer/Save.h"

namespace torq {
namespace {

using test::Bytes;
using test::TempDir;

bool HaveSrecCat() {
    return test::RunCommand("srec_cat -version").exitCode == 0;
}

std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

void RunTool(const std::string& command) {
    const auto result = test::RunCommand(command);
    ASSERT_EQ(result.exitCode, 0) << command << "\n" << result.err;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& b : bytes)
        b = static_cast<char>(random());
    return bytes;
}

struct SrecCatCase {
    const char* name;
    HexFormat format;
    const char* srecFormat;     // srec_cat's output options
    const char* srecReader;     // srec_cat's input option
    std::uint64_t secondPiece;  // where the second piece of data goes (a gap before it)
};

TEST(SrecCatCross, FilesWrittenBySrecCatDecodeToTheSameImage) {
    if (!HaveSrecCat())
        GTEST_SKIP() << "srec_cat is not installed";
    // Addresses stay where our rules agree with the formats' (S1 below 0x4000, S2 below 0x400000,
    // plain Tektronix within 16 bits).
    const SrecCatCase cases[] = {
        {"intel linear", HexFormat::Intel, "-intel", "-intel", 0x23456},
        {"intel segment", HexFormat::Intel, "-intel --address-length=3", "-intel", 0x54321},
        {"motorola S1", HexFormat::Motorola, "-motorola --address-length=2", "-motorola", 0x3000},
        {"motorola S2", HexFormat::Motorola, "-motorola --address-length=3", "-motorola", 0x123456},
        {"motorola S3", HexFormat::Motorola, "-motorola --address-length=4", "-motorola",
         0x1234567},
        {"tektronix", HexFormat::Tektronix, "-tektronix", "-tektronix", 0x9000},
        {"tektronix extended", HexFormat::Tektronix, "-tektronix-extended", "-tektronix-extended",
         0x234567},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::size_t firstSize = 0xF00, secondSize = 0x777;
        const auto first = dir.Write("first.bin", RandomBytes(firstSize, 1));
        const auto second = dir.Write("second.bin", RandomBytes(secondSize, 2));
        const auto hex = dir / "data.hex";
        const auto reference = dir / "reference.bin";
        const std::uint64_t end = c.secondPiece + secondSize;
        RunTool("srec_cat " + Quote(first) + " -binary -offset 0x10 " + Quote(second) +
                " -binary -offset " + std::to_string(c.secondPiece) + " -o " + Quote(hex) + " " +
                c.srecFormat);
        // srec_cat's image of the file, holes filled with FF from address 0.
        RunTool("srec_cat " + Quote(hex) + " " + c.srecReader + " -fill 0xFF 0 " +
                std::to_string(end) + " -o " + Quote(reference) + " -binary");

        EXPECT_TRUE(DetectHex(c.format, hex));
        DecodeRequest request;
        request.source = hex;
        request.scratch = dir / "output.tmp.temp";
        const DecodeResult result = DecodeHex(c.format, request);
        ASSERT_TRUE(result.ok);
        EXPECT_EQ(result.endAddress, end - 1);
        EXPECT_TRUE(test::ReadFile(request.scratch) == test::ReadFile(reference));
    }
}

TEST(SrecCatCross, FilesOurWritersProduceReadBackToTheSavedBytes) {
    if (!HaveSrecCat())
        GTEST_SKIP() << "srec_cat is not installed";
    TempDir dir;
    const std::size_t size = 0x30000;
    const std::string image = RandomBytes(size, 3);
    const auto buffer = dir.Write("output.tmp", image);
    struct Case {
        SaveFormat format;
        const char* srecReader;
        std::uint64_t start, end;
    };
    const Case cases[] = {
        {SaveFormat::IntelHex, "-intel", 0x100, 0x2FFFF},
        {SaveFormat::MotorolaS1, "-motorola", 0x1234, 0x1234 + 0xFFFF},
        {SaveFormat::MotorolaS2, "-motorola", 5, 0xFFFF},
        {SaveFormat::MotorolaS3, "-motorola", 0, size - 1},
        {SaveFormat::TektronixHex, "-tektronix", 0x20000, 0x2FFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(SaveFormatCaption(c.format)));
        const auto saved = dir / "saved.txt";
        const auto readBack = dir / "read-back.bin";
        ASSERT_TRUE(WriteBufferRange(buffer, c.start, c.end, c.format, saved));
        RunTool("srec_cat " + Quote(saved) + " " + c.srecReader + " -o " + Quote(readBack) +
                " -binary");
        EXPECT_TRUE(test::ReadFile(readBack) == image.substr(c.start, c.end - c.start + 1));
    }
}

}  // namespace
}  // namespace torq
