// libFuzzer target: the pasted-hex, search-pattern and Go to parsers over arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "torq/editor/ByteTextFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    torq::editor::FuzzByteText(data, size);
    return 0;
}
