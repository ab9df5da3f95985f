#include "torq/editor/ByteText.h"

#include <algorithm>
#include <array>

#include "torq/devlib/Text.h"

namespace torq::editor {

namespace {

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == ',';
}

// What each character is to the byte text, looked up once per character: a megabyte of pasted
// text is read in a few milliseconds. Built from the shared hex-digit rule.
constexpr std::uint8_t kSeparator = 0x10;
constexpr std::uint8_t kWildcard = 0x11;
constexpr std::uint8_t kOther = 0x12;
const std::array<std::uint8_t, 256>& CharacterClasses() {
    static const std::array<std::uint8_t, 256> classes = [] {
        std::array<std::uint8_t, 256> table{};
        for (int code = 0; code < 256; ++code) {
            const char c = static_cast<char>(code);
            const int digit = HexDigitValue(c);
            table[static_cast<std::size_t>(code)] = digit >= 0 ? static_cast<std::uint8_t>(digit)
                                                    : IsSeparator(c) ? kSeparator
                                                    : c == '?'       ? kWildcard
                                                                     : kOther;
        }
        return table;
    }();
    return classes;
}

// The character (from 1) the byte at `index` belongs to: a UTF-8 sequence counts once.
std::size_t ColumnOf(std::string_view text, std::size_t index) {
    std::size_t column = 1;
    for (std::size_t i = 0; i < index && i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            ++column;
    }
    return column;
}

std::string Shown(char c) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 0x21 && code < 0x7F)
        return std::string("'") + c + "'";
    return "this character";
}

// Reads the byte text, calling `add(value, mask)` for each byte; the error when it is refused.
template <typename Add>
std::optional<ByteTextError> ReadHexBytes(std::string_view text, bool wildcards, Add&& add) {
    const auto error = [&](std::size_t index, std::string reason) {
        return ByteTextError{ColumnOf(text, index), std::move(reason)};
    };
    const auto& classes = CharacterClasses();
    const auto classOf = [&](char c) { return classes[static_cast<unsigned char>(c)]; };
    // One half byte: its value and its mask (0 for a wildcard); false for any other character.
    const auto nibble = [&](char c, std::uint8_t& value, std::uint8_t& mask) {
        const std::uint8_t kind = classOf(c);
        if (kind < kSeparator) {
            value = kind;
            mask = 0x0F;
            return true;
        }
        value = 0;
        mask = 0;
        return wildcards && kind == kWildcard;
    };
    const std::string_view what = wildcards ? "a hexadecimal digit or ?" : "a hexadecimal digit";
    std::size_t i = 0;
    while (i < text.size()) {
        if (classOf(text[i]) == kSeparator) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && classOf(text[end]) != kSeparator)
            ++end;
        std::size_t first = i;
        const bool prefixed =
            end - i >= 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X');
        if (prefixed) {
            first = i + 2;
            if (end - first == 0 || end - first > 2)
                return error(i, "\"0x\" is followed by one or two digits, one byte");
        }
        std::uint8_t values[2]{};
        std::uint8_t masks[2]{};
        int held = 0;
        for (std::size_t j = first; j < end; ++j) {
            if (!nibble(text[j], values[held], masks[held]))
                return error(j, Shown(text[j]) + " is not " + std::string(what));
            if (++held < 2 && !(prefixed && j + 1 == end))
                continue;
            if (held == 1) {  // "0x5": one digit is the low half of the byte
                values[1] = values[0];
                masks[1] = masks[0];
                values[0] = 0;
                masks[0] = 0x0F;
            }
            add(static_cast<std::uint8_t>(values[0] << 4 | values[1]),
                static_cast<std::uint8_t>(masks[0] << 4 | masks[1]));
            held = 0;
        }
        if (held != 0)
            return error(i, "\"" + std::string(text.substr(i, std::min<std::size_t>(end - i, 16))) +
                                (end - i > 16 ? "..." : "") +
                                "\" has an odd number of digits; a byte is two digits");
        i = end;
    }
    return std::nullopt;
}

}  // namespace

std::string ByteTextError::Text() const {
    return reason + " (at character " + std::to_string(column) + ")";
}

HexBytesParse ParseHexBytes(std::string_view text, bool wildcards) {
    HexBytesParse result;
    result.error = ReadHexBytes(text, wildcards, [&](std::uint8_t value, std::uint8_t mask) {
        result.bytes.push_back({value, mask});
    });
    if (result.error)
        result.bytes.clear();
    return result;
}

PastedBytes ParsePastedHex(std::string_view text) {
    PastedBytes result;
    result.bytes.reserve(text.size() / 2);
    result.error = ReadHexBytes(
        text, false, [&](std::uint8_t value, std::uint8_t) { result.bytes.push_back(value); });
    if (result.error)
        result.bytes.clear();
    return result;
}

std::string HexBytesText(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    if (bytes.empty())
        return text;
    text.resize(bytes.size() * 3 - 1, ' ');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text[i * 3] = kDigits[bytes[i] >> 4];
        text[i * 3 + 1] = kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::string CharacterText(std::span<const std::uint8_t> bytes) {
    std::string text(bytes.size(), '.');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        // Without a branch: random data would mispredict every other byte.
        const std::uint8_t b = bytes[i];
        text[i] = static_cast<char>(b >= 0x20 && b < 0x7F ? b : '.');
    }
    return text;
}

std::optional<GoToRequest> ParseGoTo(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    GoToRequest request;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        request.kind =
            text.front() == '+' ? GoToRequest::Kind::Forward : GoToRequest::Kind::Backward;
        text.remove_prefix(1);
        while (!text.empty() && isSpace(text.front()))
            text.remove_prefix(1);
    }
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    const auto value = ParseHex64(text);
    if (!value)
        return std::nullopt;
    request.value = *value;
    return request;
}

std::uint64_t ResolveGoTo(const GoToRequest& request, std::uint64_t cursor, std::uint64_t unitBytes,
                          std::uint64_t lastAddress) {
    // Saturating: an address or offset beyond 64 bits is simply beyond the last address.
    const std::uint64_t bytes =
        request.value > UINT64_MAX / unitBytes ? UINT64_MAX : request.value * unitBytes;
    switch (request.kind) {
        case GoToRequest::Kind::Absolute:
            return std::min(bytes, lastAddress);
        case GoToRequest::Kind::Forward:
            return bytes > lastAddress || cursor > lastAddress - bytes ? lastAddress
                                                                       : cursor + bytes;
        case GoToRequest::Kind::Backward:
            return std::min(bytes >= cursor ? 0 : cursor - bytes, lastAddress);
    }
    return 0;
}

}  // namespace torq::editor
