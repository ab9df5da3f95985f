// libFuzzer target: one reader of outside files, chosen when the target is built.
#include <cstddef>
#include <cstdint>

#include "torq/devlib/LibraryFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
#if defined(TORQ_FUZZ_DEVICE_LIBRARY)
    torq::FuzzDeviceLibraryFiles(data, size);
#elif defined(TORQ_FUZZ_PAGE_FILE)
    torq::FuzzPageFile(data, size);
#elif defined(TORQ_FUZZ_SECTOR_TABLE)
    torq::FuzzSectorTable(data, size);
#elif defined(TORQ_FUZZ_HISTORY_INI)
    torq::FuzzHistoryIni(data, size);
#endif
    return 0;
}
