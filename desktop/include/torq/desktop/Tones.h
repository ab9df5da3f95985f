// The start-up tones of "-b": two short beeps through the sound system.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace torq {

struct Tone {
    int frequencyHz = 0;
    int durationMs = 0;
};

inline constexpr Tone kStartTones[] = {{2500, 300}, {5000, 300}};

// Mono signed 16-bit samples of the tones one after the other, each a sine at the tone's
// frequency with a few milliseconds of fade at both ends (so the speaker does not click).
std::vector<std::int16_t> SynthesizeTones(std::span<const Tone> tones, int sampleRate);

enum class ToneOutput { Sound, TerminalBell, Nothing };

// Plays the tones on the ALSA device (the desktop's sound server stands behind "default") and
// returns when they have been heard, about 0.6 s for kStartTones. Without a usable sound device
// it rings the terminal bell when there is a terminal, and otherwise does nothing: never an error.
ToneOutput PlayTones(std::span<const Tone> tones = kStartTones,
                     std::string_view device = "default");

}  // namespace torq
