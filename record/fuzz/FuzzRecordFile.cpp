// libFuzzer target: the production record's database file.
#include <cstddef>
#include <cstdint>

#include "torq/record/RecordFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    torq::FuzzRecordFile(data, size);
    return 0;
}
