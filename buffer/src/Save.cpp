#include "torq/buffer/Save.h"

#include <system_error>
#include <vector>

#include "torq/devlib/Text.h"

namespace torq {

namespace {

// Characters, not bytes: a UTF-8 sequence counts once.
std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++count;
    }
    return count;
}

// An address field: hexadecimal digits; an empty field reads as 0.
std::optional<std::uint64_t> AddressField(std::string_view text) {
    if (text.empty())
        return 0;
    return ParseHex64(text);
}

}  // namespace

std::optional<SaveMessage> CheckSaveName(std::string_view name) {
    const std::size_t length = CharacterCount(name);
    if (length > kSaveNameMaximum)
        return kNameTooLong;
    if (length < kSaveNameMinimum)
        return kNameTooShort;
    return std::nullopt;
}

std::optional<SaveMessage> CheckSaveRange(std::uint64_t start, std::uint64_t end, SaveFormat format,
                                          std::uint64_t deviceSize) {
    if (deviceSize == 0 || start >= end || end > deviceSize - 1)
        return kInputValueError;
    const auto limit = SaveSizeLimit(format);
    if (limit && end - start + 1 > *limit)
        return kInputSizeError;
    return std::nullopt;
}

std::string SaveSizeNote(SaveFormat format, std::uint64_t size) {
    const auto limit = SaveSizeLimit(format);
    std::string note = std::string(SaveFormatCaption(format));
    note += limit ? " holds at most 0x" + HexText(*limit) + " bytes" : std::string(" has no limit");
    note += "; the range is 0x" + HexText(size) + " bytes";
    std::vector<std::string_view> fitting;
    for (int i = 0; i <= static_cast<int>(SaveFormat::TektronixHex); ++i) {
        const auto other = static_cast<SaveFormat>(i);
        const auto otherLimit = SaveSizeLimit(other);
        if (!otherLimit || size <= *otherLimit)
            fitting.push_back(SaveFormatCaption(other));
    }
    // Binary has no limit, so at least one format always fits.
    note += ", which ";
    for (std::size_t i = 0; i < fitting.size(); ++i) {
        if (i > 0)
            note += i + 1 == fitting.size() ? " or " : ", ";
        note += fitting[i];
    }
    return note + " can hold.";
}

std::string SaveEndTextForLength(std::uint64_t length) {
    return HexText(length == 0 ? 0 : length - 1, 10);
}

SaveDialogValues SaveDialogDefaults(std::uint64_t deviceSize) {
    SaveDialogValues values;
    values.endText = SaveEndTextForLength(deviceSize);
    return values;
}

SaveOutcome SaveFromDialog(const SaveDialogValues& values, const std::filesystem::path& bufferFile,
                           std::uint64_t deviceSize, Operator& op) {
    if (const auto refusal = CheckSaveName(values.name)) {
        op.Tell(Severity::Error, refusal->caption, refusal->text);
        return SaveOutcome::Refused;
    }
    const std::filesystem::path output(values.name);
    if (IsBufferOrScratch(output, bufferFile)) {
        op.Tell(Severity::Error, "Save File", kSaveOntoBufferMessage);
        return SaveOutcome::Refused;
    }
    std::error_code error;
    if (std::filesystem::exists(output, error) &&
        op.Ask(Severity::Question, kOverwriteQuestion.caption, kOverwriteQuestion.text,
               Buttons::OkCancel) != Answer::Ok) {
        return SaveOutcome::Refused;
    }
    const auto start = AddressField(values.startText);
    const auto end = AddressField(values.endText);
    const auto refusal = start && end ? CheckSaveRange(*start, *end, values.format, deviceSize)
                                      : std::optional<SaveMessage>(kInputValueError);
    if (refusal) {
        std::string text(refusal->text);
        if (refusal->text == kInputSizeError.text)
            text += "\n" + SaveSizeNote(values.format, *end - *start + 1);
        op.Tell(Severity::Error, refusal->caption, text);
        return SaveOutcome::Refused;
    }
    std::string reason;
    if (!WriteBufferRange(bufferFile, *start, *end, values.format, output, &reason)) {
        op.Tell(Severity::Error, "Save File", "Error : " + reason);
        return SaveOutcome::WriteFailed;
    }
    return SaveOutcome::Saved;
}

}  // namespace torq
