// Fuzzing entry points: a format's detector and decoder run over bytes in memory, the decoded
// image kept in a small bounded memory image. Used by the libFuzzer targets and by a test that
// replays a corpus through them in every build.
#pragma once

#include <cstddef>
#include <cstdint>

#include "torq/buffer/HexFormats.h"

namespace torq {

// The write limit the entry points give the decoder.
inline constexpr std::uint64_t kFuzzImageLimit = 1 << 20;

// Aborts when the decoder writes outside the limit or reports an end address that disagrees
// with what it wrote; otherwise returns whether the decode succeeded.
bool FuzzDetectAndDecode(HexFormat format, const std::uint8_t* data, std::size_t size);

}  // namespace torq
