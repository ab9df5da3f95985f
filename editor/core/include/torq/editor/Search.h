// Finding a byte pattern in the buffer file: a hex pattern with wildcards or a text, case
// sensitive or not, forward or backward from an address, wrapping at the device's ends. The file
// is streamed in blocks that overlap by the pattern's length less one byte, so a match across two
// blocks is found and memory stays flat whatever the device size.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "torq/devlib/Seams.h"
#include "torq/editor/ByteText.h"
#include "torq/editor/Document.h"

namespace torq::editor {

inline constexpr std::size_t kSearchBlockSize = std::size_t{1} << 20;
// The longest pattern taken; a block overlaps the next by less than this.
inline constexpr std::size_t kPatternLimit = 4096;

enum class PatternKind { Hex, Text };

struct SearchPattern {
    std::vector<PatternByte> bytes;
    std::size_t Size() const { return bytes.size(); }
};

// A hex pattern ("3F A0 ?? 12", "3?" for half a byte) or a text (ASCII; without matchCase a
// letter matches either case). Refused: an empty pattern, one of wildcards only, one longer than
// the limit, a text with characters beyond ASCII, and every malformed hex text.
struct PatternParse {
    std::optional<SearchPattern> pattern;
    std::string error;
};
PatternParse ParseSearchPattern(std::string_view text, PatternKind kind, bool matchCase);

// Finds a pattern in bytes in memory. With a fixed byte in the pattern (one neither 00 nor FF
// when there is one, as those fill most of a flash image), the library's byte scan finds where
// that byte stands and the rest is compared there; where that byte turns out to be common, or
// the pattern has none, Horspool's skip over the pattern's core (the pattern without its leading
// and trailing wildcards) takes over. Every byte is compared under its mask.
class PatternMatcher {
  public:
    explicit PatternMatcher(const SearchPattern& pattern);
    std::size_t Size() const { return size_; }
    // The first or the last start in `data` where the whole pattern lies within `data`.
    std::optional<std::size_t> FindFirst(std::span<const std::uint8_t> data) const;
    std::optional<std::size_t> FindLast(std::span<const std::uint8_t> data) const;

  private:
    bool CoreMatchesAt(const std::uint8_t* core) const;
    // Horspool over the starts from `first` on, or up to `last`.
    std::optional<std::size_t> SkipFirst(std::span<const std::uint8_t> data,
                                         std::size_t first) const;
    std::optional<std::size_t> SkipLast(std::span<const std::uint8_t> data, std::size_t last) const;

    std::optional<std::size_t> anchor_;  // the fixed byte the byte scan looks for
    std::uint8_t anchorValue_ = 0;

    std::size_t size_ = 0;
    std::size_t lead_ = 0;  // wildcards before the core
    std::vector<std::uint8_t> values_;
    std::vector<std::uint8_t> masks_;
    std::size_t forwardShift_[256]{};
    std::size_t backwardShift_[256]{};
};

enum class SearchDirection { Forward, Backward };

// Forward: the first match starting at `from` or after it. Backward: the last match starting
// before `from`. Only matches that lie wholly below `end` (the device's size) count. With `wrap`,
// a search that reaches the device's end goes on from the other end up to `from`.
struct SearchRequest {
    std::uint64_t from = 0;
    std::uint64_t end = 0;
    SearchDirection direction = SearchDirection::Forward;
    bool wrap = true;
};

struct SearchResult {
    std::optional<std::uint64_t> address;
    bool wrapped = false;    // found after going round the device's end
    bool cancelled = false;  // the operator stopped it
    std::string error;       // the file could not be read
};

// How far a search has come, and whether the operator asked it to stop (asked after each block).
class SearchProgress : public ProgressSink {
  public:
    virtual bool StopRequested() { return false; }
};

SearchResult FindPattern(const BufferDocument& document, const SearchPattern& pattern,
                         const SearchRequest& request, SearchProgress* progress = nullptr,
                         std::size_t blockSize = kSearchBlockSize);

// The bytes of one page that some match covers. `window` holds the bytes from `windowStart`: the
// page and up to the pattern's length less one byte on each side (within the device).
using PageMask = std::bitset<256>;
PageMask MatchesOnPage(const PatternMatcher& matcher, std::span<const std::uint8_t> window,
                       std::uint64_t windowStart, std::uint64_t pageStart);

}  // namespace torq::editor
