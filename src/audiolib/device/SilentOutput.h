// The no-sound device's output: a thread that runs the mixer at real-time pace and throws the
// result away, so that playing channels advance exactly as they would on a sound card. It runs
// only while something plays.
#ifndef TONVERA_AUDIOLIB_DEVICE_SILENTOUTPUT_H
#define TONVERA_AUDIOLIB_DEVICE_SILENTOUTPUT_H

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "audiolib/device/AudioOutput.h"

namespace audiolib {

class Mixer;

class SilentOutput : public AudioOutput {
  public:
    static constexpr int kBufferFrames = 441;

    explicit SilentOutput(Mixer& mixer);
    ~SilentOutput() override;

    void ensureRunning() override;
    void suspend() override;
    int bufferFrames() const override { return kBufferFrames; }

  private:
    void run();

    Mixer& mixer_;
    std::vector<float> buffer_;
    std::mutex startMutex_;
    std::condition_variable resumed_;
    bool suspended_ = false;  // under startMutex_
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace audiolib

#endif
