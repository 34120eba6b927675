// Something the mixer plays: a stream's playback or a sample channel.
#ifndef TONVERA_AUDIOLIB_PLAYBACK_VOICE_H
#define TONVERA_AUDIOLIB_PLAYBACK_VOICE_H

namespace audiolib {

class Voice {
  public:
    virtual ~Voice() = default;
    // Audio callback only: adds `frames` stereo frames at the device rate to `stereo`. Must not
    // block, allocate, log or touch files. True while the voice plays or fades (the device must
    // keep running for it); false once it is silent and holds.
    virtual bool mixInto(float* stereo, int frames) = 0;
};

}  // namespace audiolib

#endif
