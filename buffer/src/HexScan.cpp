#include "HexScan.h"

#include "FormatTable.h"

#include <fcntl.h>

#include <algorithm>
#include <new>

#include "FileIo.h"
#include "torq/devlib/Text.h"

namespace torq::hex {

namespace {

std::array<std::uint8_t, 256> MakeNibbleTable() {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        const int value = HexDigitValue(static_cast<char>(c));
        table[static_cast<std::size_t>(c)] = value < 0 ? kNotHex : static_cast<std::uint8_t>(value);
    }
    return table;
}

// The scratch file as an image output: sequential puts are gathered into large writes.
class ScratchOutput final : public ImageOutput {
  public:
    explicit ScratchOutput(io::BufferedFileWriter& writer) : writer_(writer) {}
    void Put(std::uint64_t address, const std::uint8_t* data, std::size_t size) override {
        writer_.MoveTo(address);
        writer_.Append(data, size);
    }
    void PutFill(std::uint64_t address, std::uint8_t fill, std::uint64_t count) override {
        writer_.MoveTo(address);
        writer_.AppendFill(fill, count);
    }

  private:
    io::BufferedFileWriter& writer_;
};

void LogLine(InformationLog* log, std::string_view line) {
    if (log != nullptr)
        log->WriteInfoLine(line);
}

}  // namespace

const std::array<std::uint8_t, 256> kNibble = MakeNibbleTable();

std::ptrdiff_t FdReader::Read(char* into, std::size_t size) {
    return io::ReadUpTo(fd_, into, size);
}

std::ptrdiff_t MemoryReader::Read(char* into, std::size_t size) {
    const std::size_t n = std::min(size, size_ - offset_);
    if (n > 0)
        std::memcpy(into, data_ + offset_, n);
    offset_ += n;
    return static_cast<std::ptrdiff_t>(n);
}

ScanWindow::ScanWindow(ByteReader& reader) : reader_(reader), data_(kSize) {
    Fill();
}

void ScanWindow::Fill() {
    if (endOfFile_)
        return;
    const std::ptrdiff_t got = reader_.Read(data_.data() + filled_, kSize - filled_);
    if (got < 0) {
        readFailed_ = true;
        endOfFile_ = true;
        return;
    }
    filled_ += static_cast<std::size_t>(got);
    if (filled_ < kSize)
        endOfFile_ = true;
}

void ScanWindow::Slide() {
    // The same bytes a re-read from window number x 32768 would give, without reading them twice.
    std::memmove(data_.data(), data_.data() + kSlide, filled_ - kSlide);
    filled_ -= kSlide;
    position_ -= kSlide;
    ++windowNumber_;
    Fill();
}

bool ScanWindow::SkipTo(char a, char b) {
    for (;;) {
        const char* begin = data_.data() + position_;
        const char* end = data_.data() + filled_;
        const char* found = nullptr;
        if (a == b) {
            found = static_cast<const char*>(
                std::memchr(begin, a, static_cast<std::size_t>(end - begin)));
        } else {
            found = std::find_if(begin, end, [a, b](char c) { return c == a || c == b; });
            if (found == end)
                found = nullptr;
        }
        if (found != nullptr) {
            position_ = static_cast<std::size_t>(found - data_.data());
            Settle();
            return true;
        }
        position_ = filled_;
        Settle();
        if (AtEnd())
            return false;
    }
}

std::size_t ScanWindow::LineEndLength() const {
    if (AtEnd())
        return 0;
    const char c = Current();
    if (c == '\r')
        return Has(2) && Here()[1] == '\n' ? 2 : 1;
    return c == '\n' ? 1 : 0;
}

void ImageWriter::FillUpTo(std::uint64_t address) {
    if (position_ < limit_) {
        output_.PutFill(position_, fill_, std::min(address, limit_) - position_);
    }
    position_ = address;
}

void ImageWriter::PlaceData(std::uint64_t address, const std::uint8_t* data, std::size_t size) {
    if (address > position_)
        FillUpTo(address);
    if (position_ < limit_) {
        output_.Put(position_, data,
                    static_cast<std::size_t>(std::min<std::uint64_t>(size, limit_ - position_)));
    }
    position_ += size;
}

void ImageWriter::MoveToBase(std::uint64_t base) {
    if (base > position_) {
        FillUpTo(base);
    } else {
        position_ = base;
    }
}

ProgressTracker::ProgressTracker(ProgressSink* sink, std::uint64_t fileLength)
    : sink_(sink), step_(std::max<std::uint64_t>(fileLength / 100, 1)), nextOffset_(step_) {
    if (sink_ != nullptr)
        sink_->Begin(100);
}

void ProgressTracker::Advance(std::uint64_t offset) {
    const std::uint64_t value = std::min<std::uint64_t>(offset / step_, 100);
    if (value > shown_) {
        if (sink_ != nullptr)
            sink_->Progress(value, 100);
        shown_ = value;
    }
    nextOffset_ = shown_ >= 100 ? UINT64_MAX : (shown_ + 1) * step_;
}

void ProgressTracker::Finish() {
    if (sink_ != nullptr)
        sink_->End();
}

bool RunDetector(HexFormat format, ByteReader& reader, InformationLog* log) {
    try {
        ScanWindow window(reader);
        const bool recognised = RowOf(format).detect(window);
        return recognised && !window.ReadFailed();
    } catch (const std::bad_alloc&) {
        LogLine(log, DetectFailMessage(format));
        return false;
    }
}

DecodeResult RunDecoder(HexFormat format, ByteReader& reader, std::uint64_t sourceLength,
                        ImageOutput& output, const DecodeRequest& request) {
    ProgressTracker progress(request.progress, sourceLength);
    DecodeResult result;
    try {
        ScanWindow window(reader);
        ImageWriter image(output, request.fill, request.writeLimit);
        const ScanEnd end = RowOf(format).decode(window, image, progress);
        result.endAddress = image.EndAddress();
        if (window.ReadFailed()) {
            LogLine(request.log, "Error : cannot read " + request.source.string());
        } else if (end == ScanEnd::FormatError) {
            LogLine(request.log, FormatErrorMessage(format));
        } else {
            result.ok = true;
        }
    } catch (const std::bad_alloc&) {
        // Only the window is allocated here: a decode without its window fails silently.
    }
    progress.Finish();
    return result;
}

}  // namespace torq::hex

namespace torq {

std::string_view FormatErrorMessage(HexFormat format) {
    return hex::RowOf(format).formatError;
}

std::string_view DetectFailMessage(HexFormat format) {
    return hex::RowOf(format).detectFail;
}

namespace {

// A scan's reads counted as a share of the file, for a detector given a progress sink.
class TrackedReader final : public hex::ByteReader {
  public:
    TrackedReader(hex::ByteReader& inner, hex::ProgressTracker& tracker)
        : inner_(inner), tracker_(tracker) {}
    std::ptrdiff_t Read(char* into, std::size_t size) override {
        const std::ptrdiff_t got = inner_.Read(into, size);
        if (got > 0) {
            done_ += static_cast<std::uint64_t>(got);
            tracker_.Update(done_);
        }
        return got;
    }

  private:
    hex::ByteReader& inner_;
    hex::ProgressTracker& tracker_;
    std::uint64_t done_ = 0;
};

}  // namespace

bool DetectHex(HexFormat format, const std::filesystem::path& source, InformationLog* log,
               ProgressSink* progress) {
    const io::OpenedFile file = io::OpenRegularFile(source, io::FileAccess::Read);
    if (!file.IsOpen())
        return false;
    ::posix_fadvise(file.fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    hex::FdReader reader(file.fd.Get());
    if (progress == nullptr)
        return hex::RunDetector(format, reader, log);
    hex::ProgressTracker tracker(progress, file.length);
    TrackedReader tracked(reader, tracker);
    const bool recognised = hex::RunDetector(format, tracked, log);
    tracker.Finish();
    return recognised;
}

bool DetectIntelHex(const std::filesystem::path& source, InformationLog* log) {
    return DetectHex(HexFormat::Intel, source, log);
}
bool DetectMotorolaHex(const std::filesystem::path& source, InformationLog* log) {
    return DetectHex(HexFormat::Motorola, source, log);
}
bool DetectTektronixHex(const std::filesystem::path& source, InformationLog* log) {
    return DetectHex(HexFormat::Tektronix, source, log);
}

DecodeResult DecodeHex(HexFormat format, const DecodeRequest& request) {
    const auto log = [&](const std::string& line) {
        if (request.log != nullptr)
            request.log->WriteInfoLine(line);
    };
    io::OpenedFile scratch = io::CreateRegularFile(request.scratch);
    if (!scratch.IsOpen()) {
        log("Error : " + scratch.problem);
        return {};
    }
    const io::OpenedFile source = io::OpenRegularFile(request.source, io::FileAccess::Read);
    if (!source.IsOpen()) {
        log("Error : " + source.problem);
        return {};
    }
    ::posix_fadvise(source.fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    hex::FdReader reader(source.fd.Get());
    io::BufferedFileWriter writer(scratch.fd.Get());
    hex::ScratchOutput output(writer);
    DecodeResult result = hex::RunDecoder(format, reader, source.length, output, request);
    const bool written = writer.Flush() && scratch.fd.Close();
    if (!written && result.ok) {
        log("Error : cannot write " + request.scratch.string());
        result.ok = false;
    }
    return result;
}

DecodeResult DecodeIntelHex(const DecodeRequest& request) {
    return DecodeHex(HexFormat::Intel, request);
}
DecodeResult DecodeMotorolaHex(const DecodeRequest& request) {
    return DecodeHex(HexFormat::Motorola, request);
}
DecodeResult DecodeTektronixHex(const DecodeRequest& request) {
    return DecodeHex(HexFormat::Tektronix, request);
}

}  // namespace torq
