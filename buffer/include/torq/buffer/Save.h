// Saving a range of the buffer file: the writers of the six output formats and the checks the
// save dialog's OK runs before writing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "torq/devlib/Seams.h"

namespace torq {

// In the order of the save dialog's format list.
enum class SaveFormat : std::uint8_t {
    Binary = 0,
    IntelHex = 1,
    MotorolaS1 = 2,
    MotorolaS2 = 3,
    MotorolaS3 = 4,
    TektronixHex = 5,
};

std::string_view SaveFormatCaption(SaveFormat format);  // "Binary/Machine Code", "Intel Hex", ...
// The largest range a format can address; none for binary.
std::optional<std::uint64_t> SaveSizeLimit(SaveFormat format);
// The usual file name extension of a format, without the dot ("bin", "hex", "s19", ...).
std::string_view SaveFormatExtension(SaveFormat format);

// Writes bytes start ... end (inclusive) of the buffer file to a new (or truncated) output file.
// Bytes beyond the buffer file's end are written as FF. Hex files address the first byte as 0,
// one record per line with CR LF line ends and upper-case digits. False, with the reason, when
// a file cannot be opened or written, the output is the buffer file itself, or the range is empty
// or larger than the format addresses. The output is written under a temporary name and renamed
// into place, so a failure leaves an older file of that name whole and nothing half-written.
inline constexpr std::string_view kSaveOntoBufferMessage =
    "The buffer file cannot be saved onto itself, please choose another file name !";

// True when `file` is the buffer file or the decoders' scratch file (the same file under any
// name): saving onto them would destroy the image being saved.
bool IsBufferOrScratch(const std::filesystem::path& file, const std::filesystem::path& bufferFile);

bool WriteBufferRange(const std::filesystem::path& bufferFile, std::uint64_t start,
                      std::uint64_t end, SaveFormat format, const std::filesystem::path& output,
                      std::string* error = nullptr);

// ---- the save dialog's OK ----

struct SaveMessage {
    std::string_view caption;
    std::string_view text;
};
inline constexpr SaveMessage kNameTooLong{"Error", "File Name is too long!"};
inline constexpr SaveMessage kNameTooShort{"Error", "File Name is too short!"};
inline constexpr SaveMessage kOverwriteQuestion{"Save File", "File is Exist ! Are sure to save ?"};
inline constexpr SaveMessage kInputValueError{"Error", "Input Value Error!"};
inline constexpr SaveMessage kInputSizeError{"Error", "Input Size Error!"};

inline constexpr std::size_t kSaveNameMaximum = 256;
inline constexpr std::size_t kSaveNameMinimum = 5;

// The name rule: at most 256 and at least 5 characters.
std::optional<SaveMessage> CheckSaveName(std::string_view name);
// The range rule: start below end, end within the device (last address deviceSize - 1), and the
// size end - start + 1 within the format's limit. A single byte (start = end) is refused.
std::optional<SaveMessage> CheckSaveRange(std::uint64_t start, std::uint64_t end, SaveFormat format,
                                          std::uint64_t deviceSize);

// The line that follows "Input Size Error!": the chosen format's limit and the formats that can
// hold a range of `size` bytes.
std::string SaveSizeNote(SaveFormat format, std::uint64_t size);

struct SaveDialogValues {
    std::string name;
    std::string startText = "0000000000";
    std::string endText = "0000000000";
    SaveFormat format = SaveFormat::Binary;
};

// The range end a length gives ("File": the buffer file's length, "IC" and the default: the
// device size), as ten digits; "0000000000" for length 0.
std::string SaveEndTextForLength(std::uint64_t length);
SaveDialogValues SaveDialogDefaults(std::uint64_t deviceSize);

enum class SaveOutcome { Saved, Refused, WriteFailed };

// OK: the name rule, the overwrite question, the range rule (each refusal told through the
// operator), then the writer. A write failure is told as an error.
SaveOutcome SaveFromDialog(const SaveDialogValues& values, const std::filesystem::path& bufferFile,
                           std::uint64_t deviceSize, Operator& op);

}  // namespace torq
