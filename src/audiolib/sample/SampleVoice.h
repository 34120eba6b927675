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
#include <mutex>

#include "audiolib/dsp/LevelRamp.h"
#include "audiolib/playback/BeatSchedule.h"
#include "audiolib/playback/Voice.h"
#include "audiolib/sample/SampleData.h"

namespace audiolib {

class SampleVoice : public Voice {
  public:
    static constexpr double kCutSeconds = 0.0015;
    static constexpr double kPauseFadeSeconds = 0.003;
    // An accented beat plays the sound a fifth higher, so the bar's first beat stands out
    // without being louder than the others.
    static constexpr double kAccentStep = 1.5;

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

    // Beats at exact device frames (see BeatSchedule), replacing any beats asked for before;
    // the sample sounds at each of them as if played again there. Needs the device clock.
    void scheduleBeats(BeatSchedule schedule);
    // No more beats; a click already sounding plays out.
    void cancelBeats();
    bool beatsScheduled() const { return beatsWanted_.load(std::memory_order_acquire); }
    // Set once, when the channel joins a device's mixer: the frames that mixer has delivered.
    void attachClock(const std::atomic<std::uint64_t>* clock) { clock_ = clock; }

    // ---- audio callback ----
    bool mixInto(float* stereo, int frames) override;

  private:
    // Audio callback.
    void takeSchedule(std::uint64_t now);
    bool beatDue(std::uint64_t frame) const;
    float readAt(const float* samples, bool mono, int channel) const;

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
    BeatScheduleSlot beatSlot_;
    std::mutex beatWriters_;
    std::uint32_t beatSerial_ = 0;  // under beatWriters_, bumped by every schedule
    std::atomic<bool> beatsWanted_{false};
    const std::atomic<std::uint64_t>* clock_ = nullptr;
    // Callback-owned.
    BeatSchedule beats_;
    std::uint32_t seenBeatSerial_ = 0;
    std::uint64_t nextBeat_ = 0;
    double step_ = 1.0;  // read-head speed: 1, or higher for an accented beat
    double phase_ = 0.0;
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
