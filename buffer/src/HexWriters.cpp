// The writers: the range is read in blocks (bytes beyond the buffer file's end come out as FF),
// records are formatted straight into a large output block.
#include <array>
#include <vector>

#include "FileIo.h"
#include "HexScan.h"
#include "torq/buffer/BufferFile.h"
#include "torq/buffer/Save.h"

namespace torq {

namespace {

using hex::ByteSum;

constexpr std::size_t kRecordBytes = 32;
constexpr std::size_t kReadBlock = 64 * 1024;  // a multiple of the record size and of 0x10000
constexpr std::size_t kLongestLine = 128;      // a 32-byte record of any format with its line end
constexpr char kDigits[] = "0123456789ABCDEF";

struct HexPairTable {
    std::array<char, 512> text{};
    constexpr HexPairTable() {
        for (int i = 0; i < 256; ++i) {
            text[2 * i] = kDigits[i >> 4];
            text[2 * i + 1] = kDigits[i & 0xF];
        }
    }
};
constexpr HexPairTable kPairs;

char* PutByte(char* out, unsigned value) {
    out[0] = kPairs.text[2 * (value & 0xFF)];
    out[1] = kPairs.text[2 * (value & 0xFF) + 1];
    return out + 2;
}

char* PutBytes(char* out, const std::uint8_t* data, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        out = PutByte(out, data[i]);
    return out;
}

// Address digits, most significant first.
char* PutAddress(char* out, std::uint64_t address, unsigned bytes) {
    for (unsigned i = bytes; i-- > 0;)
        out = PutByte(out, static_cast<unsigned>(address >> (8 * i)));
    return out;
}

char* PutLineEnd(char* out) {
    out[0] = '\r';
    out[1] = '\n';
    return out + 2;
}

unsigned DigitSum(unsigned byte) {
    return (byte >> 4) + (byte & 0xF);
}

void PutText(io::BufferedFileWriter& out, std::string_view line) {
    out.Append(line.data(), line.size());
    out.Append("\r\n", 2);
}

// One record of up to 32 bytes at a relative offset, formatted into `out`; returns the end.
using RecordFormatter = char* (*)(char* out, std::uint64_t offset, const std::uint8_t* data,
                                  std::size_t count);

char* IntelRecord(char* out, std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
    if (offset != 0 && offset % 0x10000 == 0) {
        // The extended segment address record before each 64 KiB.
        const unsigned segment = static_cast<unsigned>((offset & 0xF0000) >> 4);
        const unsigned sum = 2 + 2 + (segment >> 8) + (segment & 0xFF);
        *out++ = ':';
        out = PutByte(out, 2);
        out = PutAddress(out, 0, 2);
        out = PutByte(out, 2);
        out = PutAddress(out, segment, 2);
        out = PutByte(out, 0u - sum);
        out = PutLineEnd(out);
    }
    const unsigned address = static_cast<unsigned>(offset & 0xFFFF);
    const unsigned sum =
        static_cast<unsigned>(count) + (address >> 8) + (address & 0xFF) + ByteSum(data, count);
    *out++ = ':';
    out = PutByte(out, static_cast<unsigned>(count));
    out = PutAddress(out, address, 2);
    out = PutByte(out, 0);
    out = PutBytes(out, data, count);
    out = PutByte(out, 0u - sum);
    return PutLineEnd(out);
}

template <unsigned kAddressBytes>
char* MotorolaRecord(char* out, std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
    const unsigned recordCount = kAddressBytes + static_cast<unsigned>(count) + 1;
    unsigned sum = recordCount + ByteSum(data, count);
    for (unsigned i = 0; i < kAddressBytes; ++i)
        sum += static_cast<unsigned>(offset >> (8 * i)) & 0xFF;
    *out++ = 'S';
    *out++ = static_cast<char>('0' + kAddressBytes - 1);
    out = PutByte(out, recordCount);
    out = PutAddress(out, offset, kAddressBytes);
    out = PutBytes(out, data, count);
    out = PutByte(out, ~sum);
    return PutLineEnd(out);
}

char* TektronixRecord(char* out, std::uint64_t offset, const std::uint8_t* data,
                      std::size_t count) {
    const unsigned address = static_cast<unsigned>(offset & 0xFFFF);
    const unsigned headerSum =
        DigitSum(address >> 8) + DigitSum(address & 0xFF) + DigitSum(static_cast<unsigned>(count));
    unsigned dataSum = 0;
    for (std::size_t i = 0; i < count; ++i)
        dataSum += DigitSum(data[i]);
    *out++ = '/';
    out = PutAddress(out, address, 2);
    out = PutByte(out, static_cast<unsigned>(count));
    out = PutByte(out, headerSum);
    out = PutBytes(out, data, count);
    out = PutByte(out, dataSum);
    return PutLineEnd(out);
}

struct TextFormat {
    std::string_view header;  // empty: none
    RecordFormatter record;
    std::string_view trailer;
};

TextFormat TextFormatOf(SaveFormat format) {
    switch (format) {
        case SaveFormat::IntelHex:
            return {{}, IntelRecord, ":00000001FF"};
        case SaveFormat::MotorolaS1:
            return {"S0030000FC", MotorolaRecord<2>, "S9030000FC"};
        // Each termination record carries an address as long as its data records' (S8: three
        // bytes, S7: four), so other tools read the files back.
        case SaveFormat::MotorolaS2:
            return {"S0030000FC", MotorolaRecord<3>, "S804000000FB"};
        case SaveFormat::MotorolaS3:
            return {"S0030000FC", MotorolaRecord<4>, "S70500000000FA"};
        case SaveFormat::TektronixHex:
            return {{}, TektronixRecord, "/00000000"};
        case SaveFormat::Binary:
            break;
    }
    return {};
}

bool Failed(std::string* error, std::string reason) {
    if (error != nullptr)
        *error = std::move(reason);
    return false;
}

}  // namespace

bool IsBufferOrScratch(const std::filesystem::path& file, const std::filesystem::path& bufferFile) {
    std::error_code error;
    return std::filesystem::equivalent(file, bufferFile, error) ||
           std::filesystem::equivalent(file, BufferFile(bufferFile).ScratchPath(), error);
}

bool WriteBufferRange(const std::filesystem::path& bufferFile, std::uint64_t start,
                      std::uint64_t end, SaveFormat format, const std::filesystem::path& output,
                      std::string* error) {
    if (end < start)
        return Failed(error, "the range is empty");
    const std::uint64_t size = end - start + 1;
    if (const auto limit = SaveSizeLimit(format); limit && size > *limit) {
        return Failed(error,
                      "the range is too large for " + std::string(SaveFormatCaption(format)));
    }
    if (IsBufferOrScratch(output, bufferFile))
        return Failed(error, std::string(kSaveOntoBufferMessage));
    const BufferBlockReader buffer(bufferFile);
    if (!buffer.IsOpen())
        return Failed(error, "cannot open " + bufferFile.string());
    // The saved file replaces an older one only when it is complete: a full disk leaves the old
    // file whole and no partial file behind.
    ReplacementFile file(output);
    if (!file.IsOpen())
        return Failed(error, "cannot create " + output.string());
    io::BufferedFileWriter out(file.Descriptor());
    std::vector<std::uint8_t> block(
        format == SaveFormat::Binary ? io::BufferedFileWriter::kDefaultBlockSize : kReadBlock);
    const TextFormat text = TextFormatOf(format);
    if (!text.header.empty())
        PutText(out, text.header);
    for (std::uint64_t done = 0; done < size;) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - done));
        if (!buffer.Read(start + done, {block.data(), chunk})) {
            return Failed(error, "cannot read " + bufferFile.string());
        }
        if (format == SaveFormat::Binary) {
            out.Append(block.data(), chunk);
        } else {
            for (std::size_t i = 0; i < chunk; i += kRecordBytes) {
                const std::size_t count = std::min(kRecordBytes, chunk - i);
                char* line = out.Reserve(kLongestLine);
                out.Commit(static_cast<std::size_t>(
                    text.record(line, done + i, block.data() + i, count) - line));
            }
        }
        done += chunk;
    }
    if (format != SaveFormat::Binary)
        PutText(out, text.trailer);
    if (!out.Flush() || !file.Commit(true))
        return Failed(error, "cannot write " + output.string());
    return true;
}

}  // namespace torq
