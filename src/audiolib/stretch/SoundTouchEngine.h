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
        int antiAliasLength;  // taps of the rate transposer's low-pass filter (multiple of 4)
        bool quickSeek;
    };
    static const Tuning kMusic;

    SoundTouchEngine(int rate, int channels, const Tuning& tuning = kMusic);

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
    soundtouch::SoundTouch processor_;
    int rate_;
    StretchSettings settings_;
};

}  // namespace audiolib

#endif
