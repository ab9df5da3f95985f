// libFuzzer target: the Motorola detector and decoder over arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "torq/buffer/HexFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    torq::FuzzDetectAndDecode(torq::HexFormat::Motorola, data, size);
    return 0;
}
