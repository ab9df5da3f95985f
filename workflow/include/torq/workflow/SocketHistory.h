// The socket history in History.ini: section "Device" + unit digit, keys Vendor, Type and, per
// socket, "Socket" + digit + File, SourceSAdd, SourceEAdd, DestSAdd, UnusedFill_Checked,
// UnusedFill and Format. Addresses are stored as the signed decimal form of their 32-bit value.
// The same file holds the options; every other section and key is kept.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "torq/buffer/Load.h"
#include "torq/devlib/Ini.h"
#include "torq/workflow/Units.h"

namespace torq {

// "Device1" ... "Device4".
std::string HistorySection(int unit);
// "Socket1File", "Socket2DestSAdd", ...
std::string HistorySocketKey(int socket, std::string_view ending);

// What a unit's section holds for one socket; missing keys and values that are not numbers give
// the defaults (empty texts, addresses 00000000, fill enabled with FF, format 0).
struct StoredSocket {
    std::string vendor;
    std::string type;
    // The work file and the load settings: addresses as eight hex digits, fill and format read
    // into 8 bits (the enabled flag is not stored).
    SavedSocket settings;
};

// Socket 1, or any other value for socket 2.
StoredSocket ReadSocketHistory(const IniFile& history, int unit, int socket);

// The texts one socket's history is written from: the vendor and type boxes, the work-file field
// and the load dialog's last fields.
struct SocketHistoryTexts {
    std::string vendor;
    std::string type;
    std::string workFile;
    const LoadDialogState& dialog;
};

// Writes Vendor, Type, then the socket's File, SourceSAdd, SourceEAdd, DestSAdd,
// UnusedFill_Checked, UnusedFill and Format, in that order. Only unit 1 is written; socket 0
// writes nothing, socket 1 its own keys, any other value socket 2's. An address text that is not
// a 32-bit hexadecimal number is written as 0.
void WriteSocketHistory(IniFile& history, int unit, int socket, const SocketHistoryTexts& texts);
// The same on the file, saved atomically. False when it could not be written; `error` (when
// given) then says why.
bool SaveSocketHistory(const std::filesystem::path& historyIni, int unit, int socket,
                       const SocketHistoryTexts& texts, std::string* error = nullptr);

// A restore resets the load settings of the socket it did not restore.
void ResetOtherSocket(SavedSettings& saved, int restoredSocket);

}  // namespace torq
