// Fuzzing entry points for the readers of outside files. Each writes the bytes into a private
// scratch folder laid out as a small device library and home folder, runs the readers over them,
// and aborts when a reader breaks a promise (a path outside the library, a total beyond its
// limit, a record passed as usable that the operations' arithmetic cannot take, a settings file
// rewritten with something lost). Used by the libFuzzer targets and by a test that replays the
// committed corpora through them in every build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace torq {

// The bytes as Select.ini and as the device file it may name ("Ini/dev.ini"): the index queries,
// ReadDeviceRecord and CheckDeviceRecord.
void FuzzDeviceLibraryFiles(const std::uint8_t* data, std::size_t size);
// The bytes as a page-definition file: BuildParameterPages, RefreshMenuIni, SaveParameterValues.
void FuzzPageFile(const std::uint8_t* data, std::size_t size);
// The bytes as a sector table, read for every AT26 family.
void FuzzSectorTable(const std::uint8_t* data, std::size_t size);
// The bytes as History.ini: LoadOptions, the socket history keys of Device1 to Device4, and
// writing both back.
void FuzzHistoryIni(const std::uint8_t* data, std::size_t size);

}  // namespace torq
