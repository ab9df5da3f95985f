#include "torq/devlib/ProgramDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "TestSupport.h"
#include "torq/devlib/HomeLock.h"

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

TEST(ProgramDirectory, RefusesLibraryPathsThatLeadOutOfTheLibrary) {
    test::TempDir dir;
    const auto library = dir / "lib";
    const auto inside = dir.Write("lib/Menu/W25Q_SR1.ini", "x");
    dir.Write("lib/Drv/a.drv", "x");
    dir.Write("outside/p.ini", "x");
    std::filesystem::create_directory_symlink(dir / "outside", library / "Linked");
    std::filesystem::create_symlink(inside, library / "Menu" / "alias.ini");
    const auto dirs = ProgramDirectory::Portable(library);
    struct Case {
        const char* written;
        bool outside;
    };
    const Case cases[] = {
        {"..\\outside\\p.ini", true},
        {"Menu/../../outside/p.ini", true},
        {"../../../../etc/passwd", true},
        {"/../outside/p.ini", true},
        {"Linked\\p.ini", true},  // a link inside the library to a folder outside it
        {"Menu\\..\\menu\\w25q_sr1.INI", false},
        {"menu/ALIAS.ini", false},  // a link that stays inside
        {"Menu/none.ini", false},   // missing, but inside: the caller finds it missing
        {"Menu/x/../../../outside/p.ini", true},
    };
    for (const auto& c : cases) {
        bool outside = !c.outside;
        const auto path = dirs.LibraryFile(c.written, &outside);
        EXPECT_EQ(outside, c.outside) << c.written;
        EXPECT_EQ(path.empty(), c.outside) << c.written;
    }
    EXPECT_EQ(dirs.LibraryFile("MENU\\w25q_sr1.ini"), inside);
    // A name too long for the filesystem is missing, not outside, and asking about it never throws.
    const std::string tooLong = "Menu/" + std::string(300, 'x') + ".ini";
    bool longOutside = true;
    EXPECT_FALSE(dirs.LibraryFile(tooLong, &longOutside).empty());
    EXPECT_FALSE(longOutside);
    EXPECT_TRUE(dirs.LibraryFile("../" + std::string(300, 'x') + "/p.ini").empty());
    bool outside = false;
    EXPECT_TRUE(dirs.DeviceFile("../../outside/p.ini", &outside).empty());
    EXPECT_TRUE(outside);
    EXPECT_TRUE(dirs.DriverImage("../Linked/p.ini").empty());
}

TEST(ProgramDirectory, ARelativeHomeInADeletedCurrentFolderDoesNotThrow) {
    test::TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::create_directory(dir / "gone");
    ASSERT_EQ(::chdir((dir / "gone").c_str()), 0);
    std::filesystem::remove(dir / "gone");
    std::optional<ProgramDirectory> located;
    EXPECT_NO_THROW(located = ProgramDirectory::Locate(std::filesystem::path("rel"), "/none"));
    std::filesystem::current_path(previous);
    ASSERT_TRUE(located.has_value());
    EXPECT_EQ(located->LibraryFolder(), "rel");
}

// A holder that has taken the lock but not yet written its name is still named to the process it
// refuses; the name goes when the lock is let go.
TEST(HomeLock, TheRefusalNamesAHolderThatIsStillWritingItsName) {
    test::TempDir dir;
    const auto dirs = ProgramDirectory::Portable(dir.Path());
    const auto path = dir / std::string(kHomeLockFileName);
    const int holder = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    std::thread naming([holder] {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        const std::string line = "the slow holder (process 1)\n";
        EXPECT_EQ(::pwrite(holder, line.data(), line.size(), 0), static_cast<ssize_t>(line.size()));
    });
    std::string problem;
    EXPECT_FALSE(HomeLock::Acquire(dirs, "second", &problem).has_value());
    naming.join();
    EXPECT_NE(problem.find("is in use by the slow holder (process 1)"), std::string::npos)
        << problem;
    ::close(holder);

    {
        auto held = HomeLock::Acquire(dirs, "the test", &problem);
        ASSERT_TRUE(held.has_value()) << problem;
        EXPECT_EQ(test::ReadFile(path).rfind("the test (process ", 0), 0u) << test::ReadFile(path);
    }
    EXPECT_EQ(test::ReadFile(path), "");
}

// Readers share the folder; a writer waits for none of them and is refused while any holds it,
// and refuses them while it holds it, naming itself.
TEST(HomeLock, ReadersShareTheFolderAndAWriterExcludesAll) {
    test::TempDir dir;
    const auto dirs = ProgramDirectory::Portable(dir.Path());
    std::string problem;
    {
        auto first = HomeLock::Acquire(dirs, "reader 1", &problem, HomeAccess::Shared);
        auto second = HomeLock::Acquire(dirs, "reader 2", &problem, HomeAccess::Shared);
        ASSERT_TRUE(first && second) << problem;
        EXPECT_FALSE(HomeLock::Acquire(dirs, "writer", &problem, HomeAccess::Exclusive));
        EXPECT_NE(problem.find("is in use by torq-spi-cli commands reading it"), std::string::npos)
            << problem;
        first.reset();
        EXPECT_FALSE(HomeLock::Acquire(dirs, "writer", &problem, HomeAccess::Exclusive));
    }
    auto writer = HomeLock::Acquire(dirs, "the writer", &problem, HomeAccess::Exclusive);
    ASSERT_TRUE(writer) << problem;
    for (const HomeAccess access : {HomeAccess::Shared, HomeAccess::Exclusive}) {
        EXPECT_FALSE(HomeLock::Acquire(dirs, "other", &problem, access));
        EXPECT_NE(problem.find("is in use by the writer (process "), std::string::npos) << problem;
    }
    writer.reset();
    EXPECT_TRUE(HomeLock::Acquire(dirs, "reader", &problem, HomeAccess::Shared));
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
