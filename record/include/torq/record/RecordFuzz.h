// Fuzzing entry point for the production record's database file, which comes from outside (a
// copied, damaged or foreign file): opened, listed, summed up and written to without a crash.
// Used by the libFuzzer target and by a test that replays its corpus.
#pragma once

#include <cstddef>
#include <cstdint>

namespace torq {

void FuzzRecordFile(const std::uint8_t* data, std::size_t size);

}  // namespace torq
