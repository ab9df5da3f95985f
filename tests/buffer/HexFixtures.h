// Builders of hand-made hex records for the buffer tests, written independently of the
// program's writers, plus the decode-into-a-temp-folder helper.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "torq/buffer/HexFormats.h"

namespace torq::test {

using Bytes = std::vector<std::uint8_t>;

inline std::string Hex2(unsigned value) {
    static const char* digits = "0123456789ABCDEF";
    return {digits[(value >> 4) & 0xF], digits[value & 0xF]};
}

inline std::string HexBytes(const Bytes& bytes) {
    std::string text;
    for (auto b : bytes)
        text += Hex2(b);
    return text;
}

// ":" LL AAAA TT data CC
inline std::string IntelRecord(unsigned type, unsigned address, const Bytes& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    for (auto b : data)
        sum += b;
    return ":" + Hex2(static_cast<unsigned>(data.size())) + Hex2(address >> 8) + Hex2(address) +
           Hex2(type) + HexBytes(data) + Hex2(0u - sum);
}

// "S" t CC address data CS, the address given as its bytes.
inline std::string SRecord(char type, const Bytes& address, const Bytes& data) {
    const unsigned count = static_cast<unsigned>(address.size() + data.size() + 1);
    unsigned sum = count;
    for (auto b : address)
        sum += b;
    for (auto b : data)
        sum += b;
    return std::string("S") + type + Hex2(count) + HexBytes(address) + HexBytes(data) + Hex2(~sum);
}

inline unsigned DigitSum(const std::string& text) {
    unsigned sum = 0;
    for (char c : text)
        sum += static_cast<unsigned>(std::stoi(std::string(1, c), nullptr, 16));
    return sum;
}

// "/" AAAA LL HH data DD
inline std::string TekRecord(unsigned address, const Bytes& data) {
    const std::string header =
        Hex2(address >> 8) + Hex2(address) + Hex2(static_cast<unsigned>(data.size()));
    const std::string digits = HexBytes(data);
    return "/" + header + Hex2(DigitSum(header)) + digits + Hex2(DigitSum(digits));
}

// "%" LL 6 CC 8 AAAAAAAA data, LL counting the characters after the '%'.
inline std::string TekExtendedRecord(char type, std::uint32_t address, const Bytes& data) {
    const std::string tail = "8" + Hex2(address >> 24) + Hex2(address >> 16) + Hex2(address >> 8) +
                             Hex2(address) + HexBytes(data);
    const std::string length = Hex2(static_cast<unsigned>(5 + tail.size()));
    const unsigned sum = DigitSum(length) + DigitSum(std::string(1, type)) + DigitSum(tail);
    return "%" + length + type + Hex2(sum) + tail;
}

inline std::string Lines(const std::vector<std::string>& records, const std::string& end = "\r\n") {
    std::string text;
    for (const auto& r : records)
        text += r + end;
    return text;
}

inline Bytes ReadBytes(const std::filesystem::path& path) {
    const std::string text = ReadFile(path);
    return Bytes(text.begin(), text.end());
}

struct Decoded {
    DecodeResult result;
    Bytes image;
    std::vector<std::string> log;
};

inline Decoded DecodeText(HexFormat format, const std::string& text, std::uint8_t fill = 0xFF,
                          std::uint64_t limit = UINT64_MAX) {
    TempDir dir;
    FixedClock clock;
    InformationLog log(clock);
    DecodeRequest request;
    request.source = dir.Write("in.hex", text);
    request.scratch = dir / "output.tmp.temp";
    request.fill = fill;
    request.writeLimit = limit;
    request.log = &log;
    Decoded decoded;
    decoded.result = DecodeHex(format, request);
    decoded.image = ReadBytes(request.scratch);
    decoded.log = log.Lines();
    return decoded;
}

}  // namespace torq::test
