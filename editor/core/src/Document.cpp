#include "torq/editor/Document.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "torq/devlib/RegularFile.h"

namespace torq::editor {

std::string SystemErrorText(int error) {
    return std::generic_category().message(error);
}

namespace {

class DiskFile final : public BufferFileHandle {
  public:
    DiskFile(int fd, std::uint64_t length) : fd_(fd), length_(length) {}
    ~DiskFile() override { Close(); }
    std::uint64_t Length() const override { return length_; }

    bool Read(std::uint64_t offset, std::span<std::uint8_t> into) override {
        std::size_t got = 0;
        while (got < into.size()) {
            const ssize_t n = ::pread(fd_, into.data() + got, into.size() - got,
                                      static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            if (n == 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        std::memset(into.data() + got, kErasedByte, into.size() - got);
        return true;
    }

    bool Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        std::size_t put = 0;
        while (put < bytes.size()) {
            const ssize_t n = ::pwrite(fd_, bytes.data() + put, bytes.size() - put,
                                       static_cast<off_t>(offset + put));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (n == 0)
                    errno = EIO;
                return false;
            }
            put += static_cast<std::size_t>(n);
        }
        return true;
    }

    bool Truncate(std::uint64_t length) override {
        while (::ftruncate(fd_, static_cast<off_t>(length)) != 0) {
            if (errno != EINTR)
                return false;
        }
        return true;
    }

    bool Close() override {
        if (fd_ < 0)
            return true;
        const bool ok = ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

  private:
    int fd_;
    std::uint64_t length_;
};

}  // namespace

std::unique_ptr<BufferFileHandle> OpenBufferOnDisk(const std::filesystem::path& path) {
    io::OpenedFile file = io::OpenRegularFile(path, io::FileAccess::Update);
    if (!file.IsOpen()) {
        errno = file.error != 0 ? file.error : EINVAL;
        return nullptr;
    }
    return std::make_unique<DiskFile>(file.fd.Release(), file.length);
}

DocumentWriter::DocumentWriter(const std::filesystem::path& path, const BufferOpener& opener)
    : file_(opener ? opener(path) : OpenBufferOnDisk(path)) {
    if (file_ == nullptr) {
        const int error = errno;
        const auto kind = io::NonRegularKind(path);
        error_ = kind ? "The buffer file " + io::NotRegularFileText(path, *kind)
                      : "The buffer file " + path.string() +
                            " cannot be opened: " + SystemErrorText(error);
        return;
    }
    length_ = file_->Length();
}

DocumentWriter::~DocumentWriter() {
    Close();
}

bool DocumentWriter::Fail(const char* what) {
    if (error_.empty())
        error_ = std::string("The buffer file cannot be ") + what + ": " + SystemErrorText(errno);
    return false;
}

bool DocumentWriter::ExtendTo(std::uint64_t length) {
    if (!IsOpen())
        return false;
    if (length <= length_)
        return true;
    static const std::vector<std::uint8_t> erased(kExtendBlockSize, kErasedByte);
    while (length_ < length) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(length - length_, erased.size()));
        changed_ = true;
        if (!file_->Write(length_, {erased.data(), n}))
            return Fail("written");
        length_ += n;
    }
    return true;
}

bool DocumentWriter::Read(std::uint64_t offset, std::span<std::uint8_t> into) {
    if (!IsOpen())
        return false;
    if (!file_->Read(offset, into))
        return Fail("read");
    return true;
}

bool DocumentWriter::Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    if (!ExtendTo(offset))
        return false;
    if (bytes.empty())
        return true;
    changed_ = true;
    if (!file_->Write(offset, bytes))
        return Fail("written");
    length_ = std::max(length_, offset + bytes.size());
    return true;
}

bool DocumentWriter::SetLength(std::uint64_t length) {
    if (!IsOpen())
        return false;
    if (length >= length_)
        return ExtendTo(length);
    changed_ = true;
    if (!file_->Truncate(length))
        return Fail("cut short");
    length_ = length;
    return true;
}

bool DocumentWriter::Close() {
    if (!IsOpen())
        return error_.empty();
    const bool closed = file_->Close();
    const int error = errno;
    file_.reset();
    if (!closed && error_.empty())
        error_ = "The buffer file cannot be written: " + SystemErrorText(error);
    return error_.empty();
}

std::optional<std::uint64_t> BufferDocument::Length() const {
    std::error_code error;
    const auto size = std::filesystem::file_size(path_, error);
    if (error)
        return std::nullopt;
    return size;
}

bool BufferDocument::Read(std::uint64_t offset, std::span<std::uint8_t> into) const {
    const BufferBlockReader reader(path_);
    if (!reader.Read(offset, into)) {
        std::memset(into.data(), kErasedByte, into.size());
        return false;
    }
    return true;
}

bool BufferDocument::Write(std::uint64_t offset, std::span<const std::uint8_t> bytes,
                           std::string* error, bool* changed) const {
    const auto writer = OpenWriter();
    bool ok = writer->Write(offset, bytes);
    ok = writer->Close() && ok;
    if (error != nullptr)
        *error = writer->Error();
    if (changed != nullptr)
        *changed = writer->Changed();
    return ok;
}

}  // namespace torq::editor
