#include "torq/editor/ToolFields.h"

#include <algorithm>

#include "torq/devlib/Text.h"
#include "torq/editor/HexView.h"

namespace torq::editor {

TwinAddress TwinAddress::Of(std::uint64_t byteAddress) {
    return {HexText(byteAddress, kAddressDigits), HexText(byteAddress / 2, kAddressDigits)};
}

void TwinAddress::TypeByte(std::string_view text) {
    const auto value = text.empty() ? std::nullopt : ParseHex64(text);
    if (!value) {
        byteText = wordText = "0";
        return;
    }
    byteText = std::string(text);
    wordText = HexText(*value / 2);
}

void TwinAddress::TypeWord(std::string_view text) {
    const auto value = text.empty() ? std::nullopt : ParseHex64(text);
    // A word address above 63 bits has no byte address.
    if (!value || *value > (UINT64_MAX >> 1)) {
        byteText = wordText = "0";
        return;
    }
    wordText = std::string(text);
    byteText = HexText(*value * 2);
}

std::optional<std::uint64_t> TwinAddress::ByteAddress() const {
    return HexFieldValue(byteText);
}

TwinRange TwinRange::WholeDevice(std::uint64_t deviceSize) {
    return {TwinAddress::Of(0), TwinAddress::Of(deviceSize == 0 ? 0 : deviceSize - 1)};
}

TwinRange TwinRange::WholeFile(std::uint64_t fileLength) {
    return WholeDevice(fileLength);
}

TwinRange TwinRange::SelectionOr(const std::optional<ByteRange>& selection,
                                 std::uint64_t deviceSize) {
    if (!selection || selection->count == 0)
        return WholeDevice(deviceSize);
    return {TwinAddress::Of(selection->start), TwinAddress::Of(selection->Last())};
}

std::uint64_t ToolRangeLength(std::uint64_t deviceSize, std::uint64_t bufferLength) {
    return deviceSize == 0 ? 0 : std::max(deviceSize, bufferLength);
}

std::optional<std::uint64_t> HexFieldValue(std::string_view text) {
    if (text.empty())
        return 0;
    return ParseHex64(text);
}

FillDialogValues FillDialogDefaults(std::uint64_t deviceSize,
                                    const std::optional<ByteRange>& selection) {
    FillDialogValues values;
    values.range = TwinRange::SelectionOr(selection, deviceSize);
    return values;
}

BlockDialogValues BlockDialogDefaults(std::uint64_t deviceSize,
                                      const std::optional<ByteRange>& selection) {
    BlockDialogValues values;
    values.source = TwinRange::SelectionOr(selection, deviceSize);
    return values;
}

DestinationEndTexts DestinationEnd(const BlockDialogValues& values) {
    const auto start = values.source.start.ByteAddress();
    const auto end = values.source.end.ByteAddress();
    const auto destination = values.destination.ByteAddress();
    if (!start || !end || !destination || *end < *start ||
        *end - *start > UINT64_MAX - *destination) {
        const std::string dashes(kAddressDigits, '-');
        return {dashes, dashes};
    }
    const std::uint64_t last = *destination + (*end - *start);
    const TwinAddress twin = TwinAddress::Of(last);
    return {twin.byteText, twin.wordText};
}

SumDialogValues SumDialogDefaults(std::uint64_t deviceSize,
                                  const std::optional<ByteRange>& selection) {
    return {TwinRange::SelectionOr(selection, deviceSize)};
}

std::string RangeSumText(std::uint64_t sum) {
    return HexText(sum, 10);
}

}  // namespace torq::editor
