#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "DesktopTestSupport.h"
#include "torq/desktop/Xdg.h"

namespace torq {
namespace {

namespace fs = std::filesystem;

// Sets (or unsets) an environment variable for the scope of a test.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(XdgFolders, EnvironmentWithFallbacksAndRelativeValuesIgnored) {
    {
        ScopedEnv home("HOME", "/home/op");
        ScopedEnv data("XDG_DATA_HOME", "relative/data");
        ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
        ScopedEnv dirs("XDG_DATA_DIRS", "/opt/share::relative:/usr/share");
        const XdgFolders folders = XdgFolders::FromEnvironment();
        EXPECT_EQ(folders.dataHome, "/home/op/.local/share");
        EXPECT_EQ(folders.configHome, "/cfg");
        EXPECT_EQ(folders.dataDirs, (std::vector<fs::path>{"/opt/share", "/usr/share"}));
        EXPECT_EQ(folders.MimeAppsList(), "/cfg/mimeapps.list");
        EXPECT_EQ(folders.Applications(), "/home/op/.local/share/applications");
    }
    {
        ScopedEnv home("HOME", std::nullopt);
        ScopedEnv data("XDG_DATA_HOME", std::nullopt);
        ScopedEnv config("XDG_CONFIG_HOME", "");
        ScopedEnv dirs("XDG_DATA_DIRS", std::nullopt);
        const XdgFolders folders = XdgFolders::FromEnvironment();
        EXPECT_TRUE(folders.dataHome.empty());
        EXPECT_TRUE(folders.configHome.empty());
        EXPECT_TRUE(folders.Applications().empty());
        EXPECT_TRUE(folders.MimeAppsList().empty());
        EXPECT_EQ(folders.dataDirs, (std::vector<fs::path>{"/usr/local/share", "/usr/share"}));
    }
}

TEST(DesktopEntryText, ExecLineQuotesEveryReservedCharacter) {
    const struct {
        const char* program;
        const char* exec;
    } cases[] = {
        {"/usr/bin/torq-spi", R"("/usr/bin/torq-spi" %f)"},
        {"/opt/My Tools/torq-spi", R"("/opt/My Tools/torq-spi" %f)"},
        // '"', '`' and '$' take one backslash inside the quotes; '%' is doubled.
        {"/a\"b`c$d%e/x", R"("/a\\"b\\`c\\$d%%e/x" %f)"},
        // A backslash is escaped by the quoting, then again as a string value: four of them.
        {"/a\\b/x", R"("/a\\\\b/x" %f)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExecLineForFile(c.program), c.exec) << c.program;
    EXPECT_EQ(DesktopEntryValue("a\nb\tc\\"), "a\\nb\\tc\\\\");
}

TEST(XmlText, EscapesRoundTripAndUnknownReferencesStay) {
    const std::string text = "a<b>&\"c'";
    EXPECT_EQ(XmlEscaped(text), "a&lt;b&gt;&amp;&quot;c&apos;");
    EXPECT_EQ(XmlUnescaped(XmlEscaped(text)), text);
    EXPECT_EQ(XmlUnescaped("&#x4E2D;&#25991; &nbsp; &#0; & &#xD800;"),
              "中文 &nbsp; &#0; & &#xD800;");
}

TEST(XmlText, Utf8Check) {
    EXPECT_TRUE(IsUtf8("plain"));
    EXPECT_TRUE(IsUtf8("燒錄檔 \xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsUtf8("\xC0\xAF"));      // overlong "/"
    EXPECT_FALSE(IsUtf8("\xED\xA0\x80"));  // surrogate
    EXPECT_FALSE(IsUtf8("abc\xE4\xB8"));   // cut short
    EXPECT_FALSE(IsUtf8("\xFF"));
}

TEST(XmlText, OnlyCharactersXmlAllows) {
    const struct {
        std::string text;
        bool allowed;
    } cases[] = {
        {"Intel HEX <&> \"'", true},
        {"tab\tline\nreturn\r", true},
        {"\xEF\xBF\xBD \xF0\x9F\x98\x80 \xC2\x85", true},  // U+FFFD, U+1F600, U+0085
        {"\xEF\xBF\xBE", false},                           // U+FFFE
        {"a\xEF\xBF\xBF", false},                          // U+FFFF
        {std::string("a\0b", 3), false},
        {"\x01", false},
        {"\x1F", false},
        {"\xED\xA0\x80", false},  // a surrogate is no UTF-8
        {"\xFF", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsXmlText(c.text), c.allowed) << ::testing::PrintToString(c.text);
}

TEST(MessageText, BytesThatAreNotUtf8AreSpelledOut) {
    EXPECT_EQ(TextForMessage("/opt/\xE4\xB8\xAD/x"), "/opt/\xE4\xB8\xAD/x");
    EXPECT_EQ(TextForMessage("/opt/b\xE4nch\xFF"), "/opt/b\\xE4nch\\xFF");
    EXPECT_EQ(TextForMessage("\xE4\xB8"), "\\xE4\\xB8");  // cut short
}

TEST(DesktopEntryText, ProgramPathsAnEntryCanName) {
    EXPECT_TRUE(IsDesktopEntryPath("/opt/My \"Tools\" $1 %f/\xE4\xB8\xAD/torq-spi"));
    EXPECT_FALSE(IsDesktopEntryPath("/opt/b\xE4nch/torq-spi"));
    EXPECT_FALSE(IsDesktopEntryPath("/opt/a\nb/torq-spi"));
    EXPECT_FALSE(IsDesktopEntryPath(""));
}

TEST(DesktopEntryText, KeyOfTheDesktopEntryGroup) {
    const std::string entry =
        "# Exec=comment\n"
        "[Other]\nExec=other\n"
        "[Desktop Entry]\r\n"
        "Exec[de]=localized\n"
        "Exec = \"/usr/bin/x\" %f\r\n"
        "Exec=second\n"
        "[Desktop Action new]\nExec=action\n";
    EXPECT_EQ(DesktopEntryKey(entry, "Exec"), "\"/usr/bin/x\" %f");
    EXPECT_EQ(DesktopEntryKey(entry, "Name"), std::nullopt);
    EXPECT_EQ(DesktopEntryKey("Exec=x\n[Desktop Entry]", "Exec"), std::nullopt);
    EXPECT_EQ(DesktopEntryKey("[Desktop Entry]\nExec=", "Exec"), "");
}

TEST(SystemDesktopTools, RunningProgramIsThisExecutable) {
    const fs::path program = RunningProgram("/fallback");
    EXPECT_TRUE(program.is_absolute());
    EXPECT_EQ(program.filename(), "desktop_tests");
    EXPECT_TRUE(fs::is_regular_file(program));
}

TEST(SystemDesktopTools, MissingAndFailingToolsAreNotErrors) {
    SystemDesktopTools tools;
    EXPECT_FALSE(tools.Run({"torq-no-such-tool-here"}));
    EXPECT_FALSE(tools.Run({"false"}));
    EXPECT_TRUE(tools.Run({"true"}));
    EXPECT_FALSE(tools.Run({}));
}

}  // namespace
}  // namespace torq
