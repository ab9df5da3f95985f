#include "torq/editor/ByteTextFuzz.h"

#include <cstdlib>
#include <string_view>

#include "torq/editor/ByteText.h"
#include "torq/editor/Search.h"

namespace torq::editor {

namespace {

void Require(bool promise) {
    if (!promise)
        std::abort();
}

void CheckError(const std::optional<ByteTextError>& error, std::string_view text) {
    if (!error)
        return;
    Require(!error->reason.empty());
    Require(error->column >= 1 && error->column <= text.size());
}

}  // namespace

void FuzzByteText(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const PastedBytes pasted = ParsePastedHex(text);
    CheckError(pasted.error, text);
    if (!pasted.error) {
        // What was accepted reads back the same once written out as the editor copies it.
        const PastedBytes again = ParsePastedHex(HexBytesText(pasted.bytes));
        Require(!again.error && again.bytes == pasted.bytes);
    }

    const HexBytesParse wild = ParseHexBytes(text, true);
    CheckError(wild.error, text);
    Require(!wild.error || wild.bytes.empty());
    // Every byte the strict parser takes the wildcard parser takes too, as fixed bytes.
    if (!pasted.error) {
        Require(!wild.error && wild.bytes.size() == pasted.bytes.size());
        for (std::size_t i = 0; i < wild.bytes.size(); ++i)
            Require(wild.bytes[i].mask == 0xFF && wild.bytes[i].value == pasted.bytes[i]);
    }

    for (const PatternKind kind : {PatternKind::Hex, PatternKind::Text}) {
        for (const bool matchCase : {true, false}) {
            const PatternParse parsed = ParseSearchPattern(text, kind, matchCase);
            Require(parsed.pattern.has_value() == parsed.error.empty());
            if (parsed.pattern) {
                Require(parsed.pattern->Size() >= 1 && parsed.pattern->Size() <= kPatternLimit);
                // The matcher finds the pattern's own bytes.
                std::vector<std::uint8_t> own;
                for (const PatternByte& b : parsed.pattern->bytes)
                    own.push_back(b.value & b.mask);
                Require(PatternMatcher(*parsed.pattern).FindFirst(own) == std::size_t{0});
            }
        }
    }

    if (const auto request = ParseGoTo(text)) {
        for (const std::uint64_t last : {std::uint64_t{0}, std::uint64_t{0xFFFF}, UINT64_MAX}) {
            for (const std::uint64_t unit : {1u, 2u})
                Require(ResolveGoTo(*request, last / 2, unit, last) <= last);
        }
    }
}

}  // namespace torq::editor
