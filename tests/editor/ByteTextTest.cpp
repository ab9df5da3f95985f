#include "torq/editor/ByteText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "EditorFixtures.h"
#include "torq/editor/ByteTextFuzz.h"

namespace torq::editor {
namespace {

using test::ByteVector;

TEST(PastedHex, ReadsTheFormsEngineersCopyAndRefusesTheRest) {
    struct Case {
        const char* text;
        ByteVector bytes;
        const char* refusal = nullptr;  // part of the reason
    };
    const Case cases[] = {
        {"3F A0 00", {0x3F, 0xA0, 0x00}},
        {"3fa000", {0x3F, 0xA0, 0x00}},
        {"3F\r\nA0\t00\n", {0x3F, 0xA0, 0x00}},
        {"0x3F, 0xa0,0x0", {0x3F, 0xA0, 0x00}},
        {"DEAD BEEF", {0xDE, 0xAD, 0xBE, 0xEF}},
        {"", {}},
        {"3F A", {}, "\"A\" has an odd number of digits; a byte is two digits (at character 4)"},
        {"3F ?? 00", {}, "'?' is not a hexadecimal digit (at character 4)"},
        {"3F\xC3\xA9", {}, "this character is not a hexadecimal digit (at character 3)"},
        {"0x123", {}, "\"0x\" is followed by one or two digits"},
        {"3F-A0", {}, "'-' is not a hexadecimal digit (at character 3)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const PastedBytes parsed = ParsePastedHex(c.text);
        if (c.refusal) {
            ASSERT_TRUE(parsed.error);
            EXPECT_NE(parsed.error->Text().find(c.refusal), std::string::npos)
                << parsed.error->Text();
            EXPECT_TRUE(parsed.bytes.empty());
        } else {
            EXPECT_FALSE(parsed.error);
            EXPECT_EQ(parsed.bytes, c.bytes);
        }
    }
}

TEST(CopiedText, HexPairsAndPrintableCharacters) {
    const ByteVector bytes{0x3F, 0xA0, 0x00, 'A', 0x7F, ' '};
    EXPECT_EQ(HexBytesText(bytes), "3F A0 00 41 7F 20");
    EXPECT_EQ(CharacterText(bytes), "?..A. ");
    EXPECT_EQ(HexBytesText({}), "");
    EXPECT_EQ(ParsePastedHex(HexBytesText(test::Counting(256))).bytes, test::Counting(256));
}

TEST(GoToField, AddressesAndOffsetsClampedToTheDevice) {
    struct Case {
        const char* text;
        std::uint64_t unit;
        std::optional<std::uint64_t> target;  // from the cursor 0x1000, last address 0xFFFFF
    };
    const Case cases[] = {
        {"1A2B", 1, 0x1A2B},
        {"0x1a2b", 1, 0x1A2B},
        {"  0X1A2B ", 1, 0x1A2B},
        {"+10", 1, 0x1010},
        {"+ 0x10", 1, 0x1010},
        {"-10", 1, 0xFF0},
        {"-2000", 1, 0},                    // stops at the first address
        {"+FFFFFFFFFFFFFFFF", 1, 0xFFFFF},  // and at the last
        {"200000", 1, 0xFFFFF},
        {"800", 2, 0x1000},  // a word address
        {"+8", 2, 0x1010},
        {"FFFFFFFFFFFFFFFF", 2, 0xFFFFF},
        {"", 1, std::nullopt},
        {"0x", 1, std::nullopt},
        {"+", 1, std::nullopt},
        {"1G", 1, std::nullopt},
        {"+-1", 1, std::nullopt},
        {"10000000000000000", 1, std::nullopt},  // beyond 64 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto request = ParseGoTo(c.text);
        ASSERT_EQ(request.has_value(), c.target.has_value());
        if (request) {
            EXPECT_EQ(ResolveGoTo(*request, 0x1000, c.unit, 0xFFFFF), *c.target);
        }
    }
}

// The fuzz target's checks over the stored corpus and some hostile inputs, in every build.
TEST(ByteTextFuzzReplay, CorpusAndHostileInputsKeepEveryPromise) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TORQ_EDITOR_CORPUS_DIR)) {
        const std::string input = test::ReadFile(entry.path());
        FuzzByteText(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
        ++files;
    }
    EXPECT_GE(files, 5) << "the corpus is missing";
    std::mt19937 random(3);
    const std::string alphabet = "0123456789abcdefABCDEFxX?+- ,\t\r\n\xC3\xA9G";
    for (int round = 0; round < 2000; ++round) {
        std::string input(random() % 40, ' ');
        for (char& c : input)
            c = alphabet[random() % alphabet.size()];
        FuzzByteText(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    }
    const std::string huge(200000, 'A');
    FuzzByteText(reinterpret_cast<const std::uint8_t*>(huge.data()), huge.size());
}

}  // namespace
}  // namespace torq::editor
