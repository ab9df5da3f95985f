#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "DesktopTestSupport.h"
#include "torq/desktop/FileAssociations.h"
#include "torq/devlib/Ini.h"

namespace torq {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RecordingTools;
using test::ScriptedOperator;
using test::TempDir;

const fs::path kProgram = "/usr/bin/torq-spi";

// The shared MIME database of "the system": another program's type for .hex (described), one for
// .s19 (not described), an upper-case glob, a case-sensitive one and lines naming no real type.
void WriteSystemMimeDatabase(const TempDir& dir) {
    dir.Write("system/mime/globs2",
              "# generated\n"
              "50:text/x-srecord:*.s19\n"
              "50:text/x-hex:*.hex\n"
              "40:text/x-lower:*.hex\n"
              "50:application/x-wide:*.WIDE\n"
              "50:text/x-c++src:*.C:cs\n"
              "50:../../etc/passwd:*.evil\n" +
                  std::string("50:text/x\0nul:*.nul\n", 20) + "garbage\n");
    dir.Write("system/mime/text/x-hex.xml",
              "<?xml version=\"1.0\"?>\n<mime-type type=\"text/x-hex\">\n"
              "  <comment xml:lang=\"de\">Intel-HEX-Abbild</comment>\n"
              "  <comment>Intel HEX &amp; image</comment>\n</mime-type>\n");
}

struct Fixture {
    TempDir dir;
    RecordingTools tools;
    FileAssociations associations{test::ScratchFolders(dir), kProgram, tools};
    fs::path MimeApps() const { return dir / "home/.config/mimeapps.list"; }
    fs::path Handler() const {
        return dir / "home/.local/share/applications/torq-spi-associations.desktop";
    }
};

std::vector<std::string> Extensions(const std::vector<FileAssociation>& list) {
    std::vector<std::string> names;
    for (const auto& association : list)
        names.push_back(association.extension + "=" + association.description);
    return names;
}

TEST(FileAssociations, ExtensionFieldRule) {
    const struct {
        const char* typed;
        const char* field;
        bool registrable;
    } cases[] = {
        {".HEX", "hex", true},
        {"Bin", "bin", true},
        {"..s19", "s19", true},
        {"tar.gz", "tar.gz", true},
        {"a b/c*\"d", "abcd", true},
        {"燒錄", "", false},
        {"", "", false},
        {".", "", false},
        {"hex.", "hex.", false},
        {"a..b", "a..b", false},
        {"c++", "c++", true},
        {"0123456789abcdef0123456789abcdefXYZ", "0123456789abcdef0123456789abcdef", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExtensionFieldText(c.typed), c.field) << c.typed;
        EXPECT_EQ(IsRegistrableExtension(ExtensionFieldText(c.typed)), c.registrable) << c.typed;
    }
}

TEST(FileAssociations, AddListAndRemoveOnAFreshAccount) {
    Fixture f;
    AssociationControls controls = f.associations.Controls(".HEX");
    EXPECT_TRUE(controls.addEnabled);
    EXPECT_EQ(controls.addCaption, kAssociationAddCaption);
    EXPECT_FALSE(controls.removeEnabled);
    EXPECT_EQ(controls.description, "");
    EXPECT_FALSE(f.associations.Controls("").addEnabled);

    ScriptedOperator op;  // no question for an extension nobody registered
    ASSERT_TRUE(f.associations.Add(".HEX", " Intel HEX <image>\n", op));
    ASSERT_TRUE(f.associations.Add("bin", "Raw image", op));
    EXPECT_TRUE(op.messages.empty());

    EXPECT_EQ(Extensions(f.associations.List()),
              (std::vector<std::string>{"bin=Raw image", "hex=Intel HEX <image>"}));
    const std::string package = ReadFile(f.associations.PackageFile("hex"));
    EXPECT_NE(package.find("<mime-type type=\"application/x-torq-spi-hex\">"), std::string::npos);
    EXPECT_NE(package.find("<comment>Intel HEX &lt;image&gt;</comment>"), std::string::npos);
    EXPECT_NE(package.find("<glob pattern=\"*.hex\" weight=\"90\"/>"), std::string::npos);
    EXPECT_EQ(ReadFile(f.MimeApps()),
              "[Default Applications]\n"
              "application/x-torq-spi-hex=torq-spi-associations.desktop\n"
              "application/x-torq-spi-bin=torq-spi-associations.desktop\n"
              "[Added Associations]\n"
              "application/x-torq-spi-hex=torq-spi-associations.desktop;\n"
              "application/x-torq-spi-bin=torq-spi-associations.desktop;\n");
    const std::string handler = ReadFile(f.Handler());
    EXPECT_NE(handler.find("\nExec=\"/usr/bin/torq-spi\" %f\n"), std::string::npos);
    EXPECT_NE(handler.find("\nMimeType=application/x-torq-spi-bin;application/x-torq-spi-hex;\n"),
              std::string::npos);
    ASSERT_FALSE(f.tools.calls.empty());
    EXPECT_EQ(f.tools.calls[0],
              (std::vector<std::string>{"update-mime-database",
                                        (f.dir / "home/.local/share/mime").string()}));

    controls = f.associations.Controls("hex");
    EXPECT_EQ(controls.addCaption, kAssociationReplaceCaption);
    EXPECT_TRUE(controls.removeEnabled);
    EXPECT_EQ(controls.description, "Intel HEX <image>");

    ScriptedOperator no({Answer::No});
    EXPECT_FALSE(f.associations.Remove("hex", no));
    EXPECT_EQ(no.Texts(), (std::vector<std::string>{std::string(kAssociationRemoveQuestion)}));
    EXPECT_EQ(f.associations.List().size(), 2u);

    ScriptedOperator yes({Answer::Yes, Answer::Yes});
    ASSERT_TRUE(f.associations.Remove(".hex", yes));
    EXPECT_EQ(Extensions(f.associations.List()), (std::vector<std::string>{"bin=Raw image"}));
    EXPECT_FALSE(fs::exists(f.associations.PackageFile("hex")));
    EXPECT_EQ(ReadFile(f.MimeApps()).find("x-torq-spi-hex"), std::string::npos);
    EXPECT_EQ(ReadFile(f.Handler()).find("x-torq-spi-hex"), std::string::npos);
    ASSERT_TRUE(f.associations.Remove("bin", yes));
    EXPECT_FALSE(fs::exists(f.Handler()));
    EXPECT_EQ(ReadFile(f.MimeApps()), "[Default Applications]\n[Added Associations]\n");
    EXPECT_FALSE(f.associations.Remove("bin", yes));  // no longer ours: nothing asked
    EXPECT_EQ(yes.messages.size(), 2u);
}

TEST(FileAssociations, ReplacingAsksTwiceAndNoToEitherChangesNothing) {
    Fixture f;
    ScriptedOperator op;
    ASSERT_TRUE(f.associations.Add("hex", "First", op));
    const std::string before = ReadFile(f.associations.PackageFile("hex"));
    const std::vector<std::string> both{std::string(kAssociationReplaceQuestion),
                                        std::string(kAssociationReplaceConfirmation)};
    const struct {
        std::deque<Answer> answers;
        std::vector<std::string> asked;
    } refusals[] = {
        {{Answer::No}, {both[0]}},
        {{Answer::Yes, Answer::No}, both},
    };
    for (const auto& refusal : refusals) {
        ScriptedOperator answering(refusal.answers);
        EXPECT_FALSE(f.associations.Add("HEX", "Second", answering));
        EXPECT_EQ(answering.Texts(), refusal.asked);
        EXPECT_EQ(answering.messages[0].buttons, Buttons::YesNo);
        EXPECT_EQ(ReadFile(f.associations.PackageFile("hex")), before);
    }
    ScriptedOperator yes({Answer::Yes, Answer::Yes});
    ASSERT_TRUE(f.associations.Add("hex", "Second", yes));
    EXPECT_EQ(yes.Texts(), both);
    EXPECT_EQ(Extensions(f.associations.List()), (std::vector<std::string>{"hex=Second"}));
}

TEST(FileAssociations, AnotherProgramsRegistrationIsShownReplacedAndComesBack) {
    Fixture f;
    WriteSystemMimeDatabase(f.dir);
    const std::string globs = ReadFile(f.dir / "system/mime/globs2");

    const struct {
        const char* extension;
        const char* caption;
        const char* description;
    } shown[] = {
        {"hex", "取代", "Intel HEX & image"},  // the higher weight of two
        {"s19", "取代", "text/x-srecord"},     // a type without description shows its name
        {"wide", "取代", "application/x-wide"},
        {"c", "加入", ""},  // only "*.C" is registered, case-sensitively
        {"evil", "加入", ""},
        {"nul", "加入", ""},
    };
    for (const auto& s : shown) {
        const AssociationControls controls = f.associations.Controls(s.extension);
        EXPECT_EQ(controls.addCaption, s.caption) << s.extension;
        EXPECT_EQ(controls.description, s.description) << s.extension;
        EXPECT_FALSE(controls.removeEnabled) << s.extension;
    }
    EXPECT_TRUE(f.associations.List().empty());

    ScriptedOperator yes({Answer::Yes, Answer::Yes, Answer::Yes});
    ASSERT_TRUE(f.associations.Add("hex", "TORQ image", yes));
    EXPECT_EQ(yes.messages.size(), 2u);
    EXPECT_EQ(f.associations.Controls("hex").description, "TORQ image");
    ASSERT_TRUE(f.associations.Remove("hex", yes));
    EXPECT_EQ(f.associations.Controls("hex").description, "Intel HEX & image");
    EXPECT_EQ(ReadFile(f.dir / "system/mime/globs2"), globs);
}

TEST(FileAssociations, HandEditedMimeAppsListKeepsEveryOtherLine) {
    Fixture f;
    const std::string original =
        "# my own defaults\r\n"
        "stray line before any section\r\n"
        "[Default Applications]\r\n"
        "text/plain=gedit.desktop\r\n"
        "\r\n"
        "[Added Associations]\r\n"
        "text/plain=gedit.desktop;vim.desktop;\r\n"
        "no equals sign here\r\n"
        "[Removed Associations\r\n"
        "image/png=gimp.desktop";  // no line break at the end
    f.dir.Write("home/.config/mimeapps.list", original);
    ScriptedOperator op({}, Answer::Yes);
    ASSERT_TRUE(f.associations.Add("hex", "Intel HEX", op));
    const std::string added = ReadFile(f.MimeApps());
    EXPECT_NE(added.find("text/plain=gedit.desktop\r\n"
                         "application/x-torq-spi-hex=torq-spi-associations.desktop\r\n\r\n"),
              std::string::npos)
        << added;
    EXPECT_NE(added.find("vim.desktop;\r\nno equals sign here\r\n"
                         "[Removed Associations\r\nimage/png=gimp.desktop\r\n"
                         "application/x-torq-spi-hex=torq-spi-associations.desktop;"),
              std::string::npos)
        << added;
    ASSERT_TRUE(f.associations.Remove("hex", op));
    // Back as it was; the last line keeps the line break it got when ours followed it.
    EXPECT_EQ(ReadFile(f.MimeApps()), original + "\r\n");

    // The operator made another program the type's default meanwhile: only our name goes.
    ASSERT_TRUE(f.associations.Add("bin", "Raw", op));
    f.dir.Write("home/.config/mimeapps.list",
                "[Default Applications]\napplication/x-torq-spi-bin=hexedit.desktop\n"
                "[Added Associations]\napplication/x-torq-spi-bin=hexedit.desktop;"
                "torq-spi-associations.desktop;\n");
    ASSERT_TRUE(f.associations.Remove("bin", op));
    EXPECT_EQ(ReadFile(f.MimeApps()),
              "[Default Applications]\napplication/x-torq-spi-bin=hexedit.desktop\n"
              "[Added Associations]\napplication/x-torq-spi-bin=hexedit.desktop;\n");
}

TEST(FileAssociations, AListThatCannotBeReadWholeIsLeftAloneAndNothingIsRegistered) {
    const std::string withNul =
        std::string("[Default Applications]\ntext/plain=a.desktop\n") + '\0' + "rest\n";
    for (const bool folder : {false, true}) {
        Fixture f;
        if (folder)
            fs::create_directories(f.MimeApps());
        else
            f.dir.Write("home/.config/mimeapps.list", withNul);
        ScriptedOperator op;
        EXPECT_FALSE(f.associations.Add("hex", "Intel HEX", op));
        ASSERT_EQ(op.messages.size(), 1u);
        EXPECT_EQ(op.messages[0].severity, Severity::Error);
        EXPECT_NE(op.messages[0].text.find("mimeapps.list"), std::string::npos)
            << op.messages[0].text;
        if (!folder) {
            EXPECT_EQ(ReadFile(f.MimeApps()), withNul);
        }
        EXPECT_TRUE(f.associations.List().empty());
        EXPECT_FALSE(fs::exists(f.Handler()));
        EXPECT_TRUE(f.tools.calls.empty());
    }
}

TEST(FileAssociations, ALinkedListIsChangedWhereItLives) {
    Fixture f;
    const fs::path real = f.dir.Write("dotfiles/mimeapps.list", "[Default Applications]\n");
    fs::create_directories(f.MimeApps().parent_path());
    fs::create_symlink(real, f.MimeApps());
    ScriptedOperator op;
    ASSERT_TRUE(f.associations.Add("hex", "", op));
    EXPECT_TRUE(fs::is_symlink(f.MimeApps()));
    EXPECT_NE(ReadFile(real).find("x-torq-spi-hex=torq-spi-associations.desktop"),
              std::string::npos);
    EXPECT_EQ(ReadFile(f.associations.PackageFile("hex")).find("<comment>"), std::string::npos);
}

TEST(FileAssociations, DamagedPackageOfOursIsListedAndRemovable) {
    Fixture f;
    f.dir.Write("home/.local/share/mime/packages/torq-spi-rom.xml", "<mime-info><comment>cut");
    f.dir.Write("home/.local/share/mime/packages/torq-spi-..xml", "");  // not an extension
    f.dir.Write("home/.local/share/mime/packages/other-app.xml", "<mime-info/>");
    EXPECT_EQ(Extensions(f.associations.List()), (std::vector<std::string>{"rom="}));
    ScriptedOperator op({Answer::Yes});
    EXPECT_TRUE(f.associations.Remove("rom", op));
    EXPECT_TRUE(fs::exists(f.dir / "home/.local/share/mime/packages/other-app.xml"));
}

// What goes into the package is checked before anything is written or asked: the operator is told
// why, and the desktop's files stay as they were.
TEST(FileAssociations, WhatTheMimePackageCannotHoldIsRefusedWithAMessage) {
    const struct {
        const char* extension;
        std::string description;
        const char* why;
    } refusals[] = {
        {"hex", "Intel \xEF\xBF\xBE HEX", "XML"},  // characters XML 1.0 forbids
        {"hex", "\xEF\xBF\xBF", "XML"},
        {"hex", "Intel \xFF HEX", "UTF-8"},
        {"hex", std::string(kDescriptionLimit + 1, 'x'), "longer than"},
        {"hex.", "Intel HEX", "letters"},  // only reachable past the field's rule
        {"a..b", "", "letters"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.why);
        Fixture f;
        f.dir.Write("home/.config/mimeapps.list", "[Default Applications]\n");
        ScriptedOperator op({}, Answer::Yes);
        EXPECT_FALSE(f.associations.Add(r.extension, r.description, op));
        ASSERT_EQ(op.messages.size(), 1u);
        EXPECT_EQ(op.messages[0].severity, Severity::Error);
        EXPECT_NE(op.messages[0].text.find(r.why), std::string::npos) << op.messages[0].text;
        EXPECT_TRUE(IsUtf8(op.messages[0].text));
        EXPECT_FALSE(fs::exists(f.dir / "home/.local/share/mime"));
        EXPECT_FALSE(fs::exists(f.Handler()));
        EXPECT_EQ(ReadFile(f.MimeApps()), "[Default Applications]\n");
        EXPECT_TRUE(f.tools.calls.empty());
    }
    // The longest description there is room for comes back whole, escaped on the way.
    Fixture f;
    ScriptedOperator op;
    std::string longest = "<&\"'";
    while (longest.size() < 4 + 3 * (kDescriptionLimit - 4))
        longest += "\xE4\xB8\xAD";  // one character of three bytes
    ASSERT_TRUE(f.associations.Add("rom", longest, op));
    ASSERT_EQ(f.associations.List().size(), 1u);
    EXPECT_EQ(f.associations.List()[0].description, longest);
}

// A package the MIME database did not take registers nothing: it is not listed, and an Add whose
// package the tool left out is undone and told, not reported as done.
TEST(FileAssociations, TheListShowsWhatTheMimeDatabaseHas) {
    Fixture f;
    const fs::path mime = f.dir / "home/.local/share/mime";
    // Stands in for update-mime-database: compiles every package except those of ".bad".
    f.tools.onRun = [&](const std::vector<std::string>& argv) {
        if (argv.front() != "update-mime-database")
            return;
        std::string globs = "# compiled\n";
        std::error_code error;
        for (fs::directory_iterator it(mime / "packages", error), end; !error && it != end;
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            const std::string extension = name.substr(9, name.size() - 9 - 4);
            if (extension != "bad")
                globs += "90:application/x-torq-spi-" + extension + ":*." + extension + "\n";
        }
        WriteFileAtomically(mime / "globs2", globs);
    };
    ScriptedOperator op({}, Answer::Yes);
    ASSERT_TRUE(f.associations.Add("hex", "Intel HEX", op));
    const std::string mimeApps = ReadFile(f.MimeApps());
    const std::string handler = ReadFile(f.Handler());

    EXPECT_FALSE(f.associations.Add("bad", "Refused", op));
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].severity, Severity::Error);
    EXPECT_NE(op.messages[0].text.find("update-mime-database"), std::string::npos)
        << op.messages[0].text;
    EXPECT_FALSE(fs::exists(f.associations.PackageFile("bad")));
    EXPECT_EQ(ReadFile(f.MimeApps()), mimeApps);
    EXPECT_EQ(ReadFile(f.Handler()), handler);
    EXPECT_EQ(Extensions(f.associations.List()), (std::vector<std::string>{"hex=Intel HEX"}));

    // A package left from before that the database compiled without: not registered, so not
    // listed and not ours to remove; adding the extension writes it anew without asking.
    f.dir.Write("home/.local/share/mime/packages/torq-spi-old.xml", "<mime-info><comment>x--y");
    const auto past = fs::last_write_time(mime / "globs2") - std::chrono::seconds(10);
    fs::last_write_time(mime / "packages/torq-spi-old.xml", past);
    EXPECT_EQ(Extensions(f.associations.List()), (std::vector<std::string>{"hex=Intel HEX"}));
    EXPECT_EQ(f.associations.Controls("old").addCaption, kAssociationAddCaption);
    EXPECT_FALSE(f.associations.Remove("old", op));
    ScriptedOperator quiet;
    ASSERT_TRUE(f.associations.Add("old", "Old", quiet));
    EXPECT_TRUE(quiet.messages.empty()) << ::testing::PrintToString(quiet.Texts());
    EXPECT_EQ(Extensions(f.associations.List()),
              (std::vector<std::string>{"hex=Intel HEX", "old=Old"}));
}

// Our type's default in mimeapps.list may have been another program's (chosen in the file manager
// after an earlier registration): it stays behind ours, so removing ours gives it back.
TEST(FileAssociations, AnEarlierDefaultForTheTypeComesBackOnRemove) {
    Fixture f;
    const std::string original =
        "[Default Applications]\n"
        "application/x-torq-spi-bin=hexedit.desktop; ghex.desktop;\n"
        "text/plain=gedit.desktop\n";
    f.dir.Write("home/.config/mimeapps.list", original);
    ScriptedOperator op({}, Answer::Yes);
    ASSERT_TRUE(f.associations.Add("bin", "Raw", op));
    EXPECT_NE(ReadFile(f.MimeApps())
                  .find("application/x-torq-spi-bin=torq-spi-associations.desktop;"
                        "hexedit.desktop; ghex.desktop;\n"),
              std::string::npos)
        << ReadFile(f.MimeApps());
    // Replacing keeps ours in front and the earlier ones behind it once.
    ASSERT_TRUE(f.associations.Add("bin", "Raw image", op));
    ASSERT_TRUE(f.associations.Remove("bin", op));
    EXPECT_EQ(ReadFile(f.MimeApps()), original + "[Added Associations]\n");
}

// A desktop entry is UTF-8 text with no way to spell other bytes: a program whose path is not
// UTF-8 cannot be named in one, so nothing is written and the operator is told why.
TEST(FileAssociations, AProgramPathThatIsNotUtf8IsRefused) {
    TempDir dir;
    RecordingTools tools;
    FileAssociations associations(test::ScratchFolders(dir), "/opt/b\xE4nch/torq-spi", tools);
    ScriptedOperator op;
    EXPECT_FALSE(associations.Add("hex", "Intel HEX", op));
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_NE(op.messages[0].text.find("/opt/b\\xE4nch/torq-spi"), std::string::npos)
        << op.messages[0].text;
    EXPECT_NE(op.messages[0].text.find("UTF-8"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "home"));
}

// Without update-mime-database the files are written, but the desktop goes on with its old
// database: the operator is told that, instead of being left to believe it took effect.
TEST(FileAssociations, WithoutTheMimeToolTheOperatorIsToldTheDesktopWillNotSeeItYet) {
    Fixture f;
    f.tools.missing = {"update-mime-database"};
    const std::string mime = (f.dir / "home/.local/share/mime").string();
    ScriptedOperator op({}, Answer::Yes);
    ASSERT_TRUE(f.associations.Add("hex", "Intel HEX", op));
    EXPECT_EQ(Extensions(f.associations.List()), (std::vector<std::string>{"hex=Intel HEX"}));
    ASSERT_TRUE(f.associations.Remove("hex", op));
    ASSERT_EQ(op.messages.size(), 3u) << ::testing::PrintToString(op.Texts());
    for (const std::size_t told : {0u, 2u}) {
        const auto& message = op.messages[told];
        EXPECT_EQ(message.severity, Severity::Warning);
        for (const std::string& part :
             {std::string("\".hex\""), std::string("update-mime-database"), mime,
              std::string("desktop")}) {
            EXPECT_NE(message.text.find(part), std::string::npos) << part << " in " << message.text;
        }
    }
    EXPECT_EQ(op.messages[1].text, kAssociationRemoveQuestion);
    EXPECT_NE(op.messages[0].text.find("registered"), std::string::npos);
    EXPECT_NE(op.messages[2].text.find("removed"), std::string::npos);
}

TEST(FileAssociations, UnknownHomeIsToldAndNothingWritten) {
    RecordingTools tools;
    FileAssociations associations(XdgFolders{}, kProgram, tools);
    ScriptedOperator op;
    EXPECT_FALSE(associations.Add("hex", "Intel HEX", op));
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_NE(op.messages[0].text.find("HOME"), std::string::npos);
    EXPECT_TRUE(associations.List().empty());
}

// The desktop's own tools read what we write: the MIME database compiles our type and GIO (the
// library file managers open files with) sees it for *.hex and opens it with our entry.
TEST(FileAssociations, TheDesktopOpensTheExtensionWithUs) {
    if (std::system("command -v update-mime-database >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "update-mime-database is not installed";
    TempDir dir;
    // GIO ignores an entry whose program does not exist.
    FileAssociations associations(test::ScratchFolders(dir), "/bin/true",
                                  SystemDesktopTools::Instance());
    ScriptedOperator op({}, Answer::Yes);
    ASSERT_TRUE(associations.Add("hex", "Intel HEX & Co", op));
    const fs::path mime = dir / "home/.local/share/mime";
    EXPECT_NE(ReadFile(mime / "globs2").find("90:application/x-torq-spi-hex:*.hex"),
              std::string::npos);
    EXPECT_NE(ReadFile(mime / "application/x-torq-spi-hex.xml")
                  .find("<comment>Intel HEX &amp; Co</comment>"),
              std::string::npos);

    const bool haveGio = std::system("command -v gio >/dev/null 2>&1") == 0;
    const fs::path file = dir.Write("image.HEX", ":00000001FF\n");
    const std::string gio = "env XDG_DATA_HOME='" + (dir / "home/.local/share").string() +
                            "' XDG_CONFIG_HOME='" + (dir / "home/.config").string() +
                            "' XDG_DATA_DIRS='" + (dir / "system").string() +
                            "' GIO_USE_VFS=local gio ";
    const auto contentType = [&] {
        return test::RunCommand(gio + "info -a standard::content-type '" + file.string() + "'").out;
    };
    if (haveGio) {
        EXPECT_NE(test::RunCommand(gio + "mime application/x-torq-spi-hex")
                      .out.find(": torq-spi-associations.desktop"),
                  std::string::npos);
        EXPECT_NE(contentType().find("application/x-torq-spi-hex"), std::string::npos);
    }

    ASSERT_TRUE(associations.Remove("hex", op));
    EXPECT_EQ(ReadFile(mime / "globs2").find("x-torq-spi-hex"), std::string::npos);
    EXPECT_FALSE(associations.Registration("hex").has_value());
    if (haveGio) {
        EXPECT_EQ(contentType().find("x-torq-spi"), std::string::npos);
    }

    // "--" in an extension and every character XML escapes in a description reach the database;
    // ours is the default ahead of an earlier one, which is the default again after Remove.
    dir.Write("home/.local/share/applications/other.desktop",
              "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %f\n");
    dir.Write("home/.config/mimeapps.list",
              "[Default Applications]\napplication/x-torq-spi-a--b=other.desktop\n");
    ASSERT_TRUE(associations.Add("a--b", "<\"x--y\"> & 'z'", op));
    EXPECT_NE(ReadFile(mime / "globs2").find("90:application/x-torq-spi-a--b:*.a--b"),
              std::string::npos);
    ASSERT_EQ(associations.List().size(), 1u);
    EXPECT_EQ(associations.List()[0].description, "<\"x--y\"> & 'z'");
    if (haveGio) {
        EXPECT_NE(test::RunCommand(gio + "mime application/x-torq-spi-a--b")
                      .out.find(": torq-spi-associations.desktop"),
                  std::string::npos);
    }
    ASSERT_TRUE(associations.Remove("a--b", op));
    EXPECT_NE(ReadFile(dir / "home/.config/mimeapps.list")
                  .find("\napplication/x-torq-spi-a--b=other.desktop\n"),
              std::string::npos);
    EXPECT_EQ(op.messages.size(), 2u) << ::testing::PrintToString(op.Texts());
}

}  // namespace
}  // namespace torq
