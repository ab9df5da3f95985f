// torq-buffer-bench: runs one buffer operation on given files and prints its wall time, for
// bench/run-buffer.sh to compare with other tools (and to measure peak memory from outside).
//
//   torq-buffer-bench decode intel|motorola|tektronix SOURCE SCRATCH
//   torq-buffer-bench save bin|intel|s1|s2|s3|tektronix BUFFER START END OUTPUT
//   torq-buffer-bench checksum FILE
//   torq-buffer-bench load SOURCE BUFFER DEVICE_SIZE     (creates the erased buffer first)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "torq/buffer/BufferFile.h"
#include "torq/buffer/HexFormats.h"
#include "torq/buffer/Load.h"
#include "torq/buffer/Save.h"
#include "torq/devlib/InformationLog.h"
#include "torq/devlib/Text.h"

namespace {

using Clock = std::chrono::steady_clock;

int Usage() {
    std::fprintf(stderr,
                 "usage: torq-buffer-bench decode FORMAT SOURCE SCRATCH\n"
                 "       torq-buffer-bench save FORMAT BUFFER START END OUTPUT\n"
                 "       torq-buffer-bench checksum FILE\n"
                 "       torq-buffer-bench load SOURCE BUFFER DEVICE_SIZE\n");
    return 2;
}

void Report(const char* what, Clock::time_point start) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%s %.4f s\n", what, seconds);
}

std::uint64_t Number(const char* text) {
    return torq::ParseUnsigned64(text).value_or(0);
}

int Decode(const std::string& format, const char* source, const char* scratch) {
    const std::map<std::string, torq::HexFormat> formats = {
        {"intel", torq::HexFormat::Intel},
        {"motorola", torq::HexFormat::Motorola},
        {"tektronix", torq::HexFormat::Tektronix}};
    if (!formats.count(format))
        return Usage();
    torq::InformationLog log;
    torq::DecodeRequest request;
    request.source = source;
    request.scratch = scratch;
    request.log = &log;
    const auto start = Clock::now();
    const auto result = torq::DecodeHex(formats.at(format), request);
    Report("decode", start);
    for (const auto& line : log.Lines())
        std::fprintf(stderr, "%s\n", line.c_str());
    return result.ok ? 0 : 1;
}

int Save(const std::string& format, const char* buffer, const char* first, const char* last,
         const char* output) {
    const std::map<std::string, torq::SaveFormat> formats = {
        {"bin", torq::SaveFormat::Binary},    {"intel", torq::SaveFormat::IntelHex},
        {"s1", torq::SaveFormat::MotorolaS1}, {"s2", torq::SaveFormat::MotorolaS2},
        {"s3", torq::SaveFormat::MotorolaS3}, {"tektronix", torq::SaveFormat::TektronixHex}};
    if (!formats.count(format))
        return Usage();
    std::string error;
    const auto start = Clock::now();
    const bool ok = torq::WriteBufferRange(buffer, Number(first), Number(last), formats.at(format),
                                           output, &error);
    Report("save", start);
    if (!ok)
        std::fprintf(stderr, "%s\n", error.c_str());
    return ok ? 0 : 1;
}

int Sum(const char* file) {
    std::error_code error;
    const auto length = std::filesystem::file_size(file, error);
    if (error || length == 0)
        return Usage();
    const auto start = Clock::now();
    const auto sum = torq::Checksum(file, length - 1, 0xFF);
    Report("checksum", start);
    if (!sum)
        return 1;
    std::printf("%s\n", torq::ChecksumText(*sum).c_str());
    return 0;
}

// The progress window of a load: the window processes its messages at each report, so the
// longest time between two reports is the longest time the window does not answer.
class PauseMeter final : public torq::ProgressSink {
  public:
    void Begin(std::uint64_t) override { Mark(); }
    void Progress(std::uint64_t, std::uint64_t) override {
        ++reports;
        Mark();
    }
    void End() override { Mark(); }
    int reports = 0;
    double longestPause = 0;

  private:
    void Mark() {
        const auto now = Clock::now();
        if (last_)
            longestPause =
                std::max(longestPause, std::chrono::duration<double>(now - *last_).count());
        last_ = now;
    }
    std::optional<Clock::time_point> last_;
};

int Load(const char* source, const char* bufferPath, const char* size) {
    const torq::BufferFile buffer(bufferPath);
    const std::uint64_t deviceSize = Number(size);
    if (deviceSize == 0 || !buffer.Initialise(deviceSize))
        return Usage();
    torq::InformationLog log;
    torq::FixedOperator yes(torq::Answer::Yes);
    torq::LoadDialogState state;
    torq::PrepareLoadDialog(state, source);
    PauseMeter window;
    const auto start = Clock::now();
    const auto outcome = torq::LoadIntoBuffer(
        state, torq::LoadEnvironment{buffer.Path(), deviceSize, log, yes, &window});
    Report("load", start);
    if (window.reports > 0) {
        std::printf("progress reports %d, longest pause between them %.1f ms\n", window.reports,
                    window.longestPause * 1000);
    }
    for (const auto& line : log.Lines())
        std::fprintf(stderr, "%s\n", line.c_str());
    return outcome.end == torq::LoadEnd::Loaded ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "decode" && argc == 5)
        return Decode(argv[2], argv[3], argv[4]);
    if (command == "save" && argc == 7)
        return Save(argv[2], argv[3], argv[4], argv[5], argv[6]);
    if (command == "checksum" && argc == 3)
        return Sum(argv[2]);
    if (command == "load" && argc == 5)
        return Load(argv[2], argv[3], argv[4]);
    return Usage();
}
