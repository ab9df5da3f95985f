// Fuzzing entry point: the clipboard and field parsers (pasted hex, search patterns, Go to) run
// over bytes in memory. Used by the libFuzzer target and by a test that replays a corpus through
// it in every build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace torq::editor {

// Aborts when a parser breaks its promise: a refusal without a reason or pointing past the text,
// accepted bytes that do not read back the same once written out as hex, a pattern beyond the
// length limit, or a Go to target beyond the last address.
void FuzzByteText(const std::uint8_t* data, std::size_t size);

}  // namespace torq::editor
