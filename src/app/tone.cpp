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
#include <dlfcn.h>
#endif

namespace {

#ifdef QUILLON_HAVE_ALSA
// A machine without a sound card should stay quiet on the terminal too.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

// The sound library, loaded on the first tone rather than at start: most runs play none
// before the window is up, and a machine without it still gets the tone's wait.
struct Alsa {
    decltype(&snd_pcm_open) open = nullptr;
    decltype(&snd_pcm_set_params) setParams = nullptr;
    decltype(&snd_pcm_writei) writei = nullptr;
    decltype(&snd_pcm_recover) recover = nullptr;
    decltype(&snd_pcm_drain) drain = nullptr;
    decltype(&snd_pcm_close) close = nullptr;
    bool usable = false;
};

template <typename F>
bool Resolve(void* lib, const char* name, F& into) {
    into = reinterpret_cast<F>(dlsym(lib, name));
    return into != nullptr;
}

const Alsa& LoadAlsa() {
    static const Alsa alsa = [] {
        Alsa a;
        void* lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return a;
        decltype(&snd_lib_error_set_handler) setHandler = nullptr;
        a.usable = Resolve(lib, "snd_lib_error_set_handler", setHandler) &&
                   Resolve(lib, "snd_pcm_open", a.open) &&
                   Resolve(lib, "snd_pcm_set_params", a.setParams) &&
                   Resolve(lib, "snd_pcm_writei", a.writei) &&
                   Resolve(lib, "snd_pcm_recover", a.recover) &&
                   Resolve(lib, "snd_pcm_drain", a.drain) && Resolve(lib, "snd_pcm_close", a.close);
        if (a.usable) setHandler(&SilentAlsaErrors);
        // Stays loaded: the library is used again for every tone.
        return a;
    }();
    return alsa;
}

// Plays a sine tone to its end; false when no audio device could be used.
bool PlayAlsa(int frequencyHz, int durationMs) {
    const Alsa& alsa = LoadAlsa();
    if (!alsa.usable) return false;

    constexpr unsigned kRate = 44100;
    snd_pcm_t* pcm = nullptr;
    if (alsa.open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return false;
    if (alsa.setParams(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                       50000) < 0) {
        alsa.close(pcm);
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
        snd_pcm_sframes_t n = alsa.writei(pcm, samples.data() + done, frames - done);
        if (n < 0) n = alsa.recover(pcm, static_cast<int>(n), 1);
        if (n < 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (ok) alsa.drain(pcm);
    alsa.close(pcm);
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
