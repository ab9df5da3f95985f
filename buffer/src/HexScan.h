// What the three text formats share: the scan window over the source file, the hex-pair and
// nibble lexing, the decoder's image writer with its gaps and write limit, the progress steps, and
// the frames that run a detector or a decoder over a file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "torq/buffer/HexFormats.h"

namespace torq::hex {

// ---- lexing ------------------------------------------------------------------------------------

// Digit value 0-15 of a hexadecimal character, kNotHex for any other character.
inline constexpr std::uint8_t kNotHex = 0x10;
extern const std::array<std::uint8_t, 256> kNibble;

inline std::uint8_t Nibble(char c) {
    return kNibble[static_cast<unsigned char>(c)];
}

// Decodes `pairs` two-digit fields; false when any character is not a hexadecimal digit.
inline bool DecodeHexPairs(const char* text, std::size_t pairs, std::uint8_t* out) {
    unsigned bad = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        const unsigned high = Nibble(text[2 * i]);
        const unsigned low = Nibble(text[2 * i + 1]);
        bad |= high | low;
        out[i] = static_cast<std::uint8_t>((high << 4) | (low & 0x0F));
    }
    return (bad & kNotHex) == 0;
}

inline std::optional<std::uint8_t> HexPair(const char* text) {
    std::uint8_t value;
    if (!DecodeHexPairs(text, 1, &value))
        return std::nullopt;
    return value;
}

// A field of up to 16 hexadecimal digits.
inline std::optional<std::uint64_t> HexField(const char* text, std::size_t digits) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const std::uint8_t v = Nibble(text[i]);
        if (v == kNotHex)
            return std::nullopt;
        value = (value << 4) | v;
    }
    return value;
}

// The sum of the digit values of the characters; a character that is no digit counts 0.
inline unsigned NibbleSum(const char* text, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t v = Nibble(text[i]);
        sum += v == kNotHex ? 0u : v;
    }
    return sum;
}

inline unsigned ByteSum(const std::uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return sum;
}

// ---- the scan window
// -----------------------------------------------------------------------------

class ByteReader {
  public:
    virtual ~ByteReader() = default;
    // Fills up to `size` bytes; the count read (0 at the end), or -1 on an error.
    virtual std::ptrdiff_t Read(char* into, std::size_t size) = 0;
};

class FdReader final : public ByteReader {
  public:
    explicit FdReader(int fd) : fd_(fd) {}
    std::ptrdiff_t Read(char* into, std::size_t size) override;

  private:
    int fd_;
};

class MemoryReader final : public ByteReader {
  public:
    MemoryReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::ptrdiff_t Read(char* into, std::size_t size) override;

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

// A 64 KiB window over the source, read from the start of the file. After a record, once the
// position has passed 32768, the window slides on by 32768 bytes; a record (at most a few hundred
// characters) therefore always lies whole in the window unless the file itself ends. Nothing
// beyond the data actually read is ever looked at.
class ScanWindow {
  public:
    static constexpr std::size_t kSize = 65536;
    static constexpr std::size_t kSlide = 32768;

    // Allocates the window (std::bad_alloc when it cannot) and reads the first part of the file.
    explicit ScanWindow(ByteReader& reader);

    bool AtEnd() const { return position_ >= filled_; }
    bool Has(std::size_t count) const { return count <= filled_ - position_; }
    const char* Here() const { return data_.data() + position_; }
    char Current() const { return data_[position_]; }
    void Advance(std::size_t count) { position_ += count; }
    // Called after each record or skipped character.
    void Settle() {
        if (position_ > kSlide)
            Slide();
    }
    // Moves to the next character that is `a` or `b`; false at the end of the data.
    bool SkipTo(char a, char b);
    // The length of a line end (CR LF, LF or CR) at the position; 0 when there is none.
    std::size_t LineEndLength() const;
    // The file offset of the position (window number x 32768 + position).
    std::uint64_t Offset() const { return windowNumber_ * kSlide + position_; }
    bool ReadFailed() const { return readFailed_; }

  private:
    void Slide();
    void Fill();
    ByteReader& reader_;
    std::vector<char> data_;
    std::size_t filled_ = 0;
    std::size_t position_ = 0;
    std::uint64_t windowNumber_ = 0;
    bool endOfFile_ = false;
    bool readFailed_ = false;
};

// ---- the decoder's image
// ---------------------------------------------------------------------------

// Where decoded bytes go (the scratch file; a bounded memory image when fuzzing).
class ImageOutput {
  public:
    virtual ~ImageOutput() = default;
    virtual void Put(std::uint64_t address, const std::uint8_t* data, std::size_t size) = 0;
    virtual void PutFill(std::uint64_t address, std::uint8_t fill, std::uint64_t count) = 0;
};

// The write position of a decode. Gaps below a record are written with the fill byte in fixed
// blocks (never one block of the gap's size); bytes at or above the write limit are counted but not
// written, so an address jump to 4 GiB costs neither memory nor disk.
class ImageWriter {
  public:
    ImageWriter(ImageOutput& output, std::uint8_t fill, std::uint64_t limit)
        : output_(output), fill_(fill), limit_(limit) {}

    // A data record: a record above the write position leaves a gap; one below it is written at
    // the write position (records are taken in ascending order).
    void PlaceData(std::uint64_t address, const std::uint8_t* data, std::size_t size);
    // An extended address record: fills up to a higher base, moves back to a lower one.
    void MoveToBase(std::uint64_t base);

    std::uint64_t Position() const { return position_; }
    std::optional<std::uint64_t> EndAddress() const {
        if (position_ == 0)
            return std::nullopt;
        return position_ - 1;
    }

  private:
    void FillUpTo(std::uint64_t address);
    ImageOutput& output_;
    std::uint8_t fill_;
    std::uint64_t limit_;
    std::uint64_t position_ = 0;
};

// Steps the progress sink by whole percents of the file.
class ProgressTracker {
  public:
    ProgressTracker(ProgressSink* sink, std::uint64_t fileLength);
    void Update(std::uint64_t offset) {
        if (offset >= nextOffset_)
            Advance(offset);
    }
    void Finish();

  private:
    void Advance(std::uint64_t offset);
    ProgressSink* sink_;
    std::uint64_t step_;
    std::uint64_t shown_ = 0;
    std::uint64_t nextOffset_;
};

// ---- the formats
// -------------------------------------------------------------------------------------

enum class ScanEnd { EndOfData, Terminated, FormatError };

// Each format's scans, over a window already positioned at the start of the file.
bool ScanIntelDetect(ScanWindow& window);
bool ScanMotorolaDetect(ScanWindow& window);
bool ScanTektronixDetect(ScanWindow& window);
ScanEnd ScanIntelDecode(ScanWindow& window, ImageWriter& image, ProgressTracker& progress);
ScanEnd ScanMotorolaDecode(ScanWindow& window, ImageWriter& image, ProgressTracker& progress);
ScanEnd ScanTektronixDecode(ScanWindow& window, ImageWriter& image, ProgressTracker& progress);

bool RunDetector(HexFormat format, ByteReader& reader, InformationLog* log);
// Runs a decode over a reader into an output; logs the format error line on a format error.
DecodeResult RunDecoder(HexFormat format, ByteReader& reader, std::uint64_t sourceLength,
                        ImageOutput& output, const DecodeRequest& request);

}  // namespace torq::hex
