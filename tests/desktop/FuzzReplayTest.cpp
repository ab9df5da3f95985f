// Runs every committed desktop fuzz corpus file through every desktop reader, and a few hostile
// inputs besides, in every build (the libFuzzer targets run the same entry points at length).
#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"
#include "torq/desktop/DesktopFuzz.h"
#include "torq/desktop/FileAssociations.h"

namespace torq {
namespace {

namespace fs = std::filesystem;

void Replay(const std::string& input) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
    FuzzMimeFiles(data, input.size());
    FuzzMimeAppsList(data, input.size());
    FuzzDesktopEntry(data, input.size());
}

TEST(DesktopFuzzReplay, EveryCorpusFileRunsThroughEveryReader) {
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(TORQ_DESKTOP_CORPUS_DIR)) {
        if (!entry.is_regular_file())
            continue;
        SCOPED_TRACE(entry.path().string());
        Replay(test::ReadFile(entry.path()));
        ++files;
    }
    EXPECT_GE(files, 10) << "the corpus is missing";
}

TEST(DesktopFuzzReplay, HostileInputsEndCleanly) {
    std::mt19937 random(17);
    std::string junk(100000, '\0');
    for (auto& c : junk)
        c = static_cast<char>(random());
    Replay(junk);
    Replay(std::string(100000, '\n'));
    Replay(std::string(100000, ':'));
    Replay("[Desktop Entry]\nExec=" + std::string(100000, 'x') + "\n");
    Replay("[Default Applications]\napplication/x-torq-spi-bin=" + std::string(5000, 'a') + "\n");
    Replay(std::string(kDescriptionLimit, 'x'));
    Replay(std::string(kDescriptionLimit + 1, 'x'));
    Replay("--\xEF\xBF\xBE--");
}

}  // namespace
}  // namespace torq
