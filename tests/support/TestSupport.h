// Shared test fixtures: temporary folders, scripted operators, captured logs, a fixed clock.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Seams.h"

namespace torq::test {

// A fresh folder removed at the end of the test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Writes a file below the folder (creating sub-folders) and returns its path.
    std::filesystem::path Write(const std::string& relative, const std::string& contents) const;

  private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);

// While it lives, no file of this process may grow beyond `bytes`: a write past it fails as on a
// full disk (EFBIG), so tests can see what a failed write leaves behind.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    std::uint64_t previousSoft_ = 0;
};

// Runs `call` on its own thread and says whether it returned within `limit`. When it has not (an
// open or a read blocked on the FIFO), the FIFO is opened from the other side until the call
// ends, so a regression fails the test instead of hanging it.
bool ReturnsWithoutBlocking(const std::filesystem::path& fifo, const std::function<void()>& call,
                            std::chrono::milliseconds limit = std::chrono::seconds(5));
// A FIFO at the path (whatever was there is removed first).
void MakeFifo(const std::filesystem::path& path);

// A file of `length` bytes that reads as zeros and takes no room on the disk.
void WriteSparseFile(const std::filesystem::path& path, std::uint64_t length);

// Counts the jobs a progress sink is given and keeps every report; `during` runs at each report
// (the window processing its messages).
struct RecordingProgress final : ProgressSink {
    void Begin(std::uint64_t /*total*/) override { ++begins; }
    void Progress(std::uint64_t done, std::uint64_t total) override {
        reports.emplace_back(done, total);
        if (during)
            during();
    }
    void End() override { ++ends; }
    int begins = 0;
    int ends = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
    std::function<void()> during;
};

// Copies the shipped sample library into a folder (a portable program folder for tests).
void CopySampleLibrary(const std::filesystem::path& to);
std::filesystem::path SampleLibraryDir();

// Records every message and answers questions from a script (then the default).
class ScriptedOperator final : public Operator {
  public:
    struct Message {
        Severity severity;
        std::string text;
        Buttons buttons;
        std::string caption;
    };
    explicit ScriptedOperator(std::deque<Answer> answers = {}, Answer fallback = Answer::Ok)
        : answers_(std::move(answers)), fallback_(fallback) {}
    Answer Respond(const OperatorMessage& message) override;
    std::vector<Message> messages;
    std::vector<std::string> Texts() const;

  private:
    std::deque<Answer> answers_;
    Answer fallback_;
};

class FixedClock final : public Clock {
  public:
    std::uint32_t TickMs() const override { return tick; }
    LocalDateTime Now() const override { return now; }
    std::uint32_t tick = 0;
    LocalDateTime now{2011, 5, 4, 13, 7, 9};
};

// Runs a command line, capturing stdout and stderr and the exit code.
struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
CommandResult RunCommand(const std::string& commandLine);
std::string CliPath();

}  // namespace torq::test
