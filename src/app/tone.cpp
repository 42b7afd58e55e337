#include "app/tone.h"

#include <QThread>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#ifdef QUILLON_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace {

#ifdef QUILLON_HAVE_ALSA
// A machine without a sound card should stay quiet on the terminal too.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

// Plays a sine tone to its end; false when no audio device could be used.
bool PlayAlsa(int frequencyHz, int durationMs) {
    static const bool handlerSet = [] {
        snd_lib_error_set_handler(&SilentAlsaErrors);
        return true;
    }();
    (void)handlerSet;

    constexpr unsigned kRate = 44100;
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return false;
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                           50000) < 0) {
        snd_pcm_close(pcm);
        return false;
    }
    const size_t frames = static_cast<size_t>(kRate) * static_cast<size_t>(durationMs) / 1000;
    const size_t fade = std::min<size_t>(frames / 4, kRate / 200);  // 5 ms against clicks
    std::vector<int16_t> samples(frames);
    constexpr double kPi = 3.14159265358979323846;
    const double step = 2.0 * kPi * frequencyHz / kRate;
    for (size_t i = 0; i < frames; ++i) {
        double gain = 0.4;
        if (fade > 0 && i < fade) gain *= static_cast<double>(i) / fade;
        if (fade > 0 && frames - i <= fade) gain *= static_cast<double>(frames - i) / fade;
        samples[i] = static_cast<int16_t>(gain * 32767.0 * std::sin(step * static_cast<double>(i)));
    }
    const auto start = std::chrono::steady_clock::now();
    size_t done = 0;
    bool ok = true;
    while (done < frames) {
        snd_pcm_sframes_t n = snd_pcm_writei(pcm, samples.data() + done, frames - done);
        if (n < 0) n = snd_pcm_recover(pcm, static_cast<int>(n), 1);
        if (n < 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (ok) snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
    if (!ok) {
        // Whatever part of the tone did not play is waited for below.
        const auto spent = std::chrono::steady_clock::now() - start;
        const auto rest = std::chrono::milliseconds(durationMs) - spent;
        if (rest > std::chrono::milliseconds(0)) std::this_thread::sleep_for(rest);
    }
    return true;
}
#endif

}  // namespace

void Tone::play(int frequencyHz, int durationMs) {
    if (durationMs <= 0) return;
#ifdef Q_OS_WIN
    if (Beep(static_cast<DWORD>(frequencyHz), static_cast<DWORD>(durationMs))) return;
#elif defined(QUILLON_HAVE_ALSA)
    if (frequencyHz > 0 && PlayAlsa(frequencyHz, durationMs)) return;
#endif
    QThread::msleep(static_cast<unsigned long>(durationMs));
}
