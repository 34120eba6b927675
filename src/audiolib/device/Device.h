// One opened output device: its mixer, its feeder thread and its output. Device 0 is the
// no-sound device (a silent output); the others are SDL playback devices.
#ifndef TONVERA_AUDIOLIB_DEVICE_DEVICE_H
#define TONVERA_AUDIOLIB_DEVICE_DEVICE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "audiolib/device/AudioOutput.h"
#include "audiolib/playback/Feeder.h"
#include "audiolib/playback/Mixer.h"
#include "audiolib/playback/StreamPlayback.h"

namespace audiolib {

class Device {
  public:
    // The device number is the one the caller uses; the serial tells apart two openings of the
    // same number, so objects of a freed device never attach to its successor.
    Device(int number, std::uint64_t serial, int rate, std::uint32_t initFlags);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // sdlName nullptr = the system default. False with SDL's reason.
    bool openSdl(const char* sdlName, std::string* error);
    void openSilent();

    int number() const { return number_; }
    std::uint64_t serial() const { return serial_; }
    int rate() const { return mixer_.rate(); }
    std::uint32_t initFlags() const { return initFlags_; }
    bool silent() const { return silent_; }
    int bufferFrames() const { return output_ ? output_->bufferFrames() : 0; }

    Mixer& mixer() { return mixer_; }
    Feeder& feeder() { return feeder_; }
    PlaybackTarget playbackTarget();
    // API threads, before something is heard: starts or resumes the output's clock.
    void startOutput();
    // Feeder thread: starts the output if it rests (streams are started this way, once their
    // rings hold audio); rests it when nothing has played since the last start, true then.
    void resumeIfResting();
    bool suspendIfIdle();

  private:
    int number_;
    std::uint64_t serial_;
    std::uint32_t initFlags_;
    bool silent_ = true;
    std::mutex outputMutex_;  // orders startOutput() against suspendIfIdle()
    bool outputRunning_ = false;
    std::uint64_t startedAtFrame_ = 0;
    // Taken apart in the destructor: the feeder stops first (it starts and rests the output),
    // then the output stops calling the mixer, and the mixer goes last.
    Mixer mixer_;
    Feeder feeder_;
    std::unique_ptr<AudioOutput> output_;
};

}  // namespace audiolib

#endif
