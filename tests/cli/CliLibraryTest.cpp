#include <gtest/gtest.h>

#include "TestSupport.h"

namespace torq {
namespace {

class CliLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override { test::CopySampleLibrary(home.Path()); }
    test::CommandResult Run(const std::string& args) {
        return test::RunCommand(test::CliPath() + " --home " + home.Path().string() + " " + args);
    }
    test::TempDir home;
};

TEST_F(CliLibraryTest, ListsTheLibraryAndPrintsADevice) {
    const auto library = Run("library");
    ASSERT_EQ(library.exitCode, 0) << library.err;
    EXPECT_NE(library.out.find("Identity: TORQ-SPI"), std::string::npos);
    EXPECT_NE(library.out.find("Winbond:"), std::string::npos);

    const auto device = Run("device Winbond W25Q128FV");
    ASSERT_EQ(device.exitCode, 0) << device.err;
    EXPECT_NE(device.out.find("DeviceSize = 16777216 (0x1000000)"), std::string::npos);
    EXPECT_NE(device.out.find("NAME = W25Q128FV"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(home / "Menu.ini"));  // looking a device up writes nothing
}

TEST_F(CliLibraryTest, BadUsageAndBadLibrariesExitWithTwo) {
    EXPECT_EQ(Run("device Winbond NoSuchChip").exitCode, 2);
    EXPECT_EQ(Run("frobnicate").exitCode, 2);
    test::TempDir empty;
    const auto refused =
        test::RunCommand(test::CliPath() + " --home " + empty.Path().string() + " library");
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("Device Library is incorrect ."), std::string::npos);
}

}  // namespace
}  // namespace torq
