#include "torq/workflow/WindowRules.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace torq {
namespace {

TEST(WindowRules, OptionsControlsFollowTheirBoxesAndTheLimitChoice) {
    struct Case {
        bool verifyLimited, limited, toFile;
        bool verifyField, limitField, logFile;
    };
    const Case cases[] = {
        {true, true, false, true, true, false},
        {true, true, true, true, true, true},
        {false, false, true, false, false, false},  // saving to a file needs the limit on
        {false, true, true, false, true, true},
    };
    for (const Case& c : cases) {
        Options options;
        options.verifyErrorsListLimited = c.verifyLimited;
        options.infoMessageLimited = c.limited;
        options.infoMessageLimitSavesToFile = c.toFile;
        const OptionsEnabling enabling = OptionsControlsEnabled(options);
        SCOPED_TRACE(testing::Message() << c.verifyLimited << c.limited << c.toFile);
        EXPECT_EQ(enabling.verifyErrorsField, c.verifyField);
        EXPECT_EQ(enabling.limitField, c.limitField);
        EXPECT_EQ(enabling.limitChoices, c.limitField);
        EXPECT_EQ(enabling.logFile, c.logFile);
    }
}

TEST(WindowRules, BrowseStartsBesideAnExistingWorkFileAndServesNoSocketWithoutAFile) {
    const test::TempDir home;
    const auto file = home.Write("sub/image.hex", ":00000001FF\n");
    EXPECT_EQ(BrowseStartFolder(file.string(), home.Path()), home / "sub");
    const std::string missingFiles[] = {"", "< Data from buffer >", (home / "gone.bin").string()};
    for (const std::string& missing : missingFiles)
        EXPECT_EQ(BrowseStartFolder(missing, home.Path()), home.Path()) << missing;

    LoadDialogState dialog;
    dialog.unit = 1;
    dialog.socket = 1;
    EXPECT_TRUE(BrowseChoseFile(dialog, file));
    EXPECT_EQ(dialog.unit, 1);
    for (const std::filesystem::path& chosen :
         {std::filesystem::path(), home / "sub", home / "x"}) {
        dialog.unit = 2;
        dialog.socket = 2;
        EXPECT_FALSE(BrowseChoseFile(dialog, chosen)) << chosen;
        EXPECT_EQ(dialog.unit, 0);
        EXPECT_EQ(dialog.socket, 0);
    }
}

TEST(WindowRules, ClosingWaitsForWorkAndAsksBeforeStoppingARun) {
    struct Case {
        bool work, run, ask;
        std::deque<Answer> answers;
        CloseDecision decision;
        bool asked, stopped;
    };
    const Case cases[] = {
        {false, false, true, {}, CloseDecision::Close, false, false},
        // A detection or a load: closed once it has ended, nothing asked.
        {true, false, true, {}, CloseDecision::CloseWhenIdle, false, false},
        {true, true, true, {Answer::No}, CloseDecision::StayOpen, true, false},
        {true, true, true, {Answer::Yes}, CloseDecision::CloseWhenIdle, true, true},
        // Told to end from outside: the run stops after its step without a question.
        {true, true, false, {}, CloseDecision::CloseWhenIdle, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.work << c.run << c.ask);
        test::ScriptedOperator op(c.answers);
        bool stopped = false;
        EXPECT_EQ(DecideClose(c.work, c.run, c.ask, op, [&] { stopped = true; }), c.decision);
        EXPECT_EQ(stopped, c.stopped);
        ASSERT_EQ(op.messages.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(op.messages[0].text, kCloseDuringRunQuestion);
            EXPECT_EQ(op.messages[0].buttons, Buttons::YesNo);
        }
    }
}

}  // namespace
}  // namespace torq
