#include "torq/devlib/Ini.h"

#include <gtest/gtest.h>

#include <optional>

#include <sys/stat.h>

#include "TestSupport.h"

namespace torq {
namespace {

TEST(ParseIniInteger, FollowsTheProfileNumberRules) {
    struct Case {
        const char* text;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {
        {"0x20", 32},
        {"32", 32},
        {"0X1f", 31},
        {"$1F", 31},
        {"-1", -1},
        {" 12 ", 12},
        {"+7", 7},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"12abc", std::nullopt},
        {"1 2", std::nullopt},
        {"0xFFFFFFFF", -1},
        {"0xFFFFFF00", static_cast<std::int32_t>(0xFFFFFF00)},
        {"0x100000000", std::nullopt},
        {"2147483647", 2147483647},
        {"2147483648", std::nullopt},
        {"-2147483648", INT32_MIN},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIniInteger(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(NumberedKey, IsAtLeastFourUpperCaseHexDigits) {
    EXPECT_EQ(NumberedKey(1), "0001");
    EXPECT_EQ(NumberedKey(10), "000A");
    EXPECT_EQ(NumberedKey(16), "0010");
    EXPECT_EQ(NumberedKey(0x12345), "12345");
}

TEST(IniFile, ReadsWithProfileSemantics) {
    test::TempDir dir;
    const auto path = dir.Write("a.ini",
                                "[Machine]\r\nType =  TORQ-SPI  \r\nCount=0x20\r\nBad=abc\r\n"
                                "Eq=a=b\r\n[machine]\r\ntype=second\r\n[Other]\nFlag=0\n");
    const IniFile ini(path);
    EXPECT_TRUE(ini.FileExists());
    EXPECT_EQ(ini.ReadString("MACHINE", "type"), "TORQ-SPI");  // first occurrence wins
    EXPECT_EQ(ini.ReadString("Machine", "Eq"), "a=b");         // split at the first '='
    EXPECT_EQ(ini.ReadInteger("Machine", "count", 7), 32);
    EXPECT_EQ(ini.ReadInteger("Machine", "Bad", 7), 7);
    EXPECT_EQ(ini.ReadInteger("Machine", "Missing", 7), 7);
    EXPECT_FALSE(ini.ReadBool("other", "flag", true));
    EXPECT_TRUE(ini.ReadBool("other", "none", true));
    EXPECT_EQ(ini.ReadString("Nowhere", "x", "dflt"), "dflt");

    const IniFile missing(dir / "none.ini");
    EXPECT_FALSE(missing.FileExists());
    EXPECT_EQ(missing.ReadInteger("a", "b", 5), 5);
}

TEST(IniFile, UsesAtMost2047CharactersOfAValue) {
    test::TempDir dir;
    const std::string longValue(100000, 'x');
    const IniFile ini(dir.Write("long.ini", "[S]\nK=" + longValue + "\nNext=1\n"));
    EXPECT_EQ(ini.ReadString("S", "K").size(), kIniValueLimit);
    EXPECT_EQ(ini.ReadInteger("S", "Next", 0), 1);
}

TEST(IniFile, WritingKeepsOtherSectionsAndLeavesNoTemporaryFile) {
    test::TempDir dir;
    const auto path =
        dir.Write("History.ini", "; kept\r\n[Unit1]\r\nDevice1=W25Q64\r\n[Option]\r\nOld=1\r\n");
    IniFile ini(path);
    ini.WriteInteger("option", "ResetTime_Text", 500);
    ini.WriteString("Option", "old", "2");
    ASSERT_TRUE(ini.Save());

    const IniFile again(path);
    EXPECT_EQ(again.ReadString("Unit1", "Device1"), "W25Q64");
    EXPECT_EQ(again.ReadInteger("Option", "ResetTime_Text", 0), 500);
    EXPECT_EQ(again.ReadInteger("Option", "Old", 0), 2);
    EXPECT_NE(test::ReadFile(path).find("; kept"), std::string::npos);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(IniFile, SaveReportsAFileThatCannotBeWritten) {
    test::TempDir dir;
    IniFile ini(dir / "missing-folder" / "x.ini");
    ini.WriteString("S", "K", "v");
    EXPECT_FALSE(ini.Save());

    // A file marked read-only keeps its contents and its mark, even where the folder would let
    // a new version take its place; a staged version that is never committed leaves nothing.
    const auto path = dir.Write("History.ini", "[S]\nK=old\n");
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
    IniFile readOnly(path);
    readOnly.WriteString("S", "K", "new");
    EXPECT_FALSE(readOnly.Save());
    EXPECT_NE(readOnly.SaveError().find("is read-only"), std::string::npos);
    EXPECT_EQ(test::ReadFile(path), "[S]\nK=old\n");
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    {
        StagedFile staged;
        IniFile writable(path);
        writable.WriteString("S", "K", "new");
        ASSERT_TRUE(writable.Stage(staged));
        EXPECT_EQ(test::ReadFile(path), "[S]\nK=old\n");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
    IniFile fresh = IniFile::Fresh(path);
    fresh.WriteString("T", "K", "1");
    ASSERT_TRUE(fresh.Save());
    EXPECT_EQ(test::ReadFile(path), "[T]\nK=1\n");
}

TEST(IniFile, WritingChangesOnlyTheLinesOfTheKeysWritten) {
    test::TempDir dir;
    const std::string original =
        "; library comment\r\n[Device1]\r\nVendor = Winbond\r\nnot a key line\r\n"
        "Type=W25Q64\r\ntype=second\r\n\r\n[Option]\r\nResetTime_Text=500\r\n"
        "# trailing comment";
    const auto path = dir.Write("History.ini", original);
    IniFile ini(path);
    ini.WriteString("device1", "VENDOR", "Macronix");
    ini.WriteString("Device1", "Socket1File", "/data/a.bin");
    ini.WriteInteger("Device2", "Socket1Format", 1);
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(test::ReadFile(path),
              "; library comment\r\n[Device1]\r\nVendor=Macronix\r\nnot a key line\r\n"
              "Type=W25Q64\r\ntype=second\r\nSocket1File=/data/a.bin\r\n\r\n[Option]\r\n"
              "ResetTime_Text=500\r\n# trailing comment\r\n[Device2]\r\nSocket1Format=1\r\n");

    // A value can never add lines of its own.
    ini.WriteString("Device1", "Socket1File", "a\r\n[Option]\nResetTime_Text=9");
    ASSERT_TRUE(ini.Save());
    const IniFile again(path);
    EXPECT_EQ(again.ReadInteger("Option", "ResetTime_Text", 0), 500);
    EXPECT_EQ(again.Sections(), (std::vector<std::string>{"Device1", "Option", "Device2"}));
}

TEST(IniFile, AFileNotReadWholeIsReadButNeverRewritten) {
    test::TempDir dir;
    // One NUL byte after [Device1]: what comes before it is read; a write leaves the file as it
    // is, [Option] and the later sections included.
    using namespace std::string_literals;
    const std::string withNul =
        "[Device1]\r\nVendor=Winbond\r\n\0\r\n[Option]\r\nResetTime_Text=700\r\n"
        "[Device2]\r\nType=X\r\n"s;
    ASSERT_EQ(withNul.find('\0'), 27u);
    const auto path = dir.Write("History.ini", withNul);
    IniFile ini(path);
    EXPECT_EQ(ini.ReadString("Device1", "Vendor"), "Winbond");
    EXPECT_NE(ini.ReadProblem().find("NUL byte at offset 27"), std::string::npos);
    ini.WriteString("Device1", "Vendor", "Macronix");
    EXPECT_FALSE(ini.Save());
    EXPECT_NE(ini.SaveError().find("not rewritten"), std::string::npos);
    EXPECT_EQ(test::ReadFile(path), withNul);

    // Too large, or not a regular file: read as empty, and refused the same way.
    const auto large = dir.Write("large.ini", "[S]\nK=1\n" + std::string(kSmallFileLimit, ';'));
    IniFile big(large);
    EXPECT_FALSE(big.HasKey("S", "K"));
    EXPECT_NE(big.ReadProblem().find("larger than"), std::string::npos);
    big.WriteString("S", "K", "2");
    EXPECT_FALSE(big.Save());
    EXPECT_EQ(std::filesystem::file_size(large), kSmallFileLimit + 8);

    IniFile folder(dir.Path());
    EXPECT_TRUE(folder.FileExists());
    EXPECT_NE(folder.ReadProblem().find("not a regular file"), std::string::npos);
    EXPECT_FALSE(folder.Save());
}

TEST(ReadSmallFile, RefusesWhatIsNotARegularFileWithoutReadingIt) {
    test::TempDir dir;
    const auto fifo = dir / "Select.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::filesystem::path path;
        std::string kind;
    } cases[] = {{fifo, "a FIFO"}, {"/dev/zero", "a character device"}};
    for (const auto& c : cases) {
        SmallFile file;
        ASSERT_TRUE(test::ReturnsWithoutBlocking(fifo, [&] { file = ReadSmallFile(c.path); }));
        EXPECT_TRUE(file.exists) << c.path;
        EXPECT_TRUE(file.contents.empty()) << c.path;
        // The line says what is there.
        EXPECT_EQ(file.problem, c.path.string() + " is not a regular file (" + c.kind + ")");
    }
    const SmallFile missing = ReadSmallFile(dir / "none.ini");
    EXPECT_FALSE(missing.exists);
    EXPECT_TRUE(missing.problem.empty());
    const SmallFile small = ReadSmallFile(dir.Write("a.ini", "12345"), 4);
    EXPECT_TRUE(small.contents.empty());
    EXPECT_FALSE(small.problem.empty());
    EXPECT_EQ(ReadSmallFile(dir / "a.ini", 5).contents, "12345");
}

TEST(IniFile, SurvivesHostileFiles) {
    test::TempDir dir;
    std::string junk;
    for (int i = 0; i < 200000; ++i)
        junk.push_back(static_cast<char>((i * 7919) % 256));
    const std::string hostile[] = {
        junk,
        "[S]\n" + std::string(100 * 1024, '=') + "\n",
        "[S]\nK=1\n[S]\nK=2\n[S\nK=3\n=value\n[]\n",
        std::string("[S]\nK=1\0\n[T]\nX=2\n", 18),
    };
    for (const auto& contents : hostile) {
        const IniFile ini(dir.Write("h.ini", contents));
        (void)ini.ReadString("S", "K");
        (void)ini.ReadInteger("T", "X", 0);
        (void)ini.Keys("S");
    }
    const IniFile dup(dir.Write("d.ini", "[S]\nK=1\n[S]\nK=2\n"));
    EXPECT_EQ(dup.ReadInteger("S", "K", 0), 1);
}

}  // namespace
}  // namespace torq
