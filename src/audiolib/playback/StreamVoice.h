// The audio callback's side of a playing stream: takes prepared blocks out of the ring, applies
// the level, fades at play, pause, resume and seek so that nothing clicks, and publishes where
// playback stands.
#ifndef TONVERA_AUDIOLIB_PLAYBACK_STREAMVOICE_H
#define TONVERA_AUDIOLIB_PLAYBACK_STREAMVOICE_H

#include "audiolib/dsp/LevelRamp.h"
#include "audiolib/playback/PlaybackShared.h"
#include "audiolib/playback/Voice.h"

namespace audiolib {

class StreamVoice : public Voice {
  public:
    static constexpr double kFadeSeconds = 0.005;

    StreamVoice(PlaybackShared& shared, int deviceRate);

    // Audio callback only.
    bool mixInto(float* stereo, int frames) override;

  private:
    bool mixFrom(float* stereo, int frames);
    // Frames of `generation` the ring holds for the callback, whether the stream's last block is
    // among them, and whether blocks of an older seek are still there.
    int readyFrames(std::uint32_t generation, bool* endInRing, bool* staleInRing) const;
    static PlayPositionValue valueAt(const AudioBlock& block, int offset);
    // What a callback hands over is heard only after the device has played what it already
    // holds (about one callback's worth), so the position of "now" is the one taken at the
    // start of the previous callback.
    void publishStart(const AudioBlock& block, int offset);

    PlaybackShared& shared_;
    float fadeStep_;
    // Callback-owned: the current gain of the fade and the read offset in the front block.
    float fade_ = 0.0F;
    int offset_ = 0;
    bool starvedBefore_ = false;
    bool starvedHold_ = false;  // faded out for want of audio, waiting for the feeder
    PlayPositionValue previous_;
    bool hasPrevious_ = false;
    LevelRamp level_;
};

}  // namespace audiolib

#endif
