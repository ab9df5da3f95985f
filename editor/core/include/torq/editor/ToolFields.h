// The fields of the fill, block and checksum tools: the twin byte / word address fields, the
// range buttons, the defaults each dialog opens with and the texts it derives while typing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "torq/editor/Operations.h"

namespace torq::editor {

// Which twin of an address pair the operator is typing in (the editor's tool entry side).
enum class EntrySide { Byte, Word };

// One address entered twice: as a byte address and as a 16-bit word address (half of it). The
// side being typed drives the other; a field holding anything but hex digits, or nothing, sets
// both to "0". Only the byte address is used by the operations.
struct TwinAddress {
    std::string byteText;
    std::string wordText;

    // Both fields as ten digits.
    static TwinAddress Of(std::uint64_t byteAddress);
    void TypeByte(std::string_view text);
    void TypeWord(std::string_view text);
    std::optional<std::uint64_t> ByteAddress() const;
};

// The "IC" / "Block" and "File" range buttons: start 0, end the device's or the buffer file's
// last index (0 for an empty file).
struct TwinRange {
    TwinAddress start;
    TwinAddress end;
    static TwinRange WholeDevice(std::uint64_t deviceSize);
    static TwinRange WholeFile(std::uint64_t fileLength);
    // The editor's selection, or the whole device without one.
    static TwinRange SelectionOr(const std::optional<ByteRange>& selection,
                                 std::uint64_t deviceSize);
};

// The length the tools' ranges (and the save dialog's) must lie within: the device, or the
// buffer file when a block lengthened it past the device, so that "File" gives a range they
// take. 0 (every range refused) without a device.
std::uint64_t ToolRangeLength(std::uint64_t deviceSize, std::uint64_t bufferLength);

// A short hexadecimal field (the fill byte, the user byte or word); empty reads as 0.
std::optional<std::uint64_t> HexFieldValue(std::string_view text);

struct FillDialogValues {
    FillPattern pattern = FillPattern::Random;
    bool userDefined = false;
    UserWidth userWidth = UserWidth::Byte;
    std::string userByteText = "55";
    std::string userWordText = "FFFF";
    TwinRange range;
    std::uint64_t seed = 0;  // of the random pattern
};
FillDialogValues FillDialogDefaults(std::uint64_t deviceSize,
                                    const std::optional<ByteRange>& selection = std::nullopt);

struct BlockDialogValues {
    BlockAction action = BlockAction::Copy;
    TwinRange source;
    TwinAddress destination{"0", "0"};
    std::string fillText = "FF";  // what "Move" leaves in the source range
};
BlockDialogValues BlockDialogDefaults(std::uint64_t deviceSize,
                                      const std::optional<ByteRange>& selection = std::nullopt);
// The destination end shown beside the destination start: start + (source end - source start),
// as a byte address and as a word address; dashes while the fields do not make a range.
struct DestinationEndTexts {
    std::string byteText;
    std::string wordText;
};
DestinationEndTexts DestinationEnd(const BlockDialogValues& values);

struct SumDialogValues {
    TwinRange range;
};
SumDialogValues SumDialogDefaults(std::uint64_t deviceSize,
                                  const std::optional<ByteRange>& selection = std::nullopt);

// The sum shown by "Get Check Sum": at least ten hex digits.
std::string RangeSumText(std::uint64_t sum);

}  // namespace torq::editor
