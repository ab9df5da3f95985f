#include "torq/devlib/ProgramDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "TestSupport.h"

namespace torq {
namespace {

TEST(ResolveLibraryPath, AcceptsBackslashesAndAnyLetterCase) {
    test::TempDir dir;
    const auto file = dir.Write("Menu/W25Q_SR1.ini", "x");
    EXPECT_EQ(ResolveLibraryPath(dir.Path(), "Menu\\W25Q_SR1.ini"), file);
    EXPECT_EQ(ResolveLibraryPath(dir.Path(), "menu\\w25q_sr1.INI"), file);
    EXPECT_EQ(ResolveLibraryPath(dir.Path(), "MENU/w25q_sr1.ini"), file);
    // Nothing matches: the path as written (with '/'), which does not exist.
    EXPECT_EQ(ResolveLibraryPath(dir.Path(), "Menu\\none.ini"), dir.Path() / "Menu" / "none.ini");
}

TEST(ProgramDirectory, HomeAndEnvironmentPointBothFoldersAtOnePlace) {
    test::TempDir dir;
    const auto home = ProgramDirectory::Locate(dir.Path(), "/nonexistent");
    EXPECT_EQ(home.LibraryFolder(), dir.Path());
    EXPECT_EQ(home.DataFolder(), dir.Path());
    EXPECT_EQ(home.BufferFile(), dir.Path() / "output.tmp");
    EXPECT_EQ(home.ScratchFile(), dir.Path() / "output.tmp.temp");

    ::setenv("TORQ_SPI_HOME", dir.Path().c_str(), 1);
    const auto env = ProgramDirectory::Locate(std::nullopt, "/nonexistent");
    ::unsetenv("TORQ_SPI_HOME");
    EXPECT_EQ(env.HistoryIni(), dir.Path() / "History.ini");
}

TEST(ProgramDirectory, PortableWhenTheExecutableFolderHoldsTheLibraryElseInstalled) {
    test::TempDir dir;
    dir.Write("bin/select.INI", "[Machine]\n");
    ::unsetenv("TORQ_SPI_HOME");
    const auto portable = ProgramDirectory::Locate(std::nullopt, dir / "bin");
    EXPECT_EQ(portable.DataFolder(), dir / "bin");
    EXPECT_EQ(portable.SelectIni(), dir / "bin" / "select.INI");

    ::setenv("XDG_DATA_HOME", (dir / "xdg").c_str(), 1);
    const auto installed = ProgramDirectory::Locate(std::nullopt, dir / "prefix" / "bin");
    EXPECT_EQ(installed.LibraryFolder(), dir / "prefix" / "share" / "torq-spi");
    EXPECT_EQ(installed.DataFolder(), dir / "xdg" / "torq-spi");
    EXPECT_TRUE(installed.EnsureDataFolder());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "xdg" / "torq-spi"));
}

}  // namespace
}  // namespace torq
