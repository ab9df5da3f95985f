// libFuzzer target: one kind of desktop file, chosen when the target is built.
#include <cstddef>
#include <cstdint>

#include "torq/desktop/DesktopFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
#if defined(TORQ_FUZZ_MIME_FILES)
    torq::FuzzMimeFiles(data, size);
#elif defined(TORQ_FUZZ_MIME_APPS_LIST)
    torq::FuzzMimeAppsList(data, size);
#elif defined(TORQ_FUZZ_DESKTOP_ENTRY)
    torq::FuzzDesktopEntry(data, size);
#endif
    return 0;
}
