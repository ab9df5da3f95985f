#include "torq/editor/UndoHistory.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "ProgressFrame.h"

namespace torq::editor {

namespace {

// The part of a range that lies within a file of `length` bytes.
std::uint64_t CountWithin(const ByteRange& range, std::uint64_t length) {
    if (range.start >= length)
        return 0;
    return std::min(range.count, length - range.start);
}

std::uint64_t SizeWithin(const std::vector<ByteRange>& ranges, std::uint64_t length) {
    std::uint64_t size = 0;
    for (const ByteRange& range : ranges)
        size += CountWithin(range, length);
    return size;
}

std::unique_ptr<BufferFileHandle> OpenCopy(const BufferOpener& opener,
                                           const std::filesystem::path& path) {
    return opener ? opener(path) : OpenBufferOnDisk(path);
}

// Nothing was written: the buffer is as it was.
UndoReport Refused(std::string error) {
    return {false, false, std::move(error), std::nullopt};
}

std::string CopyFileError(const std::filesystem::path& path, const char* what, int error) {
    return "The undo copy " + path.string() + " cannot be " + what + ": " + SystemErrorText(error);
}

}  // namespace

std::optional<std::uint64_t> FreeSpaceOnDisk(const std::filesystem::path& folder) {
    std::error_code error;
    const auto space = std::filesystem::space(folder, error);
    if (error)
        return std::nullopt;
    return space.available;
}

// ---- UndoCopy ----

UndoCopy::UndoCopy(UndoCopy&& other) noexcept
    : ranges_(std::move(other.ranges_)),
      fileLength_(other.fileLength_),
      size_(other.size_),
      bytes_(std::move(other.bytes_)),
      file_(std::move(other.file_)) {
    other.file_.clear();
}

UndoCopy& UndoCopy::operator=(UndoCopy&& other) noexcept {
    if (this != &other) {
        Remove();
        ranges_ = std::move(other.ranges_);
        fileLength_ = other.fileLength_;
        size_ = other.size_;
        bytes_ = std::move(other.bytes_);
        file_ = std::move(other.file_);
        other.file_.clear();
    }
    return *this;
}

UndoCopy::~UndoCopy() {
    Remove();
}

void UndoCopy::Remove() {
    if (file_.empty())
        return;
    std::error_code ignored;  // a copy that cannot be removed is only a file left behind
    std::filesystem::remove(file_, ignored);
    file_.clear();
}

// ---- UndoHistory ----

std::uint64_t UndoHistory::CopySize(const std::vector<ByteRange>& ranges) const {
    return SizeWithin(ranges, document_.Length().value_or(0));
}

std::optional<std::uint64_t> UndoHistory::FreeSpace() const {
    const auto folder = document_.Path().parent_path();
    return freeSpace_ ? freeSpace_(folder) : FreeSpaceOnDisk(folder);
}

bool UndoHistory::CopyFits(std::uint64_t size) const {
    if (size <= kUndoInMemoryBytes)
        return true;
    const auto free = FreeSpace();
    return !free || size <= *free;
}

std::optional<UndoCopy> UndoHistory::Take(std::vector<ByteRange> ranges, std::string* error,
                                          ProgressSink* progress) const {
    const auto fail = [error](std::string why) -> std::optional<UndoCopy> {
        if (error != nullptr)
            *error = std::move(why);
        return std::nullopt;
    };
    const auto buffer = document_.OpenWriter();
    if (!buffer->IsOpen())
        return fail(buffer->Error());
    UndoCopy copy;
    copy.ranges_ = std::move(ranges);
    copy.fileLength_ = buffer->Length();
    copy.size_ = SizeWithin(copy.ranges_, copy.fileLength_);

    if (copy.size_ <= kUndoInMemoryBytes) {
        copy.bytes_.resize(static_cast<std::size_t>(copy.size_));
        std::size_t at = 0;
        for (const ByteRange& range : copy.ranges_) {
            const auto count = static_cast<std::size_t>(CountWithin(range, copy.fileLength_));
            if (count == 0)
                continue;  // the range lies past the file's end: nothing existed there
            if (!buffer->Read(range.start, {copy.bytes_.data() + at, count}))
                return fail(buffer->Error());
            at += count;
        }
        return copy;
    }

    // A file of its own beside the buffer: the same file system, so the free space asked about
    // is the space it takes.
    std::string name = document_.Path().string() + ".undo.XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        const int reason = errno;
        return fail("A temporary file cannot be created beside the buffer file in " +
                    document_.Path().parent_path().string() + ": " + SystemErrorText(reason));
    }
    ::close(fd);
    copy.file_ = name;  // from here on the copy removes its file when it goes
    const auto out = OpenCopy(copyOpener_, copy.file_);
    if (out == nullptr)
        return fail(CopyFileError(copy.file_, "opened", errno));
    std::vector<std::uint8_t> block(kUndoBlockSize);
    ProgressFrame frame(progress, copy.size_);
    std::uint64_t at = 0;
    for (const ByteRange& range : copy.ranges_) {
        const std::uint64_t count = CountWithin(range, copy.fileLength_);
        for (std::uint64_t done = 0; done < count;) {
            const auto chunk =
                static_cast<std::size_t>(std::min<std::uint64_t>(count - done, block.size()));
            if (!buffer->Read(range.start + done, {block.data(), chunk}))
                return fail(buffer->Error());
            if (!out->Write(at, {block.data(), chunk}))
                return fail(CopyFileError(copy.file_, "written", errno));
            done += chunk;
            at += chunk;
            frame.Done(at);
        }
    }
    if (!out->Close())
        return fail(CopyFileError(copy.file_, "written", errno));
    return copy;
}

WriteReport UndoHistory::Restore(const UndoCopy& copy, ProgressSink* progress) const {
    const auto buffer = document_.OpenWriter();
    if (!buffer->IsOpen())
        return {false, false, buffer->Error()};
    std::unique_ptr<BufferFileHandle> in;
    if (!copy.file_.empty()) {
        in = OpenCopy(copyOpener_, copy.file_);
        if (in == nullptr)
            return {false, false, CopyFileError(copy.file_, "opened", errno)};
    }
    std::vector<std::uint8_t> block(in != nullptr ? kUndoBlockSize : 0);
    ProgressFrame frame(progress, copy.size_);
    std::string error;
    bool ok = true;
    std::uint64_t at = 0;
    for (const ByteRange& range : copy.ranges_) {
        const std::uint64_t count = CountWithin(range, copy.fileLength_);
        for (std::uint64_t done = 0; ok && done < count;) {
            const auto chunk = static_cast<std::size_t>(
                std::min<std::uint64_t>(count - done, in != nullptr ? block.size() : count));
            const std::uint8_t* bytes = copy.bytes_.data() + (in != nullptr ? 0 : at);
            if (in != nullptr) {
                ok = in->Read(at, {block.data(), chunk});
                if (!ok) {
                    error = CopyFileError(copy.file_, "read", errno);
                    break;
                }
                bytes = block.data();
            }
            // A range that starts beyond the file's end extends it with FF first.
            ok = buffer->Write(range.start + done, {bytes, chunk});
            done += chunk;
            at += chunk;
            frame.Done(at);
        }
        if (!ok)
            break;
    }
    // The length the file had: a file the change lengthened is cut back.
    if (ok)
        ok = buffer->SetLength(copy.fileLength_);
    ok = buffer->Close() && ok;
    if (error.empty())
        error = buffer->Error();
    return {ok, buffer->Changed(), ok ? std::string() : error};
}

void UndoHistory::Push(std::string name, UndoCopy before) {
    undone_.clear();
    done_.push_back({std::move(name), std::move(before)});
    Forget();
}

void UndoHistory::Forget() {
    while (done_.size() > kStepLimit)
        done_.pop_front();
    const auto onDisk = [](const std::deque<Step>& steps) {
        std::uint64_t size = 0;
        for (const Step& step : steps)
            size += step.copy.File().empty() ? 0 : step.copy.Size();
        return size;
    };
    std::uint64_t total = onDisk(done_) + onDisk(undone_);
    while (total > kDiskLimit && done_.size() > 1) {
        if (!done_.front().copy.File().empty())
            total -= done_.front().copy.Size();
        done_.pop_front();
    }
}

UndoReport UndoHistory::Undo(ProgressSink* progress) {
    UndoReport report;
    if (done_.empty())
        return Refused("There is nothing to undo.");
    Step& step = done_.back();
    std::optional<UndoCopy> after;
    std::string whyNoRedo;
    if (step.interrupted) {
        whyNoRedo = "an earlier undo or redo of it stopped part-way";
    } else if (!CopyFits(CopySize(step.copy.ranges_))) {
        whyNoRedo = "there is not enough free disk space beside the buffer file for its copy";
    } else {
        after = Take(step.copy.ranges_, &whyNoRedo, progress);
    }
    const WriteReport restored = Restore(step.copy, progress);
    if (!restored.ok) {
        report = {false, restored.changed, restored.error, std::nullopt};
        if (!restored.changed)
            return report;
        if (after && Restore(*after, progress).ok) {
            report.error += ". What was undone is put back, so the buffer is as it was.";
            return report;
        }
        step.interrupted = true;
        undone_.clear();
        report.error +=
            ". The buffer is now partly undone: Undo again, once the fault is cleared, puts it "
            "back as it was before the change.";
        return report;
    }
    report.changed = restored.changed;
    std::string name = std::move(step.name);
    done_.pop_back();
    if (after) {
        undone_.push_back({std::move(name), std::move(*after)});
    } else {
        undone_.clear();
        report.redoLost = whyNoRedo;
    }
    Forget();
    return report;
}

UndoReport UndoHistory::Redo(ProgressSink* progress) {
    if (undone_.empty())
        return Refused("There is nothing to redo.");
    Step& step = undone_.back();
    if (!CopyFits(CopySize(step.copy.ranges_)))
        return Refused(
            "There is not enough free disk space beside the buffer file for the copy that lets "
            "the change be undone again. Nothing was changed.");
    std::string why;
    std::optional<UndoCopy> before = Take(step.copy.ranges_, &why, progress);
    if (!before)
        return Refused(why + ". Nothing was changed.");
    const WriteReport restored = Restore(step.copy, progress);
    if (!restored.ok) {
        UndoReport report{false, restored.changed, restored.error, std::nullopt};
        if (!restored.changed)
            return report;
        if (Restore(*before, progress).ok) {
            report.error += ". What was redone is put back, so the buffer is as it was.";
            return report;
        }
        // Partly redone: the copy taken before lets undo put the buffer back as it was.
        std::string name = step.name;
        undone_.clear();
        done_.push_back({std::move(name), std::move(*before), true});
        Forget();
        report.error +=
            ". The buffer is now partly redone: Undo, once the fault is cleared, puts it back "
            "as it was.";
        return report;
    }
    std::string name = std::move(step.name);
    undone_.pop_back();
    done_.push_back({std::move(name), std::move(*before)});
    Forget();
    return {true, restored.changed, {}, std::nullopt};
}

void UndoHistory::Clear() {
    done_.clear();
    undone_.clear();
}

}  // namespace torq::editor
