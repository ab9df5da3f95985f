// Loading a data file into the buffer file: a range of a binary or executable file, or the
// decoded image of a hex file, placed at a destination address, the rest optionally filled, then
// the checksum lines and the size warning. The load dialog's state is plain data here; the
// dialog widget binds its controls to it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "torq/buffer/HexFormats.h"
#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Seams.h"

namespace torq {

// In the order of the load dialog's format list.
enum class LoadFormat : std::uint8_t {
    AutoDetect = 0,
    MsDosExe = 1,
    MsDosCom = 2,
    Binary = 3,
    IntelHex = 4,
    MotorolaHex = 5,
    TektronixHex = 6,
};
inline constexpr int kLoadFormatCount = 7;

std::string_view LoadFormatCaption(LoadFormat format);  // "Auto Detect", "MS-DOS fn.exe", ...
// A saved format index; an index outside the list reads as Auto Detect.
LoadFormat LoadFormatFromIndex(int index);
// The open dialog's file types: every extension each data format goes by, binary and MS-DOS
// images, and all files first ("All files (*);;Intel hex (*.hex *.ihx *.ihex);;...").
std::string OpenFileFilter();

// The bytes of an .exe header that are not loaded.
inline constexpr std::uint64_t kExeHeaderSize = 512;

// ---- messages (every box of the load is a warning) ----
inline constexpr std::string_view kEmptyFileMessage =
    "The file size is zero, please make sure the file is correctly !";
inline constexpr std::string_view kSourceRangeWrongMessage =
    "The source select start/end-address is wrong !";
inline constexpr std::string_view kBiggerThanIcQuestion =
    "The source select address of size at the destination select address is bigger than the IC "
    "size , Do you really want to continue ?";
inline constexpr std::string_view kBufferMissingMessage = "The buffer file does not exist !";
inline constexpr std::string_view kFileBiggerWarning =
    "The size of this file is bigger than the IC Size , please make sure the file you select is "
    "correct !";
inline constexpr std::string_view kFileBiggerLogLine = "The file size is bigger than the IC size !";
// Refusals of cases the dialog cannot produce but a changed file or a script can.
inline constexpr std::string_view kFileUnreadableMessage = "The file cannot be read !";
inline constexpr std::string_view kFileShorterMessage =
    "The file is shorter than the source select end-address, please choose the file again !";
inline constexpr std::string_view kExeRangeInHeaderMessage =
    "The source select range lies within the MS .EXE header, nothing to load !";
inline constexpr std::string_view kNoDeviceMessage = "No device is selected !";
// The buffer file could not be replaced (disk full, file vanished); it keeps its old image.
inline constexpr std::string_view kBufferWriteFailedMessage =
    "The buffer file could not be written, it keeps its previous contents !";

// A file is far larger than the device when it is longer than both this many times the device
// and the minimum: its checksum then reads far more than the device holds, and the operator is
// asked first. Loads of files above the minimum show their progress.
inline constexpr std::uint64_t kFarLargerFileFactor = 16;
inline constexpr std::uint64_t kFarLargerFileMinimum = 64 * 1024 * 1024;
bool IsFarLargerThanDevice(std::uint64_t fileLength, std::uint64_t deviceSize);
// "The file PATH is 16.0 GiB, far bigger than the IC size of 8.0 MiB : ... , Do you really want
// to load it ?"
std::string FarLargerFileQuestion(const std::filesystem::path& file, std::uint64_t fileLength,
                                  std::uint64_t deviceSize);
// The line of a load refused before anything was read: the problem (naming the file) and
// ", nothing is loaded !".
std::string FileRefusedLine(std::string_view problem);

// The correction question and log line of a detected hex format.
std::string CorrectionQuestion(LoadFormat detected);
std::string CorrectionLogLine(LoadFormat detected);
// A hex load that decoded no data record: "Error : The file holds no Intel Hex data record, ...".
std::string NoDataRecordLine(LoadFormat format);

// ---- the dialog's state and its rules ----

struct LoadDialogState {
    std::filesystem::path filePath;
    std::uint64_t fileLength = 0;  // L, taken when the dialog is prepared
    LoadFormat format = LoadFormat::AutoDetect;
    // The format as chosen for the last load, before detection resolved "Auto Detect" into
    // `format`; an unattended load without saved settings starts from it again.
    LoadFormat chosenFormat = LoadFormat::AutoDetect;
    std::string sourceStartText = "00000000";
    std::string sourceEndText = "00000000";
    std::string destinationText = "00000000";
    bool fillUnused = true;
    std::string fillText = "FF";
    int unit = 0;  // the current unit (1-4) and socket (1-2)
    int socket = 0;
};

// Sets the defaults for a file: Auto Detect, source 0 ... L - 1, destination 0, fill FF checked.
// The current unit and socket are kept.
void PrepareLoadDialog(LoadDialogState& state, const std::filesystem::path& file);

// The source fields are enabled for the executable and binary formats only; the fill value field
// exactly when the fill box is checked.
bool SourceFieldsEnabled(LoadFormat format);
inline bool FillValueEnabled(const LoadDialogState& state) {
    return state.fillUnused;
}

// A hexadecimal field accepts 0-9, A-F, a-f (turned to upper case) and backspace.
std::optional<char> AcceptHexFieldKey(char key);

// Normalisation while typing: a value above the last index is replaced by the last index, a value
// of 0 or an empty field by "00000000"; other values stay as typed.
std::string NormaliseSourceAddressText(std::string_view text, std::uint64_t fileLength);
std::string NormaliseDestinationAddressText(std::string_view text, std::uint64_t deviceSize);

// ---- the load ----

struct LoadEnvironment {
    std::filesystem::path bufferFile;
    std::uint64_t deviceSize = 0;
    InformationLog& log;
    Operator& op;
    ProgressSink* progress = nullptr;
};

// What the main window shows for the current unit and socket after a load.
struct SocketFields {
    std::filesystem::path workFile;
    std::string checksumText;      // the IC checksum, eight digits
    std::string startAddressText;  // the text of the source start field
    bool enabled = true;
};

enum class LoadEnd {
    Loaded,     // the buffer holds the new image; the dialog closes
    Closed,     // refused or failed; the buffer is unchanged and the dialog closes
    KeptOpen,   // refused for correction; the dialog stays open
    Abandoned,  // a question was left unanswered; nothing changed
    NotRun,     // no socket given
};

struct LoadOutcome {
    LoadEnd end = LoadEnd::Closed;
    std::optional<SocketFields> socket;  // set when Loaded
    bool clearEditorModified = false;    // the hex editor's unsaved-changes flag is cleared
};

// The dialog's OK. The buffer file is never left half-written: the new image is built beside it
// and replaces it in one rename, so on any failure it holds the old image.
LoadOutcome LoadIntoBuffer(LoadDialogState& state, const LoadEnvironment& environment);

// One socket's saved load settings.
struct SavedLoadSettings {
    std::string destinationText = "00000000";
    bool fillEnabled = true;
    std::uint8_t fillValue = 0xFF;
    std::uint8_t format = 0;
    // The source start and end texts when the socket's last load took only a part of its file;
    // none for the whole file (what the history restores).
    std::optional<std::pair<std::string, std::string>> sourcePart;
};

// The unattended load of a socket's work file (history restore, command line, dropped files, the
// emulator's reload). Nothing happens for socket 0. With useSaved, the destination, fill, format
// and any part of the file come from the saved settings; else the dialog's current destination
// and fill stand, with the format as it was chosen for the last load (Auto Detect detects again).
LoadOutcome LoadForSocket(int unit, int socket, bool useSaved, const SavedLoadSettings& saved,
                          const std::filesystem::path& workFile, LoadDialogState& state,
                          const LoadEnvironment& environment);

}  // namespace torq
