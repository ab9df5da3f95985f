// Bytes as the operator types or pastes them, and as the editor copies them out: hexadecimal byte
// text ("3F A0 ..", with "??" for any byte in a search pattern), the text form of the character
// column, and the Go to field's address. Everything here reads outside input (a clipboard, a
// typed field) and so checks every character and every length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace torq::editor {

// Why a byte text was refused, and the character (counted from 1) where it went wrong.
struct ByteTextError {
    std::size_t column = 0;
    std::string reason;
    // "... at character 7"
    std::string Text() const;
};

// One byte of a pattern: the bits `mask` selects must equal `value`. Mask FF is a fixed byte, 00
// any byte, F0 or 0F half a byte ("3?"), DF a letter in either case.
struct PatternByte {
    std::uint8_t value = 0;
    std::uint8_t mask = 0xFF;
};

// Hexadecimal byte text: whitespace and commas between bytes; a group of digits without spaces is
// read two digits to a byte ("3FA0" is 3F A0); "0x" before one or two digits is one byte, as a C
// array writes it. With wildcards, "?" stands for any half byte, so "??" is any byte.
struct HexBytesParse {
    std::vector<PatternByte> bytes;
    std::optional<ByteTextError> error;
};
HexBytesParse ParseHexBytes(std::string_view text, bool wildcards);

// A pasted hex text as plain bytes; no wildcards.
struct PastedBytes {
    std::vector<std::uint8_t> bytes;
    std::optional<ByteTextError> error;
};
PastedBytes ParsePastedHex(std::string_view text);

// The bytes as upper-case hex pairs with one space between them ("3F A0 00").
std::string HexBytesText(std::span<const std::uint8_t> bytes);
// The bytes as the character column shows them: printable ASCII as itself, any other byte '.'.
std::string CharacterText(std::span<const std::uint8_t> bytes);

// ---- Go to ----

// A hexadecimal address, with or without "0x"; "+" or "-" before it makes it an offset from the
// cursor. Spaces around it are ignored.
struct GoToRequest {
    enum class Kind { Absolute, Forward, Backward };
    Kind kind = Kind::Absolute;
    std::uint64_t value = 0;
};
std::optional<GoToRequest> ParseGoTo(std::string_view text);
// The byte address the request names: `unitBytes` is 2 when the view counts word addresses. An
// offset stops at address 0, and every target at the last address.
std::uint64_t ResolveGoTo(const GoToRequest& request, std::uint64_t cursor, std::uint64_t unitBytes,
                          std::uint64_t lastAddress);

}  // namespace torq::editor
