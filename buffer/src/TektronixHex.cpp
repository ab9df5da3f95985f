// Tektronix hex. Plain records: "/" AAAA LL HH data DD, HH the digit sum of address and count,
// DD the digit sum of the data digits. Extended records: "%" LL T CC ..., LL counting the
// characters after the '%', CC the digit sum of those characters less the checksum itself.
#include "HexScan.h"

namespace torq::hex {

namespace {

constexpr std::size_t kPlainHeaderLength = 9;      // '/' AAAA LL HH
constexpr std::size_t kExtendedMinimumLength = 5;  // LL T CC after the '%'

struct PlainHeader {
    std::uint64_t address = 0;
    unsigned count = 0;
};

// The header of the plain record at the position, when it is whole and its checksum matches.
std::optional<PlainHeader> ReadPlainHeader(const ScanWindow& window) {
    if (!window.Has(kPlainHeaderLength))
        return std::nullopt;
    const char* record = window.Here();
    const auto address = HexField(record + 1, 4);
    const auto count = HexPair(record + 5);
    const auto checksum = HexPair(record + 7);
    if (!address || !count || !checksum)
        return std::nullopt;
    if ((NibbleSum(record + 1, 6) & 0xFF) != *checksum)
        return std::nullopt;
    return PlainHeader{*address, *count};
}

std::size_t PlainLength(unsigned count) {
    return kPlainHeaderLength + 2 * count + 2;
}

// Decodes the data of a whole plain record and checks the data checksum.
bool ReadPlainData(const char* record, unsigned count, std::uint8_t* data) {
    const char* digits = record + kPlainHeaderLength;
    const auto checksum = HexPair(digits + 2 * count);
    return DecodeHexPairs(digits, count, data) && checksum &&
           (NibbleSum(digits, 2 * count) & 0xFF) == *checksum;
}

struct ExtendedRecord {
    std::size_t length = 0;  // characters including the '%'
    char type = 0;
    bool checksumOk = false;
};

std::optional<ExtendedRecord> ReadExtendedRecord(const ScanWindow& window) {
    if (!window.Has(1 + kExtendedMinimumLength))
        return std::nullopt;
    const char* record = window.Here();
    const auto count = HexPair(record + 1);
    const auto checksum = HexPair(record + 4);
    if (!count || !checksum || *count < kExtendedMinimumLength || !window.Has(*count + 1u)) {
        return std::nullopt;
    }
    const unsigned sum = NibbleSum(record + 1, *count) - Nibble(record[4]) - Nibble(record[5]);
    return ExtendedRecord{*count + 1u, record[3], (sum & 0xFF) == *checksum};
}

// A line end must follow a record unless the file ends there.
bool PassLineEnd(ScanWindow& window) {
    const std::size_t lineEnd = window.LineEndLength();
    if (lineEnd == 0 && !window.AtEnd())
        return false;
    window.Advance(lineEnd);
    window.Settle();
    return true;
}

}  // namespace

bool ScanTektronixDetect(ScanWindow& window) {
    unsigned plainRecords = 0, extendedRecords = 0;
    // Records of exactly one form: a file mixing the two is not Tektronix.
    const auto verdict = [&] { return (plainRecords > 0) != (extendedRecords > 0); };
    std::uint8_t data[256];
    for (;;) {
        if (window.AtEnd())
            return verdict();
        if (window.Current() == '/') {
            const auto header = ReadPlainHeader(window);
            if (!header)
                return false;
            ++plainRecords;
            if (header->count == 0)
                return verdict();  // termination record
            const std::size_t length = PlainLength(header->count);
            if (!window.Has(length) || !ReadPlainData(window.Here(), header->count, data)) {
                return false;
            }
            window.Advance(length);
        } else if (window.Current() == '%') {
            const auto record = ReadExtendedRecord(window);
            if (!record || !record->checksumOk)
                return false;
            ++extendedRecords;
            if (record->type == '8')
                return verdict();
            window.Advance(record->length);
        } else {
            return false;
        }
        if (!PassLineEnd(window))
            return false;
    }
}

ScanEnd ScanTektronixDecode(ScanWindow& window, ImageWriter& image, ProgressTracker& progress) {
    std::uint8_t data[256];
    for (;;) {
        progress.Update(window.Offset());
        if (!window.SkipTo('/', '%'))
            return ScanEnd::EndOfData;
        const char* record = window.Here();
        std::size_t length = 0;
        if (*record == '/') {
            const auto header = ReadPlainHeader(window);
            if (!header)
                return ScanEnd::FormatError;
            if (header->count == 0)
                return ScanEnd::Terminated;
            length = PlainLength(header->count);
            if (!window.Has(length) || !ReadPlainData(record, header->count, data)) {
                return ScanEnd::FormatError;
            }
            image.PlaceData(header->address, data, header->count);
        } else {
            const auto extended = ReadExtendedRecord(window);
            if (!extended || !extended->checksumOk)
                return ScanEnd::FormatError;
            if (extended->type == '8')
                return ScanEnd::Terminated;
            length = extended->length;
            if (extended->type == '6') {
                // Data: address-length digit, that many address digits, then the data digits.
                const std::size_t addressDigits = length > 6 ? Nibble(record[6]) : 0;
                if (addressDigits == 0 || addressDigits > 8)
                    return ScanEnd::FormatError;
                const std::size_t dataStart = 7 + addressDigits;
                if (dataStart > length || (length - dataStart) % 2 != 0) {
                    return ScanEnd::FormatError;
                }
                const auto address = HexField(record + 7, addressDigits);
                const std::size_t count = (length - dataStart) / 2;
                if (!address || !DecodeHexPairs(record + dataStart, count, data)) {
                    return ScanEnd::FormatError;
                }
                image.PlaceData(*address, data, count);
            }
            // Other types (symbol records) are checked and otherwise ignored.
        }
        window.Advance(length);
        window.Settle();
    }
}

}  // namespace torq::hex
