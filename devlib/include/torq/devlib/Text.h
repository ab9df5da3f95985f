// Small text rules shared by every layer: case-insensitive comparison, hexadecimal digits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torq {

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// Orders like a case-insensitive list sort: by lower-case text, then by the text itself.
bool LessIgnoringCase(std::string_view a, std::string_view b);
void SortIgnoringCase(std::vector<std::string>& list);

std::string ToUpper(std::string_view text);
bool Contains(std::string_view text, std::string_view part);

// The value of one hexadecimal digit, or -1.
int HexDigitValue(char c);
bool IsHexDigit(char c);
// Reads hexadecimal digits (no prefix) into a 64-bit value; false on any other character or
// on overflow. An empty text is not a number.
std::optional<std::uint64_t> ParseHex64(std::string_view digits);
// Reads a 64-bit unsigned value: decimal, or hexadecimal after "0x"/"0X".
std::optional<std::uint64_t> ParseUnsigned64(std::string_view text);

// Upper-case hexadecimal with at least `width` digits.
std::string HexText(std::uint64_t value, int width = 0);

}  // namespace torq
