// Where a device's mixed audio goes: an SDL playback device, or nowhere at real-time pace.
#ifndef TONVERA_AUDIOLIB_DEVICE_AUDIOOUTPUT_H
#define TONVERA_AUDIOLIB_DEVICE_AUDIOOUTPUT_H

namespace audiolib {

class AudioOutput {
  public:
    virtual ~AudioOutput() = default;
    // Called before something is played; an output may start its clock lazily.
    virtual void ensureRunning() {}
    // Frames the output asks for per callback (its buffer).
    virtual int bufferFrames() const = 0;
};

}  // namespace audiolib

#endif
