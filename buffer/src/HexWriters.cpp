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

char* PutLineEnd(char* out) {
    out[0] = '\r';
    out[1] = '\n';
    return out + 2;
}

void PutText(io::BufferedFileWriter& out, std::string_view line) {
    out.Append(line.data(), line.size());
    out.Append("\r\n", 2);
}

// One record line as it is written: every byte that counts towards a checksum goes through
// Byte, which emits its two digits and adds it to the sums, so the checksum and the bytes on the
// line cannot drift apart.
class RecordLine {
  public:
    explicit RecordLine(char* out) : out_(out) {}
    void Char(char c) { *out_++ = c; }
    void Byte(unsigned value) {
        value &= 0xFF;
        out_ = PutByte(out_, value);
        byteSum_ += value;
        digitSum_ += (value >> 4) + (value & 0xF);
    }
    void Bytes(const std::uint8_t* data, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            Byte(data[i]);
    }
    // Address bytes, most significant first.
    void Address(std::uint64_t address, unsigned bytes) {
        for (unsigned i = bytes; i-- > 0;)
            Byte(static_cast<unsigned>(address >> (8 * i)));
    }
    unsigned ByteSum() const { return byteSum_; }
    unsigned DigitSum() const { return digitSum_; }
    void RestartSums() { byteSum_ = digitSum_ = 0; }
    // A checksum field: written, not summed.
    void Checksum(unsigned value) { out_ = PutByte(out_, value); }
    char* End() { return PutLineEnd(out_); }

  private:
    char* out_;
    unsigned byteSum_ = 0;
    unsigned digitSum_ = 0;
};

// One record of up to 32 bytes at a relative offset, formatted into `out`; returns the end.
using RecordFormatter = char* (*)(char* out, std::uint64_t offset, const std::uint8_t* data,
                                  std::size_t count);

char* IntelRecord(char* out, std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
    if (offset != 0 && offset % 0x10000 == 0) {
        // The extended segment address record before each 64 KiB.
        RecordLine segment(out);
        segment.Char(':');
        segment.Byte(2);
        segment.Address(0, 2);
        segment.Byte(2);
        segment.Address((offset & 0xF0000) >> 4, 2);
        segment.Checksum(0u - segment.ByteSum());
        out = segment.End();
    }
    RecordLine line(out);
    line.Char(':');
    line.Byte(static_cast<unsigned>(count));
    line.Address(offset & 0xFFFF, 2);
    line.Byte(0);
    line.Bytes(data, count);
    line.Checksum(0u - line.ByteSum());
    return line.End();
}

template <unsigned kAddressBytes>
char* MotorolaRecord(char* out, std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
    RecordLine line(out);
    line.Char('S');
    line.Char(static_cast<char>('0' + kAddressBytes - 1));
    line.Byte(kAddressBytes + static_cast<unsigned>(count) + 1);
    line.Address(offset, kAddressBytes);
    line.Bytes(data, count);
    line.Checksum(~line.ByteSum());
    return line.End();
}

char* TektronixRecord(char* out, std::uint64_t offset, const std::uint8_t* data,
                      std::size_t count) {
    RecordLine line(out);
    line.Char('/');
    line.Address(offset & 0xFFFF, 2);
    line.Byte(static_cast<unsigned>(count));
    line.Checksum(line.DigitSum());  // the header: address and count digits
    line.RestartSums();
    line.Bytes(data, count);
    line.Checksum(line.DigitSum());  // the data digits
    return line.End();
}

// Each output format in one row: its caption in the save dialog, the largest range it addresses,
// its usual extension, and how its records are written (binary has none).
struct SaveFormatRow {
    SaveFormat format;
    std::string_view caption;
    std::optional<std::uint64_t> sizeLimit;
    std::string_view extension;
    std::string_view header;  // empty: none
    RecordFormatter record;   // null: raw bytes
    std::string_view trailer;
};

// Each termination record carries an address as long as its data records' (S8: three bytes, S7:
// four), so other tools read the files back.
constexpr SaveFormatRow kSaveFormats[] = {
    {SaveFormat::Binary, "Binary/Machine Code", std::nullopt, "bin", {}, nullptr, {}},
    {SaveFormat::IntelHex, "Intel Hex", 0x100000, "hex", {}, IntelRecord, ":00000001FF"},
    {SaveFormat::MotorolaS1, "Motorola S1", 0x10000, "s19", "S0030000FC", MotorolaRecord<2>,
     "S9030000FC"},
    {SaveFormat::MotorolaS2, "Motorola S2", 0x10000, "s28", "S0030000FC", MotorolaRecord<3>,
     "S804000000FB"},
    {SaveFormat::MotorolaS3, "Motorola S3", 0x1000000, "s37", "S0030000FC", MotorolaRecord<4>,
     "S70500000000FA"},
    {SaveFormat::TektronixHex, "Tektronix Hex", 0x10000, "tek", {}, TektronixRecord, "/00000000"},
};

const SaveFormatRow& RowOf(SaveFormat format) {
    for (const auto& row : kSaveFormats) {
        if (row.format == format)
            return row;
    }
    return kSaveFormats[0];
}

bool Failed(std::string* error, std::string reason) {
    if (error != nullptr)
        *error = std::move(reason);
    return false;
}

}  // namespace

std::string_view SaveFormatCaption(SaveFormat format) {
    return RowOf(format).caption;
}

std::optional<std::uint64_t> SaveSizeLimit(SaveFormat format) {
    return RowOf(format).sizeLimit;
}

std::string_view SaveFormatExtension(SaveFormat format) {
    return RowOf(format).extension;
}

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
        return Failed(error, buffer.Problem());
    // The saved file replaces an older one only when it is complete: a full disk leaves the old
    // file whole and no partial file behind.
    ReplacementFile file(output);
    if (!file.IsOpen())
        return Failed(error, "cannot create " + output.string());
    io::BufferedFileWriter out(file.Descriptor());
    const SaveFormatRow& text = RowOf(format);
    std::vector<std::uint8_t> block(
        text.record == nullptr ? io::BufferedFileWriter::kDefaultBlockSize : kReadBlock);
    if (!text.header.empty())
        PutText(out, text.header);
    for (std::uint64_t done = 0; done < size;) {
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - done));
        if (!buffer.Read(start + done, {block.data(), chunk})) {
            return Failed(error, "cannot read " + bufferFile.string());
        }
        if (text.record == nullptr) {
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
    if (!text.trailer.empty())
        PutText(out, text.trailer);
    if (!out.Flush() || !file.Commit(true))
        return Failed(error, "cannot write " + output.string());
    return true;
}

}  // namespace torq
