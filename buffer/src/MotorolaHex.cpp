// Motorola S-records: "S" t CC address data CS, CC counting address, data and checksum bytes, the
// checksum the one's complement of the byte sum.
#include "HexScan.h"

namespace torq::hex {

namespace {

constexpr std::size_t kHeaderLength = 4;  // 'S' t CC

bool IsRecordStart(char c) {
    return c == 'S' || c == 's';
}
bool IsKnownType(char t) {
    return t == '0' || t == '1' || t == '2' || t == '3' || t == '5' || t == '7' || t == '8' ||
           t == '9';
}

std::size_t RecordLength(unsigned count) {
    return kHeaderLength + 2 * count;
}

// Decodes CC and the CC bytes after it into bytes[0 ... CC] and checks the checksum.
bool DecodeChecked(const char* record, unsigned count, std::uint8_t* bytes) {
    if (!DecodeHexPairs(record + 2, count + 1, bytes))
        return false;
    return ((~ByteSum(bytes, count)) & 0xFF) == bytes[count];
}

}  // namespace

bool ScanMotorolaDetect(ScanWindow& window) {
    // Only the first record of the file is examined.
    if (!window.Has(kHeaderLength))
        return false;
    const char* record = window.Here();
    if (!IsRecordStart(record[0]) || !IsKnownType(record[1]))
        return false;
    const auto count = HexPair(record + 2);
    if (!count || *count < 2 || !window.Has(RecordLength(*count)))
        return false;
    std::uint8_t bytes[257];
    return DecodeChecked(record, *count, bytes);
}

ScanEnd ScanMotorolaDecode(ScanWindow& window, ImageWriter& image, ProgressTracker& progress) {
    std::uint8_t bytes[257];
    for (;;) {
        progress.Update(window.Offset());
        if (!window.SkipTo('S', 's'))
            return ScanEnd::EndOfData;
        if (!window.Has(kHeaderLength))
            return ScanEnd::FormatError;
        const char* record = window.Here();
        const char type = record[1];
        if (!IsKnownType(type))
            return ScanEnd::FormatError;
        const auto count = HexPair(record + 2);
        if (!count || *count == 0)
            return ScanEnd::FormatError;
        if (*count == 1) {
            window.Advance(kHeaderLength);  // skipped without a checksum check
            window.Settle();
            continue;
        }
        const std::size_t length = RecordLength(*count);
        if (!window.Has(length) || !DecodeChecked(record, *count, bytes)) {
            return ScanEnd::FormatError;
        }
        if (type == '1' || type == '2' || type == '3') {
            const unsigned addressBytes = static_cast<unsigned>(type - '0') + 1;
            if (*count < addressBytes + 1)
                return ScanEnd::FormatError;  // no room for the address
            std::uint64_t address = 0;
            for (unsigned i = 0; i < addressBytes; ++i)
                address = (address << 8) | bytes[1 + i];
            // A first address digit above '3' reads as 0: S1 C010 lands at 0010.
            if (Nibble(record[4]) > 3)
                address &= ~(std::uint64_t{0xF} << (8 * addressBytes - 4));
            image.PlaceData(address, bytes + 1 + addressBytes, *count - 1 - addressBytes);
        }
        // S0, S5, S7, S8 and S9 are checked and otherwise ignored; the decode goes on to the end.
        window.Advance(length);
        window.Settle();
    }
}

}  // namespace torq::hex
