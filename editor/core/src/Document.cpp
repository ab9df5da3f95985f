#include "torq/editor/Document.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace torq::editor {

std::string SystemErrorText(int error) {
    return std::generic_category().message(error);
}

DocumentWriter::DocumentWriter(const std::filesystem::path& path) : writer_(path) {
    if (!writer_.IsOpen()) {
        error_ =
            "The buffer file " + path.string() + " cannot be opened: " + SystemErrorText(errno);
        return;
    }
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) {
        error_ = "The buffer file " + path.string() + " cannot be opened: " + error.message();
        writer_.Close();
        return;
    }
    length_ = size;
}

bool DocumentWriter::Fail() {
    error_ = "The buffer file cannot be written: " + SystemErrorText(errno);
    return false;
}

bool DocumentWriter::ExtendTo(std::uint64_t length) {
    if (!writer_.IsOpen())
        return false;
    if (length <= length_)
        return true;
    static const std::vector<std::uint8_t> erased(kExtendBlockSize, kErasedByte);
    while (length_ < length) {
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(length - length_, erased.size()));
        if (!writer_.Write(length_, {erased.data(), n}))
            return Fail();
        length_ += n;
    }
    return true;
}

bool DocumentWriter::Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    if (!ExtendTo(offset))
        return false;
    if (bytes.empty())
        return true;
    changed_ = true;
    if (!writer_.Write(offset, bytes))
        return Fail();
    length_ = std::max(length_, offset + bytes.size());
    return true;
}

bool DocumentWriter::Close() {
    if (!writer_.IsOpen())
        return error_.empty();
    const bool wasOk = error_.empty();
    if (!writer_.Close() && wasOk)
        error_ = "The buffer file cannot be written: " + SystemErrorText(errno);
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
    DocumentWriter writer(path_);
    bool ok = writer.Write(offset, bytes);
    ok = writer.Close() && ok;
    if (error != nullptr)
        *error = writer.Error();
    if (changed != nullptr)
        *changed = writer.Changed();
    return ok;
}

}  // namespace torq::editor
