#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "torq/desktop/Tones.h"

namespace torq {
namespace {

// Rising zero crossings of a stretch of samples: its frequency times its length.
int RisingCrossings(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
    int crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0)
            ++crossings;
    }
    return crossings;
}

TEST(Tones, TwoTonesOfTheirFrequencyAndLengthWithoutClicks) {
    constexpr int rate = 48000;
    const std::vector<std::int16_t> samples = SynthesizeTones(kStartTones, rate);
    ASSERT_EQ(samples.size(), 2u * rate * 300 / 1000);
    const std::size_t half = samples.size() / 2;
    EXPECT_NEAR(RisingCrossings(samples, 0, half), 2500 * 0.3, 2);
    EXPECT_NEAR(RisingCrossings(samples, half, samples.size()), 5000 * 0.3, 2);
    // Loud in the middle, silent at the joins.
    int peak = 0;
    for (std::size_t i = half / 4; i < half / 2; ++i)
        peak = std::max(peak, std::abs(int{samples[i]}));
    EXPECT_GT(peak, 10000);
    for (const std::size_t edge : {std::size_t{0}, half - 1, half, samples.size() - 1})
        EXPECT_LT(std::abs(int{samples[edge]}), 200) << edge;
    // What cannot be played is left out rather than aliased.
    const Tone unplayable[] = {{30000, 100}, {1000, 0}, {-5, 100}};
    EXPECT_TRUE(SynthesizeTones(unplayable, rate).empty());
}

TEST(Tones, PlayedOnADeviceAndNeverAnErrorWithoutOne) {
    const Tone shortTone[] = {{2500, 50}};
    // ALSA's own "null" device takes the samples like a sound card would.
    EXPECT_EQ(PlayTones(shortTone, "null"), ToneOutput::Sound);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(PlayTones(kStartTones, "torq_no_such_sound_device"), ToneOutput::Sound);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace torq
