// Recognising and decoding the text data formats: Intel HEX, Motorola S-records and Tektronix
// hex. A decoder never touches the buffer file: it writes a flat image, from image address 0, into
// the scratch file, and the load copies that into the buffer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string_view>

#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Seams.h"

namespace torq {

inline constexpr std::string_view kMemoryErrorMessage = "Memory Error !";

enum class HexFormat { Intel, Motorola, Tektronix };

// The log lines of each format.
std::string_view FormatErrorMessage(HexFormat format);  // "Intel Hex file format error !"
std::string_view DetectFailMessage(HexFormat format);   // "Intel Hex file detect fail !"

// A decoder reports its progress as a percentage of the file scanned: Begin(100), Progress(p, 100)
// at most 100 times as p grows, then End().

// Each detector scans the file in place and answers whether it reads as that format. When its
// scan window cannot be allocated it logs the format's "detect fail" line (log may be null).
bool DetectIntelHex(const std::filesystem::path& source, InformationLog* log = nullptr);
bool DetectMotorolaHex(const std::filesystem::path& source, InformationLog* log = nullptr);
bool DetectTektronixHex(const std::filesystem::path& source, InformationLog* log = nullptr);
// With a progress sink, the scan reports as a decoder does (a long file is read whole when every
// record is good).
bool DetectHex(HexFormat format, const std::filesystem::path& source, InformationLog* log = nullptr,
               ProgressSink* progress = nullptr);

struct DecodeRequest {
    std::filesystem::path source;
    std::filesystem::path scratch;  // created, or truncated, by the decode
    std::uint8_t fill = 0xFF;       // gaps inside the image
    // Image bytes at or above this address are not written (the load copies no more than the
    // device holds); the write position and so the end address still count them.
    std::uint64_t writeLimit = std::numeric_limits<std::uint64_t>::max();
    InformationLog* log = nullptr;
    ProgressSink* progress = nullptr;
};

struct DecodeResult {
    bool ok = false;
    // The last image address (write position - 1 after the last record); none when the image is
    // empty.
    std::optional<std::uint64_t> endAddress;
};

// On a format error the format's error line is logged and the result is not ok; the scratch file
// may then hold a partial image (the next decode overwrites it).
DecodeResult DecodeIntelHex(const DecodeRequest& request);
DecodeResult DecodeMotorolaHex(const DecodeRequest& request);
DecodeResult DecodeTektronixHex(const DecodeRequest& request);
DecodeResult DecodeHex(HexFormat format, const DecodeRequest& request);

}  // namespace torq
