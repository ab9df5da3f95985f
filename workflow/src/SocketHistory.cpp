#include "torq/workflow/SocketHistory.h"

#include "torq/devlib/Text.h"

namespace torq {

namespace {
constexpr std::string_view kVendorKey = "Vendor";
constexpr std::string_view kTypeKey = "Type";
constexpr std::string_view kFileKey = "File";
constexpr std::string_view kSourceStartKey = "SourceSAdd";
constexpr std::string_view kSourceEndKey = "SourceEAdd";
constexpr std::string_view kDestinationKey = "DestSAdd";
constexpr std::string_view kFillCheckedKey = "UnusedFill_Checked";
constexpr std::string_view kFillValueKey = "UnusedFill";
constexpr std::string_view kFormatKey = "Format";

int SocketDigit(int socket) {
    return socket == 1 ? 1 : 2;
}

std::string AddressText(std::int32_t stored) {
    return HexText(static_cast<std::uint32_t>(stored), 8);
}

// The value of an address field as the history stores it: the 32-bit value in signed form.
std::int32_t StoredAddress(std::string_view text) {
    const std::optional<std::uint64_t> value = ParseHex64(text);
    if (!value || *value > 0xFFFFFFFFu)
        return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(*value));
}
}  // namespace

std::string HistorySection(int unit) {
    return "Device" + std::to_string(unit);
}

std::string HistorySocketKey(int socket, std::string_view ending) {
    return "Socket" + std::to_string(SocketDigit(socket)) + std::string(ending);
}

StoredSocket ReadSocketHistory(const IniFile& history, int unit, int socket) {
    const std::string section = HistorySection(unit);
    const auto integer = [&](std::string_view ending, std::int32_t fallback) {
        return history.ReadInteger(section, HistorySocketKey(socket, ending), fallback);
    };
    const auto byte = [&](std::string_view ending, std::int32_t fallback) {
        return static_cast<std::uint8_t>(integer(ending, fallback) & 0xFF);
    };

    StoredSocket stored;
    stored.vendor = history.ReadString(section, kVendorKey);
    stored.type = history.ReadString(section, kTypeKey);
    stored.settings.workFile = history.ReadString(section, HistorySocketKey(socket, kFileKey));
    stored.settings.sourceStartText = AddressText(integer(kSourceStartKey, 0));
    stored.settings.sourceEndText = AddressText(integer(kSourceEndKey, 0));
    stored.settings.load.destinationText = AddressText(integer(kDestinationKey, 0));
    stored.settings.load.fillEnabled = byte(kFillCheckedKey, 1) != 0;
    stored.settings.load.fillValue = byte(kFillValueKey, 0xFF);
    // A format index outside the load dialog's list reads as its first entry.
    stored.settings.load.format =
        static_cast<std::uint8_t>(LoadFormatFromIndex(byte(kFormatKey, 0)));
    return stored;
}

void WriteSocketHistory(IniFile& history, int unit, int socket, const SocketHistoryTexts& texts) {
    if (socket == 0 || unit != 1)
        return;
    const std::string section = HistorySection(unit);
    const LoadDialogState& dialog = texts.dialog;
    const auto write = [&](std::string_view ending, std::int64_t value) {
        history.WriteInteger(section, HistorySocketKey(socket, ending), value);
    };
    history.WriteString(section, kVendorKey, texts.vendor);
    history.WriteString(section, kTypeKey, texts.type);
    history.WriteString(section, HistorySocketKey(socket, kFileKey), texts.workFile);
    write(kSourceStartKey, StoredAddress(dialog.sourceStartText));
    write(kSourceEndKey, StoredAddress(dialog.sourceEndText));
    write(kDestinationKey, StoredAddress(dialog.destinationText));
    write(kFillCheckedKey, dialog.fillUnused ? 1 : 0);
    // An empty fill field loads as 00, so it is kept as 0.
    write(kFillValueKey, static_cast<std::int64_t>(ParseHex64(dialog.fillText).value_or(0) & 0xFF));
    // The format as the operator chose it: "Auto Detect" stays Auto Detect, so the next start
    // detects each file again instead of decoding every later file as the last one resolved.
    write(kFormatKey, static_cast<std::int64_t>(dialog.chosenFormat));
}

bool SaveSocketHistory(const std::filesystem::path& historyIni, int unit, int socket,
                       const SocketHistoryTexts& texts, std::string* error) {
    if (socket == 0 || unit != 1)
        return true;
    IniFile history(historyIni);
    WriteSocketHistory(history, unit, socket, texts);
    if (history.Save())
        return true;
    if (error != nullptr)
        *error = history.SaveError();
    return false;
}

void ResetOtherSocket(SavedSettings& saved, int restoredSocket) {
    saved.sockets[restoredSocket == 1 ? 1 : 0].ResetLoadSettings();
}

}  // namespace torq
