// The light engine: SoundTouch's WSOLA, with settings chosen for music by measurement (see
// bench/stretch_quality) rather than its speech-oriented defaults.
#ifndef TONVERA_AUDIOLIB_STRETCH_SOUNDTOUCHENGINE_H
#define TONVERA_AUDIOLIB_STRETCH_SOUNDTOUCHENGINE_H

#include <SoundTouch.h>

#include "audiolib/stretch/StretchEngine.h"

namespace audiolib {

class SoundTouchEngine : public StretchEngine {
  public:
    struct Tuning {
        int sequenceMs;
        int seekWindowMs;
        int overlapMs;
        // Taps of the rate transposer's low-pass (a multiple of 4; 0: none), used only while it
        // transposes down: pitching up, the tempo stream's own low-pass has done that work.
        int antiAliasLength;
        bool quickSeek;
        bool operator==(const Tuning&) const = default;
    };
    // For tempo alone, and for whenever the rate transposer works (pitch or rate changed).
    static const Tuning kTempoOnly;
    static const Tuning kTransposing;

    SoundTouchEngine(int rate, int channels, const Tuning& tempoOnly = kTempoOnly,
                     const Tuning& transposing = kTransposing);

    const char* name() const override { return "SoundTouch"; }
    void setSettings(const StretchSettings& settings) override;
    void reset() override;
    std::size_t startPad() const override;
    std::size_t startDelay() const override;
    bool padHeard() const override { return true; }
    double heardLead() const override;
    void put(const float* frames, std::size_t count) override;
    std::size_t available() const override;
    std::size_t take(float* out, std::size_t frames) override;
    std::size_t committedFrames() const override { return 0; }

  private:
    void apply(const Tuning& tuning);

    soundtouch::SoundTouch processor_;
    int rate_;
    Tuning tempoOnly_;
    Tuning transposing_;
    Tuning applied_{};
    StretchSettings settings_;
};

}  // namespace audiolib

#endif
