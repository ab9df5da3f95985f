// Runs the fuzzing entry points over the stored corpus and a few hostile inputs in every build,
// so the normal test run exercises them (the libFuzzer targets run them at length).
#include <gtest/gtest.h>

#include <random>

#include "HexFixtures.h"
#include "torq/buffer/HexFuzz.h"

namespace torq {
namespace {

namespace fs = std::filesystem;

void Replay(const std::string& input) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(input.data());
    for (auto format : {HexFormat::Intel, HexFormat::Motorola, HexFormat::Tektronix}) {
        FuzzDetectAndDecode(format, data, input.size());
    }
}

TEST(FuzzReplay, CorpusFilesRunThroughEveryDetectorAndDecoder) {
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(TORQ_FUZZ_CORPUS_DIR)) {
        if (!entry.is_regular_file())
            continue;
        SCOPED_TRACE(entry.path().string());
        Replay(test::ReadFile(entry.path()));
        ++files;
    }
    EXPECT_GE(files, 3) << "the corpus is missing";
}

TEST(FuzzReplay, HostileInputsEndCleanly) {
    std::mt19937 random(11);
    std::string junk(200000, '\0');
    for (auto& c : junk)
        c = static_cast<char>(random());
    Replay(junk);
    Replay(std::string(300000, ':'));
    Replay(std::string(300000, 'S'));
    Replay(std::string(300000, '/'));
    Replay(":" + std::string(100000, 'F'));  // one long line of digits
    // Cut at every length: no read past the data, however the record ends.
    const std::string record = test::IntelRecord(0, 0x10, {1, 2, 3, 4, 5, 6, 7, 8}) + "\r\n";
    for (std::size_t n = 0; n <= record.size(); ++n)
        Replay(record.substr(0, n));
    const std::string srecord = test::SRecord('3', {0, 0, 0, 1}, {1, 2, 3}) + "\r\n";
    for (std::size_t n = 0; n <= srecord.size(); ++n)
        Replay(srecord.substr(0, n));
    const std::string tek =
        test::TekExtendedRecord('6', 9, {1, 2}) + "\r\n" + test::TekRecord(0, {3});
    for (std::size_t n = 0; n <= tek.size(); ++n)
        Replay(tek.substr(0, n));
}

}  // namespace
}  // namespace torq
