#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "DesktopTestSupport.h"
#include "torq/desktop/SendTo.h"

namespace torq {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RecordingTools;
using test::ScriptedOperator;
using test::TempDir;

const fs::path kProgram = "/opt/bench tools/torq-spi";

TEST(SendToEntry, CheckingCreatesTheEntryUncheckingDeletesIt) {
    TempDir dir;
    RecordingTools tools;
    ScriptedOperator op;
    SendToEntry sendTo(test::ScratchFolders(dir), kProgram, tools);
    const fs::path entry = dir / "home/.local/share/applications/TORQ-SPI/TORQ-SPI.desktop";
    EXPECT_EQ(sendTo.EntryPath(), entry);

    ASSERT_TRUE(sendTo.Apply(true, op));
    const std::string text = ReadFile(entry);
    EXPECT_NE(text.find("\nName=Open with TORQ-SPI\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nExec=\"/opt/bench tools/torq-spi\" %f\n"), std::string::npos);
    // It claims no file type, so it never becomes the default of one.
    EXPECT_EQ(text.find("MimeType="), std::string::npos);

    // An entry that is already there is left as it is while it starts this program.
    std::ofstream(entry, std::ios::app) << "X-Mine=kept\n";
    ASSERT_TRUE(sendTo.Apply(true, op));
    EXPECT_NE(ReadFile(entry).find("X-Mine=kept"), std::string::npos);
    // The program moved: the entry is rewritten to start it where it is now.
    SendToEntry moved(test::ScratchFolders(dir), "/usr/bin/torq-spi", tools);
    ASSERT_TRUE(moved.Apply(true, op));
    const std::string rewritten = ReadFile(entry);
    EXPECT_NE(rewritten.find("\nExec=\"/usr/bin/torq-spi\" %f\n"), std::string::npos) << rewritten;
    EXPECT_EQ(rewritten.find("X-Mine=kept"), std::string::npos);
    EXPECT_EQ(rewritten.find("bench tools"), std::string::npos);

    ASSERT_TRUE(sendTo.Apply(false, op));
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(fs::exists(entry.parent_path()));
    EXPECT_TRUE(fs::is_directory(entry.parent_path().parent_path()));
    // Nothing to delete is no failure.
    EXPECT_TRUE(sendTo.Apply(false, op));
    EXPECT_TRUE(op.messages.empty());
    // The desktop's application index is refreshed only when it keeps one.
    EXPECT_TRUE(tools.calls.empty());
}

TEST(SendToEntry, RefreshesAnApplicationIndexThatIsThere) {
    TempDir dir;
    RecordingTools tools;
    ScriptedOperator op;
    dir.Write("home/.local/share/applications/mimeinfo.cache", "[MIME Cache]\n");
    SendToEntry sendTo(test::ScratchFolders(dir), kProgram, tools);
    ASSERT_TRUE(sendTo.Apply(true, op));
    ASSERT_EQ(tools.calls.size(), 1u);
    EXPECT_EQ(tools.calls[0].front(), "update-desktop-database");
    EXPECT_EQ(tools.calls[0].back(), (dir / "home/.local/share/applications").string());
}

TEST(SendToEntry, FailuresAreToldWithTheirMessages) {
    const auto messageOf = [](SendToEntry& sendTo, bool checked) {
        ScriptedOperator op;
        EXPECT_FALSE(sendTo.Apply(checked, op));
        return op.messages.size() == 1 ? op.messages[0].text : std::string("(none)");
    };
    TempDir dir;
    RecordingTools tools;
    {
        XdgFolders unknown;  // no HOME, no XDG_DATA_HOME
        SendToEntry sendTo(unknown, kProgram, tools);
        EXPECT_EQ(messageOf(sendTo, true), kSendToFolderNotFound);
        EXPECT_EQ(messageOf(sendTo, false), kSendToFolderNotFound);
    }
    {
        XdgFolders folders;
        folders.dataHome = dir.Write("data-is-a-file", "");
        SendToEntry sendTo(folders, kProgram, tools);
        EXPECT_EQ(messageOf(sendTo, true), kSendToFolderNotFound);
    }
    {
        XdgFolders folders;
        folders.dataHome = dir / "blocked";
        dir.Write("blocked/applications/TORQ-SPI", "a file where our folder goes");
        SendToEntry sendTo(folders, kProgram, tools);
        EXPECT_EQ(messageOf(sendTo, true), kSendToCannotCreate);
    }
    {
        XdgFolders folders;
        folders.dataHome = dir / "stuck";
        dir.Write("stuck/applications/TORQ-SPI/TORQ-SPI.desktop/inside", "");
        SendToEntry sendTo(folders, kProgram, tools);
        EXPECT_EQ(messageOf(sendTo, false), kSendToCannotDelete);
        EXPECT_TRUE(fs::exists(dir / "stuck/applications/TORQ-SPI/TORQ-SPI.desktop/inside"));
    }
}

// A desktop entry is UTF-8 text with no way to spell other bytes; nor can it hold control
// characters. Such a program path is refused, and a folder where the entry goes is no entry.
TEST(SendToEntry, AnEntryThatCannotNameTheProgramIsNotWritten) {
    TempDir dir;
    RecordingTools tools;
    for (const char* program : {"/opt/b\xE4nch/torq-spi", "/opt/a\x01b/torq-spi"}) {
        SendToEntry sendTo(test::ScratchFolders(dir), program, tools);
        ScriptedOperator op;
        EXPECT_FALSE(sendTo.Apply(true, op));
        ASSERT_EQ(op.messages.size(), 1u);
        EXPECT_TRUE(op.messages[0].text.starts_with(kSendToCannotCreate)) << op.messages[0].text;
        EXPECT_TRUE(IsUtf8(op.messages[0].text));
        EXPECT_FALSE(fs::exists(sendTo.EntryPath()));
    }
    dir.Write("home/.local/share/applications/TORQ-SPI/TORQ-SPI.desktop/inside", "");
    SendToEntry sendTo(test::ScratchFolders(dir), kProgram, tools);
    ScriptedOperator op;
    EXPECT_FALSE(sendTo.Apply(true, op));
    EXPECT_EQ(op.Texts(), std::vector<std::string>{std::string(kSendToCannotCreate)});
}

TEST(SendToEntry, TheEntryPassesTheDesktopValidator) {
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "desktop-file-validate is not installed";
    TempDir dir;
    RecordingTools tools;
    ScriptedOperator op;
    SendToEntry sendTo(test::ScratchFolders(dir), "/opt/a \"quoted\" $path/torq-spi", tools);
    ASSERT_TRUE(sendTo.Apply(true, op));
    const auto result =
        test::RunCommand("desktop-file-validate '" + sendTo.EntryPath().string() + "'");
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(result.out + result.err, "");
}

}  // namespace
}  // namespace torq
