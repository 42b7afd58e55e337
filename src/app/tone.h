#pragma once
// The outcome tone: a beep of a given frequency and length that returns when it has ended.

class TonePlayer {
  public:
    virtual ~TonePlayer() = default;
    virtual void play(int frequencyHz, int durationMs) = 0;
};

// Plays a sine through ALSA; on a machine without sound it waits the tone's length instead,
// because the tone paces the user interface.
class Tone : public TonePlayer {
  public:
    void play(int frequencyHz, int durationMs) override;
};

namespace Tones {
constexpr int kSuccessHz = 1000;
constexpr int kFailureHz = 300;
constexpr int kDurationMs = 300;
}  // namespace Tones
