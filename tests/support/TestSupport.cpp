#include "TestSupport.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <random>
#include <sstream>

#include <sys/wait.h>

namespace torq::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device random;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? std::string(info->name()) : "torq";
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    path_ = fs::temp_directory_path() / ("torq-test-" + name + "-" + std::to_string(random()));
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(path_, error);
}

fs::path TempDir::Write(const std::string& relative, const std::string& contents) const {
    const fs::path path = path_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path SampleLibraryDir() {
    return TORQ_SAMPLE_LIBRARY_DIR;
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
    ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    previousSoft_ = limit.rlim_cur;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = previousSoft_;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

void CopySampleLibrary(const fs::path& to) {
    fs::create_directories(to);
    fs::copy(SampleLibraryDir(), to,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

Answer ScriptedOperator::Respond(const OperatorMessage& message) {
    messages.push_back({message.severity, std::string(message.text), message.buttons,
                        std::string(message.caption)});
    if (answers_.empty())
        return fallback_;
    const Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

std::vector<std::string> ScriptedOperator::Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : messages)
        texts.push_back(m.text);
    return texts;
}

bool ReturnsWithoutBlocking(const fs::path& fifo, const std::function<void()>& call,
                            std::chrono::milliseconds limit) {
    // A writer released below finds no reader: its write fails instead of ending the tests.
    std::signal(SIGPIPE, SIG_IGN);
    auto done = std::async(std::launch::async, call);
    if (done.wait_for(limit) == std::future_status::ready) {
        done.get();
        return true;
    }
    while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
    }
    done.get();
    return false;
}

void MakeFifo(const fs::path& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
}

void WriteSparseFile(const fs::path& path, std::uint64_t length) {
    { std::ofstream create(path, std::ios::binary | std::ios::trunc); }
    fs::resize_file(path, length);
}

CommandResult RunCommand(const std::string& commandLine) {
    const TempDir capture;
    const fs::path out = capture / "out", err = capture / "err";
    const std::string full = commandLine + " >" + out.string() + " 2>" + err.string();
    const int status = std::system(full.c_str());
    CommandResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

std::string CliPath() {
    return TORQ_CLI_PATH;
}

}  // namespace torq::test
