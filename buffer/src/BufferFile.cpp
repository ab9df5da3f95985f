#include "torq/buffer/BufferFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "FileIo.h"
#include "torq/devlib/Text.h"

namespace torq {

namespace {

// Checksums read in blocks this large: far fewer system calls than the 16384-byte blocks the
// rule is stated in, and the same sum whatever the block size.
// 64 KiB reads keep each block in the L2 cache while it is summed, which measured faster than
// larger reads from the page cache.
constexpr std::size_t kSumReadSize = 64 * 1024;
// A long sum reports its progress this often (the window's pump runs with each report).
constexpr std::uint64_t kSumProgressStep = 4 * 1024 * 1024;

}  // namespace

std::filesystem::path BufferFile::ScratchPath() const {
    auto path = path_;
    path += ".temp";
    return path;
}

bool BufferFile::Initialise(std::uint64_t deviceSize, std::string* reason) const {
    const std::unique_ptr<ReplacementFile> file = Prepare(deviceSize, reason);
    if (!file)
        return false;
    if (!file->Commit(false)) {
        if (reason != nullptr)
            *reason = "The buffer file could not be written (" + path_.string() + ") !";
        return false;
    }
    return true;
}

std::unique_ptr<ReplacementFile> BufferFile::Prepare(std::uint64_t deviceSize,
                                                     std::string* reason) const {
    const auto refuse = [&](std::string text) {
        if (reason != nullptr)
            *reason = std::move(text);
        return nullptr;
    };
    // The old buffer stays until the new one is complete, so both must fit for a moment.
    const auto free = FreeSpace(path_.parent_path());
    const std::uint64_t old = Length().value_or(0);
    if (free && deviceSize > *free + old) {
        return refuse("The buffer file of " + std::to_string(deviceSize) +
                      " bytes does not fit on the disk (" + std::to_string(*free) +
                      " bytes free) !");
    }
    auto file = std::make_unique<ReplacementFile>(path_);
    if (!file->IsOpen())
        return refuse("The buffer file cannot be created in " + path_.parent_path().string() +
                      " !");
    io::BufferedFileWriter out(file->Descriptor(), kBufferFillBlockSize);
    out.AppendFill(kErasedByte, deviceSize);
    if (!out.Flush())
        return refuse("The buffer file could not be written (" + path_.string() + ") !");
    return file;
}

bool BufferFile::Empty() const {
    // Never a blocking open: a FIFO in the buffer's place would hang the window's closing.
    io::OpenedFile file = io::CreateRegularFile(path_);
    return file.IsOpen() && file.fd.Close();
}

ReplacementFile::ReplacementFile(std::filesystem::path target) : target_(std::move(target)) {
    std::string pattern = target_.string() + ".new-XXXXXX";
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0)
        return;
    temporary_ = pattern;
    // mkstemp makes the file private to the user; images are ordinary files.
    ::fchmod(fd_, 0644);
}

ReplacementFile::~ReplacementFile() {
    Discard();
}

bool ReplacementFile::Append(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0 || !ok_)
        return false;
    ok_ = io::WriteAllAt(fd_, bytes.data(), bytes.size(), written_);
    written_ += bytes.size();
    return ok_;
}

bool ReplacementFile::Commit(bool durable) {
    if (fd_ < 0)
        return false;
    bool ok = ok_ && (!durable || ::fsync(fd_) == 0);
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    if (ok)
        ok = ::rename(temporary_.c_str(), target_.c_str()) == 0;
    if (!ok)
        ::unlink(temporary_.c_str());
    temporary_.clear();
    return ok;
}

void ReplacementFile::Discard() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

std::optional<std::uint64_t> FreeSpace(const std::filesystem::path& folder) {
    struct statvfs info {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

std::optional<std::uint64_t> BufferFile::Length() const {
    std::error_code error;
    const auto size = std::filesystem::file_size(path_, error);
    if (error)
        return std::nullopt;
    return size;
}

std::uint64_t SumOfBytes(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    std::uint64_t sum = 0;
#if defined(__SSE2__)
    // psadbw against zero adds eight bytes at a time into 64-bit lanes, without overflow.
    const __m128i zero = _mm_setzero_si128();
    __m128i a = zero, b = zero, c = zero, d = zero;
    while (n >= 64) {
        a = _mm_add_epi64(a,
                          _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), zero));
        b = _mm_add_epi64(
            b, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), zero));
        c = _mm_add_epi64(
            c, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), zero));
        d = _mm_add_epi64(
            d, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)), zero));
        p += 64;
        n -= 64;
    }
    const __m128i total = _mm_add_epi64(_mm_add_epi64(a, b), _mm_add_epi64(c, d));
    std::uint64_t lanes[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), total);
    sum = lanes[0] + lanes[1];
#endif
    for (std::size_t i = 0; i < n; ++i)
        sum += p[i];
    return sum;
}

std::optional<std::uint64_t> SumFileBytes(const std::filesystem::path& file, std::uint64_t first,
                                          std::uint64_t count, std::uint8_t fill,
                                          ProgressSink* progress, std::string* problem) {
    io::OpenedFile opened = io::OpenRegularFile(file, io::FileAccess::Read);
    if (!opened.IsOpen()) {
        if (problem != nullptr)
            *problem = std::move(opened.problem);
        return std::nullopt;
    }
    const int fd = opened.fd.Get();
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::vector<std::uint8_t> block(kSumReadSize);
    std::uint64_t sum = 0;
    std::uint64_t offset = first;
    const std::uint64_t total = count;
    std::uint64_t nextReport = kSumProgressStep;
    while (count > 0) {
        if (progress != nullptr && total - count >= nextReport) {
            progress->Progress(total - count, total);
            nextReport = total - count + kSumProgressStep;
        }
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, block.size()));
        const std::ptrdiff_t got = io::ReadUpToAt(fd, block.data(), chunk, offset);
        if (got < 0) {
            if (problem != nullptr)
                *problem = file.string() + " cannot be read: " + std::strerror(errno);
            return std::nullopt;
        }
        const auto read = static_cast<std::size_t>(got);
        sum += SumOfBytes({block.data(), read});
        if (read < chunk) {
            // The file ends here: every byte still to be counted is the fill byte.
            sum += static_cast<std::uint64_t>(fill) * (count - read);
            break;
        }
        offset += chunk;
        count -= chunk;
    }
    return sum;
}

std::optional<std::uint32_t> Checksum(const std::filesystem::path& file, std::uint64_t lastIndex,
                                      std::uint8_t fill, ProgressSink* progress,
                                      std::string* problem) {
    // lastIndex + 1 bytes; 64-bit, so a last index of 0xFFFFFFFF still counts 4 GiB.
    const std::uint64_t count = lastIndex + 1;
    if (count == 0)
        return std::nullopt;
    const auto sum = SumFileBytes(file, 0, count, fill, progress, problem);
    if (!sum)
        return std::nullopt;
    return static_cast<std::uint32_t>(*sum);
}

std::string ChecksumText(std::uint32_t sum) {
    return HexText(sum, 8);
}

BufferBlockReader::BufferBlockReader(const std::filesystem::path& path) {
    io::OpenedFile file = io::OpenRegularFile(path, io::FileAccess::Read);
    problem_ = std::move(file.problem);
    length_ = file.length;
    fd_ = file.fd.Release();
}

BufferBlockReader::~BufferBlockReader() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool BufferBlockReader::Read(std::uint64_t offset, std::span<std::uint8_t> block,
                             std::uint8_t pad) const {
    if (fd_ < 0)
        return false;
    const std::ptrdiff_t got = io::ReadUpToAt(fd_, block.data(), block.size(), offset);
    if (got < 0)
        return false;
    std::memset(block.data() + got, pad, block.size() - static_cast<std::size_t>(got));
    return true;
}

BufferBlockWriter::BufferBlockWriter(const std::filesystem::path& path) {
    io::OpenedFile file = io::OpenRegularFile(path, io::FileAccess::Update);
    problem_ = std::move(file.problem);
    fd_ = file.fd.Release();
}

BufferBlockWriter::~BufferBlockWriter() {
    Close();
}

bool BufferBlockWriter::Write(std::uint64_t offset, std::span<const std::uint8_t> block) {
    if (fd_ < 0)
        return false;
    if (!io::WriteAllAt(fd_, block.data(), block.size(), offset))
        ok_ = false;
    return ok_;
}

bool BufferBlockWriter::Close() {
    if (fd_ < 0)
        return ok_;
    if (::close(fd_) != 0)
        ok_ = false;
    fd_ = -1;
    return ok_;
}

}  // namespace torq
