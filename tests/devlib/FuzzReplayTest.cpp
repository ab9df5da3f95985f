// Runs every committed fuzz corpus file through every reader of outside files, and a few hostile
// inputs besides, in every build (the libFuzzer targets run the same entry points at length).
#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"
#include "torq/devlib/Ini.h"
#include "torq/devlib/LibraryFuzz.h"

namespace torq {
namespace {

namespace fs = std::filesystem;

void Replay(const std::string& input) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
    FuzzDeviceLibraryFiles(data, input.size());
    FuzzPageFile(data, input.size());
    FuzzSectorTable(data, input.size());
    FuzzHistoryIni(data, input.size());
}

TEST(LibraryFuzzReplay, EveryCorpusFileRunsThroughEveryReader) {
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(TORQ_DEVLIB_CORPUS_DIR)) {
        if (!entry.is_regular_file())
            continue;
        SCOPED_TRACE(entry.path().string());
        Replay(test::ReadFile(entry.path()));
        ++files;
    }
    EXPECT_GE(files, 20) << "the corpus is missing";
}

TEST(LibraryFuzzReplay, HostileInputsEndCleanly) {
    std::mt19937 random(5);
    std::string junk(300000, '\0');
    for (auto& c : junk)
        c = static_cast<char>(random());
    Replay(junk);
    Replay(std::string(300000, '\n'));
    Replay(std::string(300000, '['));
    Replay(std::string(300000, '='));
    Replay("[CurrentUserPage]\nTotal=1\n[S]\nK=" + std::string(200000, 'x') + "\n");
    // Larger than any library or settings file may be: read as empty, never rewritten.
    Replay("[Option]\nResetTime_Text=700\n" + std::string(kSmallFileLimit, ';'));
}

}  // namespace
}  // namespace torq
