// An SDL playback device whose callback runs the device's mixer.
#ifndef TONVERA_AUDIOLIB_DEVICE_SDLOUTPUT_H
#define TONVERA_AUDIOLIB_DEVICE_SDLOUTPUT_H

#include <cstdint>
#include <memory>
#include <string>

#include "audiolib/device/AudioOutput.h"
#include "audiolib/device/SdlAudio.h"

namespace audiolib {

class Mixer;

class SdlOutput : public AudioOutput {
  public:
    // Frames per callback we ask SDL for: small, so what the mixer hands over is heard soon.
    static constexpr int kRequestedBufferFrames = 512;

    // sdlName nullptr = the system default. nullptr with SDL's reason when it cannot be opened.
    // The mixer must outlive the output.
    static std::unique_ptr<SdlOutput> open(const char* sdlName, int rate, Mixer& mixer,
                                           std::string* error);
    ~SdlOutput() override;

    void ensureRunning() override;
    void suspend() override;
    int bufferFrames() const override { return bufferFrames_; }

  private:
    SdlOutput(std::unique_ptr<SdlAudioUse> use, std::uint32_t id, int bufferFrames);

    std::unique_ptr<SdlAudioUse> use_;
    std::uint32_t id_;
    int bufferFrames_;
};

}  // namespace audiolib

#endif
