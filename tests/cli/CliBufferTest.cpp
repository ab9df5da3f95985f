#include <gtest/gtest.h>

#include "TestSupport.h"
#include "torq/devlib/HomeLock.h"

namespace torq {
namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A one-device library (256 bytes), unit 1's selection in History.ini and its erased buffer.
class CliBufferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        home.Write("Select.ini",
                   "[Machine]\r\nType=TORQ-SPI\r\n[Vendor]\r\nValue=1\r\n0001=Acme\r\n"
                   "[Acme]\r\nValue=1\r\n0001=T256\r\nT256=t256.ini\r\n");
        home.Write("Ini/t256.ini",
                   "[TORQ-SPI_ExternValue]\r\nBRAND=Acme\r\nNAME=T256\r\n"
                   "max_address_Hi=0x00\r\nmax_address_Low=0x0100\r\n");
        home.Write("History.ini", "[Device1]\r\nVendor=Acme\r\nType=T256\r\n");
        home.Write("output.tmp", std::string(256, '\xFF'));
    }
    // With a time limit in seconds, a command still running then is ended (exit code 137).
    test::CommandResult Run(const std::string& args, int limit = 0) {
        const std::string prefix =
            limit > 0 ? "timeout -s KILL " + std::to_string(limit) + " " : "";
        return test::RunCommand(prefix + test::CliPath() + " --home " + home.Path().string() + " " +
                                args);
    }
    test::TempDir home;
};

TEST_F(CliBufferTest, LoadsChecksumsAndSavesTheBuffer) {
    const auto hex = home.Write("image.hex", ":03001000010203E7\n:00000001FF\n");
    const auto load = Run("load " + hex.string());
    ASSERT_EQ(load.exitCode, 0) << load.err;
    EXPECT_TRUE(Has(load.out, " : File Name : " + hex.string() + "\n")) << load.out;
    EXPECT_TRUE(Has(load.out, " : Downloaded file is Intel Hex file !\n"));
    EXPECT_TRUE(Has(load.out, " : IC checksum=0x0000FC09\n"));  // 253 x FF + 1 + 2 + 3

    const auto checksum = Run("checksum");
    ASSERT_EQ(checksum.exitCode, 0) << checksum.err;
    EXPECT_TRUE(Has(checksum.out, " : IC checksum=0x0000FC09\n"));
    EXPECT_TRUE(
        Has(Run("checksum --start 10 --end 12").out, "Checksum 00000010-00000012=0x00000006"));

    const auto saved = home / "part.s19";
    const auto save = Run("save " + saved.string() + " --format s1 --start 10 --end 13");
    ASSERT_EQ(save.exitCode, 0) << save.err;
    EXPECT_EQ(test::ReadFile(saved), "S0030000FC\r\nS1070000010203FFF3\r\nS9030000FC\r\n");
    // Overwriting asks; without an answer the command fails and the file stays.
    const auto again = Run("save " + saved.string() + " --format bin --start 10 --end 13");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_TRUE(Has(again.err, "File is Exist ! Are sure to save ?"));
    EXPECT_EQ(Run("save " + saved.string() + " --format bin --start 10 --end 13 --yes").exitCode,
              0);
    EXPECT_EQ(test::ReadFile(saved), "\x01\x02\x03\xFF");
}

TEST_F(CliBufferTest, QuestionsNeedAnAnswerAndBadFilesLeaveTheBuffer) {
    const auto big = home.Write("big.bin", std::string(300, 'A'));
    const auto unanswered = Run("load " + big.string());
    EXPECT_EQ(unanswered.exitCode, 1);
    EXPECT_TRUE(Has(unanswered.err, "bigger than the IC size , Do you really want to continue ?"));
    EXPECT_TRUE(Has(unanswered.err, "--yes or --no"));
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), std::string(256, '\xFF'));

    const auto truncated = Run("load " + big.string() + " --yes --fill 00");
    ASSERT_EQ(truncated.exitCode, 0) << truncated.err;
    EXPECT_TRUE(Has(truncated.out, "The file size is bigger than the IC size !"));
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), std::string(256, 'A'));

    const auto broken = home.Write("broken.hex", ":03001000010203E7\n:030013000405");
    const auto refused = Run("load " + broken.string() + " --format intel");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(Has(refused.out, "Intel Hex file format error !"));
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), std::string(256, 'A'));

    EXPECT_EQ(Run("load " + big.string() + " --fill 1 --no-fill").exitCode, 2);
    EXPECT_EQ(Run("load " + big.string() + " --dest XYZ").exitCode, 2);
}

// A FIFO named for load, or in the buffer's place, is refused with a line that says what it is
// (each command limited in time: a blocking open would hang it).
TEST_F(CliBufferTest, AFifoIsRefusedWithALineThatSaysWhatItIs) {
    const auto fifo = home / "firmware.bin";
    test::MakeFifo(fifo);
    const auto named = Run("load " + fifo.string(), 20);
    EXPECT_EQ(named.exitCode, 2);
    EXPECT_TRUE(Has(named.err, fifo.string() + " is not a regular file (a FIFO)")) << named.err;

    const auto image = home.Write("image.bin", "0123");
    test::MakeFifo(home / "output.tmp");
    const auto buffer = Run("load " + image.string(), 20);
    EXPECT_EQ(buffer.exitCode, 1);
    EXPECT_TRUE(Has(buffer.out, "Error : The buffer file " + (home / "output.tmp").string() +
                                    " is not a regular file (a FIFO), nothing is loaded !"))
        << buffer.out << buffer.err;
}

// A file far larger than the device is read only after a Yes; --no refuses it, and without an
// answer the command fails, both before the file is read.
TEST_F(CliBufferTest, AFileFarLargerThanTheDeviceIsLoadedOnlyOnYes) {
    const auto disk = home / "disk.img";
    test::WriteSparseFile(disk, (64 << 20) + 1);
    const std::string load = "load " + disk.string() + " --src-end F ";
    const auto unanswered = Run(load);
    EXPECT_EQ(unanswered.exitCode, 1);
    EXPECT_TRUE(Has(unanswered.err, "is 64.0 MiB, far bigger than the IC size of 256 bytes"))
        << unanswered.err;
    EXPECT_TRUE(Has(unanswered.err, "--yes or --no"));
    EXPECT_FALSE(Has(unanswered.out, "File Name"));

    const auto refused = Run(load + "--no");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(Has(refused.out, disk.string() + " is far bigger than the IC size, nothing is "
                                                 "loaded !"))
        << refused.out;
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), std::string(256, '\xFF'));

    const auto loaded = Run(load + "--yes");
    ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
    EXPECT_TRUE(Has(loaded.out, "File checksum=0x00000000"));
    EXPECT_EQ(test::ReadFile(home / "output.tmp"),
              std::string(16, '\0') + std::string(240, '\xFF'));
}

TEST_F(CliBufferTest, ClampedAndRefusedValuesAreToldAndTheBufferIsNeverTheSaveTarget) {
    const auto small = home.Write("small.bin", std::string(16, 'B'));
    const auto clamped = Run("load " + small.string() + " --dest 1000 --yes");
    ASSERT_EQ(clamped.exitCode, 0) << clamped.err;
    EXPECT_TRUE(Has(clamped.err,
                    "--dest 1000 lies beyond the device's last address 000000FF; "
                    "000000FF is used"))
        << clamped.err;
    const auto byteOnly = Run("load " + small.string() + " --fill 1FF");
    EXPECT_EQ(byteOnly.exitCode, 2);
    EXPECT_TRUE(Has(byteOnly.err, "--fill takes one byte"));

    const std::string image = test::ReadFile(home / "output.tmp");
    const auto onto = Run("save " + (home / "output.tmp").string() + " --format bin --yes");
    EXPECT_EQ(onto.exitCode, 1);
    EXPECT_TRUE(Has(onto.err, "cannot be saved onto itself"));
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), image);
}

// While one process writes the home folder, a second one is refused at once and says who holds
// the folder, instead of interleaving its writes.
TEST_F(CliBufferTest, ASecondWriterIsRefusedWhileTheFolderIsHeld) {
    const auto small = home.Write("small.bin", std::string(16, 'B'));
    std::string problem;
    auto held = HomeLock::Acquire(ProgramDirectory::Portable(home.Path()), "the test", &problem);
    ASSERT_TRUE(held) << problem;
    const auto refused = Run("load " + small.string());
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(Has(refused.err, "is in use by the test (process ")) << refused.err;
    EXPECT_EQ(test::ReadFile(home / "output.tmp"), std::string(256, '\xFF'));
    held.reset();
    EXPECT_EQ(Run("load " + small.string()).exitCode, 0);
}

TEST_F(CliBufferTest, WithoutASelectedDeviceTheCommandsSaySo) {
    home.Write("History.ini", "[Option]\r\n");
    const auto result = Run("checksum");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(Has(result.err, "no device selected: run 'torq-spi-cli select VENDOR TYPE' first"));
}

}  // namespace
}  // namespace torq
