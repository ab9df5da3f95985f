#include "torq/editor/Search.h"

#include <algorithm>
#include <cstring>

#include "ProgressFrame.h"

namespace torq::editor {

namespace {

bool IsLetter(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The byte scan gives way to the skip once its byte has turned up more often than once in this
// many bytes (after a few hits): the byte is common here, and every hit costs a call.
constexpr std::size_t kScanBytesPerHit = 32;
constexpr std::size_t kScanHitsAllowed = 64;

PatternParse Refused(std::string error) {
    return {std::nullopt, std::move(error)};
}

// Which starts of a pattern one pass looks at: first ... last, both inclusive.
struct StartRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t Count() const { return last - first + 1; }
};

struct Scan {
    const BufferDocument& document;
    const PatternMatcher& matcher;
    SearchProgress* progress;
    ProgressFrame& frame;
    std::vector<std::uint8_t>& block;
    std::size_t blockSize;
    std::uint64_t done = 0;
    bool cancelled = false;
    bool readFailed = false;

    bool Read(std::uint64_t offset, std::size_t count) {
        if (!document.Read(offset, {block.data(), count})) {
            readFailed = true;
            return false;
        }
        return true;
    }
    // After each block: progress, and whether the operator asked to stop.
    bool Advance(std::uint64_t starts) {
        done += starts;
        frame.Done(done);
        if (progress != nullptr && progress->StopRequested())
            cancelled = true;
        return !cancelled;
    }

    std::optional<std::uint64_t> Forward(StartRange range) {
        const std::size_t overlap = matcher.Size() - 1;
        for (std::uint64_t start = range.first;;) {
            const auto starts = static_cast<std::size_t>(
                std::min<std::uint64_t>(blockSize, range.last - start + 1));
            if (!Read(start, starts + overlap))
                return std::nullopt;
            if (const auto found = matcher.FindFirst({block.data(), starts + overlap}))
                return start + *found;
            if (!Advance(starts) || start + starts > range.last)
                return std::nullopt;
            start += starts;
        }
    }

    std::optional<std::uint64_t> Backward(StartRange range) {
        const std::size_t overlap = matcher.Size() - 1;
        for (std::uint64_t last = range.last;;) {
            const std::uint64_t first =
                last - range.first >= blockSize - 1 ? last - (blockSize - 1) : range.first;
            const auto starts = static_cast<std::size_t>(last - first + 1);
            if (!Read(first, starts + overlap))
                return std::nullopt;
            if (const auto found = matcher.FindLast({block.data(), starts + overlap}))
                return first + *found;
            if (!Advance(starts) || first == range.first)
                return std::nullopt;
            last = first - 1;
        }
    }
};

}  // namespace

PatternParse ParseSearchPattern(std::string_view text, PatternKind kind, bool matchCase) {
    SearchPattern pattern;
    if (kind == PatternKind::Hex) {
        HexBytesParse parsed = ParseHexBytes(text, true);
        if (parsed.error)
            return Refused("The pattern is not hexadecimal bytes: " + parsed.error->Text() + ".");
        pattern.bytes = std::move(parsed.bytes);
    } else {
        for (const char c : text) {
            const auto code = static_cast<std::uint8_t>(c);
            if (code >= 0x80)
                return Refused(
                    "The text holds a character beyond ASCII; search for its bytes "
                    "as hex instead.");
            if (!matchCase && IsLetter(code))
                pattern.bytes.push_back({static_cast<std::uint8_t>(code & 0xDF), 0xDF});
            else
                pattern.bytes.push_back({code, 0xFF});
        }
    }
    if (pattern.bytes.empty())
        return Refused("Type the bytes or the text to find.");
    if (pattern.bytes.size() > kPatternLimit)
        return Refused("The pattern is longer than " + std::to_string(kPatternLimit) + " bytes.");
    if (std::all_of(pattern.bytes.begin(), pattern.bytes.end(),
                    [](const PatternByte& b) { return b.mask == 0; }))
        return Refused("The pattern needs at least one byte that is not ??.");
    return {std::move(pattern), {}};
}

PatternMatcher::PatternMatcher(const SearchPattern& pattern) : size_(pattern.Size()) {
    std::size_t end = size_;
    while (lead_ < end && pattern.bytes[lead_].mask == 0)
        ++lead_;
    while (end > lead_ && pattern.bytes[end - 1].mask == 0)
        --end;
    for (std::size_t i = lead_; i < end; ++i) {
        values_.push_back(pattern.bytes[i].value & pattern.bytes[i].mask);
        masks_.push_back(pattern.bytes[i].mask);
    }
    const std::size_t core = values_.size();
    std::fill(std::begin(forwardShift_), std::end(forwardShift_), core);
    std::fill(std::begin(backwardShift_), std::end(backwardShift_), core);
    if (core == 0)
        return;
    // Forward: how far the window may move when byte b sits under the core's last position; the
    // nearest earlier position b can match decides. Backward mirrors it from the first position.
    for (std::size_t j = 0; j + 1 < core; ++j) {
        for (unsigned b = 0; b < 256; ++b) {
            if ((b & masks_[j]) == values_[j])
                forwardShift_[b] = core - 1 - j;
        }
    }
    for (std::size_t j = core - 1; j >= 1; --j) {
        for (unsigned b = 0; b < 256; ++b) {
            if ((b & masks_[j]) == values_[j])
                backwardShift_[b] = j;
        }
    }
    // The byte scan's byte: a fixed one, the last that is neither 00 nor FF if any.
    for (std::size_t i = 0; i < size_; ++i) {
        const PatternByte& b = pattern.bytes[i];
        if (b.mask != 0xFF)
            continue;
        const bool filler = b.value == 0x00 || b.value == 0xFF;
        if (!anchor_ || !filler || anchorValue_ == 0x00 || anchorValue_ == 0xFF) {
            anchor_ = i;
            anchorValue_ = b.value;
        }
    }
}

bool PatternMatcher::CoreMatchesAt(const std::uint8_t* core) const {
    for (std::size_t i = 0; i < values_.size(); ++i) {
        if ((core[i] & masks_[i]) != values_[i])
            return false;
    }
    return true;
}

std::optional<std::size_t> PatternMatcher::FindFirst(std::span<const std::uint8_t> data) const {
    if (values_.empty() || data.size() < size_)
        return std::nullopt;
    if (!anchor_)
        return SkipFirst(data, 0);
    const std::uint8_t* bytes = data.data();
    const std::size_t lastStart = data.size() - size_;
    std::size_t start = 0;
    for (std::size_t hits = 1;; ++hits) {
        const void* found =
            std::memchr(bytes + start + *anchor_, anchorValue_, lastStart - start + 1);
        if (found == nullptr)
            return std::nullopt;
        start =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes) - *anchor_;
        if (CoreMatchesAt(bytes + start + lead_))
            return start;
        if (start == lastStart)
            return std::nullopt;
        ++start;
        if (hits > kScanHitsAllowed && hits * kScanBytesPerHit > start)
            return SkipFirst(data, start);
    }
}

std::optional<std::size_t> PatternMatcher::FindLast(std::span<const std::uint8_t> data) const {
    if (values_.empty() || data.size() < size_)
        return std::nullopt;
    const std::size_t lastStart = data.size() - size_;
    if (!anchor_)
        return SkipLast(data, lastStart);
    const std::uint8_t* bytes = data.data();
    // The starts still to look at: 0 ... end - 1.
    std::size_t end = lastStart + 1;
    for (std::size_t hits = 1;; ++hits) {
        const void* found = ::memrchr(bytes + *anchor_, anchorValue_, end);
        if (found == nullptr)
            return std::nullopt;
        const std::size_t start =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes) - *anchor_;
        if (CoreMatchesAt(bytes + start + lead_))
            return start;
        if (start == 0)
            return std::nullopt;
        end = start;
        if (hits > kScanHitsAllowed && hits * kScanBytesPerHit > lastStart + 1 - end)
            return SkipLast(data, end - 1);
    }
}

std::optional<std::size_t> PatternMatcher::SkipFirst(std::span<const std::uint8_t> data,
                                                     std::size_t first) const {
    const std::size_t core = values_.size();
    const std::uint8_t* bytes = data.data();
    const std::size_t lastCore = data.size() - size_ + lead_;
    const std::uint8_t lastMask = masks_[core - 1];
    const std::uint8_t lastValue = values_[core - 1];
    for (std::size_t c = first + lead_; c <= lastCore;) {
        const std::uint8_t b = bytes[c + core - 1];
        if ((b & lastMask) == lastValue && CoreMatchesAt(bytes + c))
            return c - lead_;
        c += forwardShift_[b];
    }
    return std::nullopt;
}

std::optional<std::size_t> PatternMatcher::SkipLast(std::span<const std::uint8_t> data,
                                                    std::size_t last) const {
    const std::uint8_t* bytes = data.data();
    const std::uint8_t firstMask = masks_[0];
    const std::uint8_t firstValue = values_[0];
    for (std::size_t c = last + lead_;;) {
        const std::uint8_t b = bytes[c];
        if ((b & firstMask) == firstValue && CoreMatchesAt(bytes + c))
            return c - lead_;
        const std::size_t shift = backwardShift_[b];
        if (c < lead_ + shift)
            return std::nullopt;
        c -= shift;
    }
}

SearchResult FindPattern(const BufferDocument& document, const SearchPattern& pattern,
                         const SearchRequest& request, SearchProgress* progress,
                         std::size_t blockSize) {
    SearchResult result;
    const std::size_t size = pattern.Size();
    if (size == 0 || request.end < size)
        return result;
    const std::uint64_t lastStart = request.end - size;
    const std::uint64_t from = std::min(request.from, request.end);
    // Forward looks at the starts from `from` on, backward at those before it; wrapping, each then
    // looks at the other part.
    std::optional<StartRange> ahead;
    std::optional<StartRange> behind;
    if (from <= lastStart)
        ahead = StartRange{from, lastStart};
    if (from > 0)
        behind = StartRange{0, std::min(from - 1, lastStart)};
    const bool forward = request.direction == SearchDirection::Forward;
    const std::optional<StartRange> first = forward ? ahead : behind;
    const std::optional<StartRange> second =
        request.wrap ? (forward ? behind : ahead) : std::nullopt;

    blockSize = std::max<std::size_t>(blockSize, 1);
    const PatternMatcher matcher(pattern);
    std::vector<std::uint8_t> block(blockSize + size - 1);
    ProgressFrame frame(progress, (first ? first->Count() : 0) + (second ? second->Count() : 0));
    Scan scan{document, matcher, progress, frame, block, blockSize};
    const auto run = [&](StartRange range) {
        return forward ? scan.Forward(range) : scan.Backward(range);
    };
    if (first)
        result.address = run(*first);
    if (!result.address && second && !scan.cancelled && !scan.readFailed) {
        result.address = run(*second);
        result.wrapped = result.address.has_value();
    }
    result.cancelled = scan.cancelled;
    if (scan.readFailed)
        result.error = "The buffer file " + document.Path().string() + " cannot be read.";
    return result;
}

PageMask MatchesOnPage(const PatternMatcher& matcher, std::span<const std::uint8_t> window,
                       std::uint64_t windowStart, std::uint64_t pageStart) {
    PageMask mask;
    const std::uint64_t pageEnd = pageStart + mask.size();
    for (std::size_t from = 0; from < window.size();) {
        const auto found = matcher.FindFirst(window.subspan(from));
        if (!found)
            break;
        const std::uint64_t start = windowStart + from + *found;
        const std::uint64_t end = start + matcher.Size();
        for (std::uint64_t a = std::max(start, pageStart); a < std::min(end, pageEnd); ++a)
            mask.set(static_cast<std::size_t>(a - pageStart));
        from += *found + 1;
    }
    return mask;
}

}  // namespace torq::editor
