// Intel HEX: ":" LL AAAA TT data CC, the checksum the two's complement of the byte sum.
#include "HexScan.h"

namespace torq::hex {

namespace {

constexpr std::size_t kHeaderLength = 9;  // ':' LL AAAA TT

// The type field is read as a decimal number ("0A" reads as 0, so it is a data record); a
// field that is not two decimal digits reads as 0.
int RecordType(const char* record) {
    const char tens = record[7], units = record[8];
    if (tens < '0' || tens > '9' || units < '0' || units > '9')
        return 0;
    return (tens - '0') * 10 + (units - '0');
}

std::size_t RecordLength(unsigned count) {
    return kHeaderLength + 2 * count + 2;
}

// Decodes count, address, type and data into bytes and checks the checksum.
bool DecodeChecked(const char* record, unsigned count, std::uint8_t* bytes) {
    if (!DecodeHexPairs(record + 1, count + 5, bytes))
        return false;
    return ((0u - ByteSum(bytes, count + 4)) & 0xFF) == bytes[count + 4];
}

}  // namespace

bool ScanIntelDetect(ScanWindow& window) {
    unsigned goodRecords = 0;
    std::uint8_t bytes[260];
    for (;;) {
        if (window.AtEnd())
            return goodRecords > 0;
        if (window.Current() != ':' || !window.Has(kHeaderLength))
            return false;
        const char* record = window.Here();
        const int type = RecordType(record);
        if (type == 1)
            return goodRecords > 0;
        if (type > 5)
            return false;
        const auto count = HexPair(record + 1);
        // An empty record other than end-of-file: the scan cannot continue.
        if (!count || *count == 0)
            return false;
        const std::size_t length = RecordLength(*count);
        if (!window.Has(length) || !DecodeChecked(record, *count, bytes))
            return false;
        ++goodRecords;
        window.Advance(length);
        // Records are separated by one line end: CR LF, LF or CR.
        const std::size_t lineEnd = window.LineEndLength();
        if (lineEnd == 0 && !window.AtEnd())
            return false;
        window.Advance(lineEnd);
        window.Settle();
    }
}

ScanEnd ScanIntelDecode(ScanWindow& window, ImageWriter& image, ProgressTracker& progress) {
    std::uint64_t base = 0;
    std::uint8_t bytes[260];
    for (;;) {
        progress.Update(window.Offset());
        if (!window.SkipTo(':', ':'))
            return ScanEnd::EndOfData;
        if (!window.Has(kHeaderLength))
            return ScanEnd::FormatError;  // cut off by the end
        const char* record = window.Here();
        const int type = RecordType(record);
        if (type == 1)
            return ScanEnd::Terminated;
        if (type > 5)
            return ScanEnd::FormatError;
        const auto count = HexPair(record + 1);
        if (!count)
            return ScanEnd::FormatError;
        if (*count == 0) {
            // Skipped unchecked; its checksum digits are passed over as characters between records.
            window.Advance(kHeaderLength);
            window.Settle();
            continue;
        }
        const std::size_t length = RecordLength(*count);
        if (!window.Has(length) || !DecodeChecked(record, *count, bytes)) {
            return ScanEnd::FormatError;
        }
        const std::uint64_t address = (std::uint64_t{bytes[1]} << 8) | bytes[2];
        switch (type) {
            case 0:
                image.PlaceData(base + address, bytes + 4, *count);
                break;
            case 2:
            case 4: {
                if (*count < 2)
                    return ScanEnd::FormatError;  // no room for the base
                const std::uint64_t field = (std::uint64_t{bytes[4]} << 8) | bytes[5];
                base = type == 2 ? field * 16 : field * 65536;
                image.MoveToBase(base);
                break;
            }
            default:
                break;  // 3 and 5: start addresses, checked and otherwise ignored
        }
        window.Advance(length);
        window.Settle();
    }
}

}  // namespace torq::hex
