// Plays a sample from memory in the audio callback. One play head: starting it again while it
// sounds cuts the previous play off with a very short fade, so two plays never overlap and the
// cut does not click.
//
// Threads: play/pause/stop/setVolume and the queries come from API threads; mixInto() from the
// audio callback. They meet only through atomics.
#ifndef TONVERA_AUDIOLIB_SAMPLE_SAMPLEVOICE_H
#define TONVERA_AUDIOLIB_SAMPLE_SAMPLEVOICE_H

#include <atomic>
#include <cstdint>
#include <memory>

#include "audiolib/dsp/LevelRamp.h"
#include "audiolib/playback/Voice.h"
#include "audiolib/sample/SampleData.h"

namespace audiolib {

class SampleVoice : public Voice {
  public:
    static constexpr double kCutSeconds = 0.0015;
    static constexpr double kPauseFadeSeconds = 0.003;

    explicit SampleVoice(std::shared_ptr<const SampleData> data);

    // ---- API threads ----
    // From the beginning when `restart`, or after a stop or the end; otherwise resumes.
    void play(bool restart);
    void pause();
    void stop();
    bool sounding() const;  // playing and not yet at the end
    bool paused() const { return paused_.load(std::memory_order_acquire); }
    void setVolume(float level) { volume_.store(level, std::memory_order_relaxed); }
    float volume() const { return volume_.load(std::memory_order_relaxed); }
    std::uint64_t position() const { return position_.load(std::memory_order_acquire); }
    const SampleData& data() const { return *data_; }
    // Stops with the short fade and waits (at most `timeoutMs`) until it is silent, so that
    // taking the channel away does not click. False on timeout (the device is not running).
    bool stopAndFade(int timeoutMs);

    // ---- audio callback ----
    bool mixInto(float* stereo, int frames) override;

  private:
    std::shared_ptr<const SampleData> data_;
    std::atomic<float> volume_{1.0F};
    std::atomic<bool> wantPlay_{false};
    std::atomic<bool> paused_{false};
    // API -> callback: each start from the beginning bumps it.
    std::atomic<std::uint32_t> startSerial_{0};
    // Callback -> API: the start that has played to its end.
    std::atomic<std::uint32_t> finishedSerial_{0};
    std::atomic<std::uint64_t> position_{0};
    std::atomic<bool> audible_{false};  // callback -> API: left above zero by the last callback
    // Callback-owned.
    std::uint32_t seenSerial_ = 0;
    std::size_t head_ = 0;
    float fade_ = 0.0F;
    bool running_ = false;
    float cutStep_;
    float pauseStep_;
    LevelRamp level_;
};

}  // namespace audiolib

#endif
