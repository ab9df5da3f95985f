#include "torq/workflow/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace torq {
namespace {

using test::FixedClock;
using test::TempDir;

constexpr const char* kStamp = "2011/05/04 13:07:09 : ";
const std::string kBad = "Error : Bad option was specified\n";
const std::string kHelp =
    "Usage : torq-spi [option(s)...] [filename]\n"
    "  -h|?           prints this help\n"
    "  -b             generates simple tones on the speaker\n";

TEST(CommandLine, ClassifiesOwnParametersFoldedAndHandedOverTextsAsTheyAre) {
    using enum ParameterKind;
    struct Case {
        const char* parameter;
        ParameterKind own;
        ParameterKind handedOver;
    };
    const Case cases[] = {
        {"-h", Help, BadOption},      {"-H", Help, Help},          {"-?", Help, Help},
        {"-help", Help, BadOption},   {"-b", Tones, BadOption},    {"-B ", Tones, Tones},
        {"-x", BadOption, BadOption}, {"-", BadOption, BadOption}, {"a.bin", FileName, FileName},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyParameter(c.parameter, ParameterSource::OwnProcess), c.own)
            << c.parameter;
        EXPECT_EQ(ClassifyParameter(c.parameter, ParameterSource::HandedOver), c.handedOver)
            << c.parameter;
    }
}

TEST(CommandLine, HandOverTextIsTheLastParameterAndABlank) {
    const std::vector<std::string> two = {"a.bin", "b.bin"};
    EXPECT_EQ(HandOverText(two), "b.bin ");
    EXPECT_EQ(HandOverText({}), "");
}

struct CommandLineFixture : testing::Test {
    TempDir dir;
    FixedClock clock;
    InformationLog log{clock};
    CommandLine commandLine{dir.Path(), "torq-spi", log};
};

TEST_F(CommandLineFixture, TheListGrowsAndIsLoggedAfterEachParameter) {
    const auto file = dir.Write("file.bin", "x");
    const std::vector<std::string> parameters = {"-h", "file.bin"};
    const CommandLineResult result = commandLine.ProcessOwnParameters(parameters);
    EXPECT_EQ(result.fileToLoad, file);
    EXPECT_FALSE(result.tones);
    // The help lines are logged after the first parameter and again after the second.
    const std::string help = kStamp + std::string("Good option : -h\n") + kHelp;
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{help, help}));
}

// Each parameter acts as it comes: every file named is loaded in turn and "-b" sounds, each before
// the list is logged after its parameter.
TEST_F(CommandLineFixture, EachParameterActsAsItComes) {
    dir.Write("a.bin", "a");
    dir.Write("b.bin", "b");
    struct Recorder final : CommandLineActions {
        void LoadFile(const std::filesystem::path& file) override {
            events.push_back("load " + file.filename().string() + " after " +
                             std::to_string(log->Lines().size()));
        }
        void PlayTones() override {
            events.push_back("tones after " + std::to_string(log->Lines().size()));
        }
        const InformationLog* log = nullptr;
        std::vector<std::string> events;
    } recorder;
    recorder.log = &log;
    const std::vector<std::string> parameters = {"a.bin", "-b", "b.bin"};
    commandLine.ProcessOwnParameters(parameters, &recorder);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"load a.bin after 0", "tones after 0",
                                                         "load b.bin after 1"}));
    EXPECT_EQ(log.Lines().size(), 2u);
}

TEST_F(CommandLineFixture, BadOptionsAndMissingFilesLeaveTwoLinesEach) {
    const std::vector<std::string> parameters = {"-x", "missing.bin", "-b"};
    const CommandLineResult result = commandLine.ProcessOwnParameters(parameters);
    EXPECT_EQ(result.fileToLoad, std::nullopt);
    EXPECT_TRUE(result.tones);
    const std::string first = "Bad option : -x\n" + kBad;
    const std::string second = first + "Bad option : missing.bin\n" + kBad;
    const std::string third =
        second + "Good option : -b\nUsage : Beep(2500,300); Beep(5000,300);\n";
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{kStamp + first, kStamp + second, kStamp + third}));
    EXPECT_EQ(commandLine.Messages().size(), 6u);

    // The next own processing starts a new list.
    commandLine.ProcessOwnParameters({});
    EXPECT_TRUE(commandLine.Messages().empty());
}

TEST_F(CommandLineFixture, FileNamesAreCompletedAndTheLastOneIsLoaded) {
    const auto first = dir.Write("a.bin", "a");
    const auto inFolder = dir.Write("sub/b.bin", "b");
    const std::vector<std::string> parameters = {"a.bin", inFolder.string()};
    EXPECT_EQ(commandLine.ProcessOwnParameters(parameters).fileToLoad, inFolder);
    const std::vector<std::string> bare = {"a.bin"};
    EXPECT_EQ(commandLine.ProcessOwnParameters(bare).fileToLoad, first);
    EXPECT_TRUE(log.Lines().empty());

    // A folder is not a file to load.
    const std::vector<std::string> folder = {dir.Path().string()};
    EXPECT_EQ(commandLine.ProcessOwnParameters(folder).fileToLoad, std::nullopt);
}

TEST_F(CommandLineFixture, AHandedOverTextIsOneParameterWithItsBlank) {
    const auto file = dir.Write("b.bin", "b");
    EXPECT_EQ(commandLine.ProcessHandedOver("b.bin ").fileToLoad, file);
    EXPECT_TRUE(log.Lines().empty());

    // A lower-case option from a second start is a bad option; no tones.
    const CommandLineResult lower = commandLine.ProcessHandedOver("-b ");
    EXPECT_FALSE(lower.tones);
    EXPECT_EQ(log.Lines().back(), kStamp + std::string("Bad option : -b \n") + kBad);

    // Each hand-over logs its own name once: the names of earlier ones (and of the own command
    // line) are not logged again, so many bad hand-overs cannot pile up.
    const std::vector<std::string> own = {"-x"};
    commandLine.ProcessOwnParameters(own);
    for (const char* text : {"-x1 ", "-x2 ", "-x3 "}) {
        commandLine.ProcessHandedOver(text);
        EXPECT_EQ(log.Lines().back(), kStamp + std::string("Bad option : ") + text + "\n" + kBad);
    }
    EXPECT_TRUE(commandLine.ProcessHandedOver("-B ").tones);
    EXPECT_EQ(commandLine.Messages().size(), 2u);

    // A second start without parameters changes nothing.
    const std::size_t lines = log.Lines().size();
    EXPECT_EQ(commandLine.ProcessHandedOver("").fileToLoad, std::nullopt);
    EXPECT_EQ(log.Lines().size(), lines);
}

}  // namespace
}  // namespace torq
