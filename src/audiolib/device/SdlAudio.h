// The SDL audio subsystem, started when the first user needs it and stopped when the last one
// lets go, so that a later start picks up a changed environment (SDL_AUDIODRIVER, a new sound
// card). All SDL audio calls outside the callback go through here, under one lock.
#ifndef TONVERA_AUDIOLIB_DEVICE_SDLAUDIO_H
#define TONVERA_AUDIOLIB_DEVICE_SDLAUDIO_H

#include <mutex>
#include <string>
#include <vector>

namespace audiolib {

class SdlAudio {
  public:
    static SdlAudio& instance();

    // Starts the subsystem if needed. False with SDL's reason when there is no usable driver.
    bool acquire(std::string* error);
    void release();

    // With the subsystem acquired by the caller.
    std::vector<std::string> playbackDevices();
    std::string driverName();

    std::mutex& mutex() { return mutex_; }

  private:
    std::mutex mutex_;
    int users_ = 0;
};

// Keeps the subsystem up for a scope.
class SdlAudioUse {
  public:
    SdlAudioUse() : ok_(SdlAudio::instance().acquire(&error_)) {}
    ~SdlAudioUse() {
        if (ok_)
            SdlAudio::instance().release();
    }
    SdlAudioUse(const SdlAudioUse&) = delete;
    SdlAudioUse& operator=(const SdlAudioUse&) = delete;
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }

  private:
    std::string error_;
    bool ok_;
};

}  // namespace audiolib

#endif
