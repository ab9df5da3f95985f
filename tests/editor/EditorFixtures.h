// Small buffer files for the editor's tests.
#pragma once

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "torq/editor/Document.h"
#include "torq/editor/EditorSession.h"

namespace torq::test {

using ByteVector = std::vector<std::uint8_t>;

inline std::filesystem::path WriteBuffer(const TempDir& dir, const ByteVector& bytes) {
    return dir.Write("output.tmp", std::string(bytes.begin(), bytes.end()));
}

inline ByteVector ReadBytes(const std::filesystem::path& path) {
    const std::string text = ReadFile(path);
    return ByteVector(text.begin(), text.end());
}

// Bytes 0, 1, 2, ... wrapping at 256.
inline ByteVector Counting(std::size_t size) {
    ByteVector bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

// The buffer file on disk, with writes that stop at a byte budget as a filling disk does: the
// write that reaches the budget puts its bytes up to it and fails with ENOSPC. Once the budget is
// spent, later writes fail too unless `recovers` (room was freed). Reads at or past `readFailsAt`
// fail with EIO, as a bad sector does.
struct FaultPlan {
    std::uint64_t writeBudget = std::numeric_limits<std::uint64_t>::max();
    bool recovers = false;
    std::uint64_t readFailsAt = std::numeric_limits<std::uint64_t>::max();
    // Filled in as the file is used.
    std::uint64_t written = 0;
    int failedWrites = 0;
};

class FaultyFile final : public editor::BufferFileHandle {
  public:
    FaultyFile(std::unique_ptr<editor::BufferFileHandle> file, std::shared_ptr<FaultPlan> plan)
        : file_(std::move(file)), plan_(std::move(plan)) {}
    std::uint64_t Length() const override { return file_->Length(); }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> into) override {
        if (offset + into.size() > plan_->readFailsAt) {
            errno = EIO;
            return false;
        }
        return file_->Read(offset, into);
    }
    bool Write(std::uint64_t offset, std::span<const std::uint8_t> bytes) override {
        FaultPlan& plan = *plan_;
        if (plan.failedWrites == 0) {
            if (plan.written + bytes.size() <= plan.writeBudget) {
                plan.written += bytes.size();
                return file_->Write(offset, bytes);
            }
            // The write that reaches the budget: its bytes up to it land, then it fails.
            const auto room = static_cast<std::size_t>(plan.writeBudget - plan.written);
            if (room > 0)
                file_->Write(offset, bytes.first(room));
            plan.written += room;
        } else if (plan.recovers) {
            plan.written += bytes.size();
            return file_->Write(offset, bytes);
        }
        ++plan.failedWrites;
        errno = ENOSPC;
        return false;
    }
    bool Truncate(std::uint64_t length) override { return file_->Truncate(length); }
    bool Close() override { return file_->Close(); }

  private:
    std::unique_ptr<editor::BufferFileHandle> file_;
    std::shared_ptr<FaultPlan> plan_;
};

inline editor::BufferOpener FaultyOpener(std::shared_ptr<FaultPlan> plan) {
    return [plan](const std::filesystem::path& path) -> std::unique_ptr<editor::BufferFileHandle> {
        auto file = editor::OpenBufferOnDisk(path);
        if (file == nullptr)
            return nullptr;
        return std::make_unique<FaultyFile>(std::move(file), plan);
    };
}

class RecordingHost final : public editor::EditorHost {
  public:
    void ApplyEditedImage(const SocketFields& fields) override { applied.push_back(fields); }
    std::vector<SocketFields> applied;
};

// The log lines that hold `part`.
inline std::vector<std::string> LinesWith(const InformationLog& log, std::string_view part) {
    std::vector<std::string> lines;
    for (const std::string& line : log.Lines()) {
        if (line.find(part) != std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

// An editor session on a buffer file of the given bytes, its messages and log kept.
struct Editor {
    // With a plan, the tools' writes and reads fail as it says.
    explicit Editor(const ByteVector& bytes, std::uint64_t deviceSize,
                    std::shared_ptr<FaultPlan> plan = nullptr)
        : path(WriteBuffer(dir, bytes)),
          session(path, op, &log, plan ? FaultyOpener(plan) : editor::BufferOpener{}) {
        session.Show(deviceSize);
    }
    void Type(std::string_view keys) {
        for (const char c : keys)
            session.TypeHexDigit(c);
    }
    ByteVector Bytes() const { return ReadBytes(path); }

    TempDir dir;
    std::filesystem::path path;
    ScriptedOperator op;
    InformationLog log;
    editor::EditorSession session;
};

}  // namespace torq::test
