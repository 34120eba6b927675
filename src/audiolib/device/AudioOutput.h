// Where a device's mixed audio goes: an SDL playback device, or nowhere at real-time pace.
#ifndef TONVERA_AUDIOLIB_DEVICE_AUDIOOUTPUT_H
#define TONVERA_AUDIOLIB_DEVICE_AUDIOOUTPUT_H

namespace audiolib {

class AudioOutput {
  public:
    virtual ~AudioOutput() = default;
    // Called before something is played; an output starts (or resumes) its clock here.
    virtual void ensureRunning() {}
    // Nothing plays: the output stops calling the mixer until ensureRunning(), so an idle
    // player costs no CPU. Called by the device, which serialises it with ensureRunning().
    virtual void suspend() {}
    // Frames the output asks for per callback (its buffer).
    virtual int bufferFrames() const = 0;
};

}  // namespace audiolib

#endif
