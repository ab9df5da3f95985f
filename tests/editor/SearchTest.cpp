#include "torq/editor/Search.h"

#include <gtest/gtest.h>

#include <random>

#include "EditorFixtures.h"
#include "torq/devlib/Text.h"

namespace torq::editor {
namespace {

using test::ByteVector;
using test::TempDir;

// The pattern as "value/mask" pairs, for comparing in one line.
std::string Describe(const SearchPattern& pattern) {
    std::string text;
    for (const PatternByte& b : pattern.bytes) {
        text += (text.empty() ? "" : " ") + HexText(b.value, 2);
        if (b.mask != 0xFF)
            text += "/" + HexText(b.mask, 2);
    }
    return text;
}

TEST(SearchPatternParser, ReadsHexAndTextAndRefusesWhatItCannotSearch) {
    struct Case {
        const char* text;
        PatternKind kind;
        bool matchCase;
        const char* pattern;  // null: refused
        const char* refusal = "";
    };
    const Case cases[] = {
        {"3F A0 12", PatternKind::Hex, true, "3F A0 12"},
        {"3fa012", PatternKind::Hex, true, "3F A0 12"},
        {"  3F\tA0\r\n12 ", PatternKind::Hex, true, "3F A0 12"},
        {"0x3F, 0xA0, 0x5", PatternKind::Hex, true, "3F A0 05"},
        {"3F ?? 12", PatternKind::Hex, true, "3F 00/00 12"},
        {"3? ?F", PatternKind::Hex, true, "30/F0 0F/0F"},
        {"?? 12 ??", PatternKind::Hex, true, "00/00 12 00/00"},
        {"3F A", PatternKind::Hex, true, nullptr, "a byte is two digits (at character 4)"},
        {"3G", PatternKind::Hex, true, nullptr,
         "'G' is not a hexadecimal digit or ? (at character 2)"},
        {"0x123", PatternKind::Hex, true, nullptr, "one or two digits"},
        {"0x", PatternKind::Hex, true, nullptr, "one or two digits"},
        {"", PatternKind::Hex, true, nullptr, "Type the bytes"},
        {" , ", PatternKind::Hex, true, nullptr, "Type the bytes"},
        {"?? ??", PatternKind::Hex, true, nullptr, "at least one byte that is not ??"},
        {"Boot", PatternKind::Text, true, "42 6F 6F 74"},
        {"Bo1!", PatternKind::Text, false, "42/DF 4F/DF 31 21"},
        {"", PatternKind::Text, false, nullptr, "Type the bytes"},
        {"v\xC3\xA9", PatternKind::Text, true, nullptr, "beyond ASCII"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const PatternParse parsed = ParseSearchPattern(c.text, c.kind, c.matchCase);
        if (c.pattern) {
            ASSERT_TRUE(parsed.pattern) << parsed.error;
            EXPECT_EQ(Describe(*parsed.pattern), c.pattern);
        } else {
            EXPECT_FALSE(parsed.pattern);
            EXPECT_NE(parsed.error.find(c.refusal), std::string::npos) << parsed.error;
        }
    }
    // The length limit, at the edge.
    std::string longest;
    for (std::size_t i = 0; i < kPatternLimit; ++i)
        longest += "A5";
    EXPECT_TRUE(ParseSearchPattern(longest, PatternKind::Hex, true).pattern);
    EXPECT_FALSE(ParseSearchPattern(longest + "A5", PatternKind::Hex, true).pattern);
}

// Every start of every match in `data`, by brute force.
std::vector<std::size_t> AllMatches(const ByteVector& data, const SearchPattern& pattern) {
    std::vector<std::size_t> starts;
    for (std::size_t s = 0; s + pattern.Size() <= data.size(); ++s) {
        bool match = true;
        for (std::size_t i = 0; i < pattern.Size() && match; ++i)
            match = (data[s + i] & pattern.bytes[i].mask) ==
                    (pattern.bytes[i].value & pattern.bytes[i].mask);
        if (match)
            starts.push_back(s);
    }
    return starts;
}

// The byte scan and the skip against brute force: random data over a small alphabet (matches
// and near matches everywhere, so the scan gives way to the skip) and over all byte values with
// the pattern's bytes planted here and there (the scan finds them), patterns with wildcards,
// half bytes, 00 and FF.
TEST(PatternMatcher, FindsTheSameFirstAndLastMatchesAsBruteForce) {
    std::mt19937 random(5);
    const char* patterns[] = {"41",       "41 42",          "41 ?? 43", "?? 41 42 ??", "4? 42",
                              "41 41 41", "42 ?? ?? ?? 41", "FF 41 00", "00 FF",       "?? 4? ??"};
    for (int round = 0; round < 400; ++round) {
        const bool wide = round % 2 == 1;
        ByteVector data(1 + random() % (wide ? 3000 : 300));
        for (auto& b : data)
            b = static_cast<std::uint8_t>(wide ? random() : 0x41 + random() % 3);
        if (wide) {
            const std::uint8_t planted[] = {0x41, 0x42, 0x43, 0x00, 0xFF};
            for (int n = 0; n < 4; ++n) {
                const std::size_t at = random() % data.size();
                for (std::size_t i = 0; i < 5 && at + i < data.size(); ++i)
                    data[at + i] = planted[(i + n) % 5];
            }
        }
        for (const char* text : patterns) {
            const auto pattern = ParseSearchPattern(text, PatternKind::Hex, true).pattern.value();
            const PatternMatcher matcher(pattern);
            const auto expected = AllMatches(data, pattern);
            const auto first = matcher.FindFirst(data);
            const auto last = matcher.FindLast(data);
            ASSERT_EQ(first.has_value(), !expected.empty()) << text;
            if (!expected.empty()) {
                EXPECT_EQ(*first, expected.front()) << text;
                EXPECT_EQ(*last, expected.back()) << text;
            }
        }
    }
    const auto anyCase = ParseSearchPattern("boot", PatternKind::Text, false).pattern.value();
    const std::string text = "xxBOOTxxBoOtxxboot";
    const ByteVector bytes(text.begin(), text.end());
    EXPECT_EQ(PatternMatcher(anyCase).FindFirst(bytes), 2u);
    EXPECT_EQ(PatternMatcher(anyCase).FindLast(bytes), 14u);
    const auto exact = ParseSearchPattern("boot", PatternKind::Text, true).pattern.value();
    EXPECT_EQ(PatternMatcher(exact).FindFirst(bytes), 14u);
}

struct Buffer {
    explicit Buffer(const ByteVector& bytes)
        : path(test::WriteBuffer(dir, bytes)), document(path) {}
    SearchResult Find(const char* hex, std::uint64_t from, SearchDirection direction,
                      std::uint64_t end, bool wrap = true, std::size_t block = 16) const {
        const auto pattern = ParseSearchPattern(hex, PatternKind::Hex, true).pattern.value();
        return FindPattern(document, pattern, {from, end, direction, wrap}, nullptr, block);
    }
    TempDir dir;
    std::filesystem::path path;
    BufferDocument document;
};

// A match at every offset around a block edge (16-byte blocks here), either direction: the
// overlap of the pattern's length less one byte finds it wherever it lies.
TEST(FindPattern, FindsMatchesAcrossBlockEdgesBothWays) {
    for (std::size_t at = 10; at <= 22; ++at) {
        ByteVector bytes(64, 0x00);
        bytes[at] = 0xDE;
        bytes[at + 1] = 0xAD;
        bytes[at + 2] = 0xBE;
        bytes[at + 3] = 0xEF;
        const Buffer buffer(bytes);
        EXPECT_EQ(buffer.Find("DE AD BE EF", 0, SearchDirection::Forward, 64).address, at) << at;
        EXPECT_EQ(buffer.Find("DE ?? BE EF", 0, SearchDirection::Forward, 64).address, at) << at;
        EXPECT_EQ(buffer.Find("DE AD BE EF", 64, SearchDirection::Backward, 64).address, at) << at;
        EXPECT_EQ(buffer.Find("?? AD ?? EF ??", 64, SearchDirection::Backward, 64).address, at)
            << at;
    }
}

TEST(FindPattern, ForwardAndBackwardFromAnAddressThenWrapping) {
    ByteVector bytes(100, 0xFF);
    for (const std::size_t at : {5u, 40u, 90u}) {
        bytes[at] = 0x12;
        bytes[at + 1] = 0x34;
    }
    const Buffer buffer(bytes);
    const auto forward = [&](std::uint64_t from) {
        return buffer.Find("12 34", from, SearchDirection::Forward, 100);
    };
    const auto backward = [&](std::uint64_t from) {
        return buffer.Find("12 34", from, SearchDirection::Backward, 100);
    };
    EXPECT_EQ(forward(0).address, 5u);
    EXPECT_EQ(forward(5).address, 5u) << "a match at the start address counts forward";
    EXPECT_EQ(forward(6).address, 40u);
    EXPECT_FALSE(forward(6).wrapped);
    EXPECT_EQ(forward(91).address, 5u);
    EXPECT_TRUE(forward(91).wrapped);
    EXPECT_EQ(backward(90).address, 40u) << "backward: only matches before the address";
    EXPECT_EQ(backward(91).address, 90u);
    EXPECT_EQ(backward(5).address, 90u);
    EXPECT_TRUE(backward(5).wrapped);
    EXPECT_FALSE(buffer.Find("12 34", 91, SearchDirection::Forward, 100, false).address)
        << "no wrap: the end of the device ends the search";
    // A match the device's end cuts is no match.
    EXPECT_EQ(buffer.Find("12 34", 90, SearchDirection::Forward, 92).address, 90u);
    const auto cut = buffer.Find("12 34", 90, SearchDirection::Forward, 91);
    EXPECT_EQ(cut.address, 5u) << "the match at 90 ends past a 91-byte device";
    EXPECT_TRUE(cut.wrapped);
    const auto none = buffer.Find("AB CD", 50, SearchDirection::Forward, 100);
    EXPECT_FALSE(none.address);
    EXPECT_FALSE(none.wrapped);
    EXPECT_FALSE(none.cancelled);
}

// Bytes beyond a shorter buffer file read as FF, as everywhere in the editor.
TEST(FindPattern, BytesPastTheFileEndAreErased) {
    const Buffer buffer({0x00, 0x11});
    EXPECT_EQ(buffer.Find("11 FF FF", 0, SearchDirection::Forward, 0x40).address, 1u);
    EXPECT_EQ(buffer.Find("FF", 0x40, SearchDirection::Backward, 0x40).address, 0x3Fu);
}

class StopAfter final : public SearchProgress {
  public:
    explicit StopAfter(int blocks) : blocks_(blocks) {}
    void Progress(std::uint64_t done, std::uint64_t total) override {
        last = done;
        totalSeen = total;
        ++calls;
    }
    bool StopRequested() override { return calls >= blocks_; }
    int calls = 0;
    std::uint64_t last = 0;
    std::uint64_t totalSeen = 0;

  private:
    int blocks_;
};

TEST(FindPattern, ReportsProgressAndStopsWhenAsked) {
    const Buffer buffer(ByteVector(1000, 0x00));
    const auto pattern = ParseSearchPattern("AA", PatternKind::Hex, true).pattern.value();
    StopAfter stop(3);
    const SearchResult stopped = FindPattern(
        buffer.document, pattern, {500, 1000, SearchDirection::Forward, true}, &stop, 100);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_FALSE(stopped.address);
    EXPECT_EQ(stop.calls, 3) << "nothing read after the stop";
    EXPECT_EQ(stop.totalSeen, 1000u) << "every start, both sides of the wrap";

    StopAfter never(1000);
    FindPattern(buffer.document, pattern, {500, 1000, SearchDirection::Forward, true}, &never, 100);
    EXPECT_EQ(never.last, 1000u);
}

TEST(FindPattern, MarksEveryMatchOnThePageIncludingThoseReachingIntoIt) {
    ByteVector bytes(0x300, 0x00);
    // One match ending on the page's first byte, one inside, one starting on its last byte.
    for (const std::size_t at : {0xFEu, 0x180u, 0x1FFu}) {
        bytes[at] = 0xA1;
        bytes[at + 1] = 0xB2;
        bytes[at + 2] = 0xC3;
    }
    const auto pattern = ParseSearchPattern("A1 B2 C3", PatternKind::Hex, true).pattern.value();
    const PatternMatcher matcher(pattern);
    const std::span<const std::uint8_t> window(bytes.data() + 0xFE, 256 + 4);
    const PageMask mask = MatchesOnPage(matcher, window, 0xFE, 0x100);
    PageMask expected;
    for (const std::size_t i : {0u, 0x80u, 0x81u, 0x82u, 0xFFu})
        expected.set(i);
    EXPECT_EQ(mask, expected);
}

}  // namespace
}  // namespace torq::editor
