#include "torq/desktop/Tones.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <thread>

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <unistd.h>

namespace torq {

namespace {

constexpr int kSampleRate = 48000;
constexpr int kFadeMs = 5;
constexpr double kAmplitude = 0.5 * 32767;
// However the device behaves, the tones give up this long after their own length.
constexpr auto kGraceTime = std::chrono::milliseconds(1500);

// ALSA reports a missing device on stderr by itself; here that is an expected case.
void QuietAlsaError(const char*, int, const char*, int, const char*, ...) {}

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};

bool PlayOnAlsa(const std::vector<std::int16_t>& samples, std::string_view device,
                std::chrono::milliseconds length) {
    snd_lib_error_set_handler(QuietAlsaError);
    snd_pcm_t* opened = nullptr;
    // Non-blocking throughout, so a device held by another program or a stalled sound server
    // cannot hang the caller.
    if (snd_pcm_open(&opened, std::string(device).c_str(), SND_PCM_STREAM_PLAYBACK,
                     SND_PCM_NONBLOCK) < 0) {
        return false;
    }
    std::unique_ptr<snd_pcm_t, PcmCloser> pcm(opened);
    if (snd_pcm_set_params(pcm.get(), SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                           kSampleRate, 1, 100000) < 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + length + kGraceTime;
    std::size_t done = 0;
    while (done < samples.size()) {
        if (std::chrono::steady_clock::now() > deadline) {
            snd_pcm_drop(pcm.get());
            return done > 0;
        }
        const snd_pcm_sframes_t written =
            snd_pcm_writei(pcm.get(), samples.data() + done, samples.size() - done);
        if (written == -EAGAIN) {
            snd_pcm_wait(pcm.get(), 50);
        } else if (written < 0) {
            if (snd_pcm_recover(pcm.get(), static_cast<int>(written), 1) < 0)
                return done > 0;
        } else {
            done += static_cast<std::size_t>(written);
        }
    }
    // Let the last samples be heard before the device is closed.
    for (;;) {
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm.get(), &delay) < 0 || delay <= 0 ||
            snd_pcm_state(pcm.get()) != SND_PCM_STATE_RUNNING ||
            std::chrono::steady_clock::now() > deadline) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(
            std::clamp<long>(static_cast<long>(delay) * 1000 / kSampleRate, 1, 50)));
    }
    snd_pcm_drop(pcm.get());
    return true;
}

bool RingTerminalBell() {
    if (::isatty(STDERR_FILENO))
        return ::write(STDERR_FILENO, "\a", 1) == 1;
    const int tty = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (tty < 0)
        return false;
    const bool rung = ::write(tty, "\a", 1) == 1;
    ::close(tty);
    return rung;
}

}  // namespace

std::vector<std::int16_t> SynthesizeTones(std::span<const Tone> tones, int sampleRate) {
    std::vector<std::int16_t> samples;
    if (sampleRate <= 0)
        return samples;
    for (const Tone& tone : tones) {
        if (tone.durationMs <= 0 || tone.frequencyHz <= 0 || tone.frequencyHz * 2 >= sampleRate)
            continue;
        const long count = static_cast<long>(sampleRate) * tone.durationMs / 1000;
        const long fade = std::min<long>(static_cast<long>(sampleRate) * kFadeMs / 1000, count / 2);
        const double step = 2 * std::numbers::pi * tone.frequencyHz / sampleRate;
        for (long i = 0; i < count; ++i) {
            double gain = 1.0;
            if (fade > 0)
                gain = std::min({1.0, static_cast<double>(i) / fade,
                                 static_cast<double>(count - 1 - i) / fade});
            samples.push_back(
                static_cast<std::int16_t>(std::lround(kAmplitude * gain * std::sin(step * i))));
        }
    }
    return samples;
}

ToneOutput PlayTones(std::span<const Tone> tones, std::string_view device) {
    const std::vector<std::int16_t> samples = SynthesizeTones(tones, kSampleRate);
    const auto length = std::chrono::milliseconds(samples.size() * 1000 / kSampleRate);
    if (!samples.empty() && PlayOnAlsa(samples, device, length))
        return ToneOutput::Sound;
    return RingTerminalBell() ? ToneOutput::TerminalBell : ToneOutput::Nothing;
}

}  // namespace torq
