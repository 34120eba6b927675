// Sums the playing voices of one device into its output. process() is the one entry point of
// the audio callback (and of tests, which drive it without a device).
//
// Threads: add/remove/setMasterVolume come from API threads; process() from the audio callback.
// Voices reach the callback through a fixed array of atomic pointers, so the callback never
// waits for anybody. add() and remove() serialise among themselves on a mutex the callback never
// takes, so a voice played from two threads at once still lands in one slot. remove() makes sure
// the callback has let go of a voice before it returns, which is what lets another thread free
// it afterwards.
#ifndef TONVERA_AUDIOLIB_PLAYBACK_MIXER_H
#define TONVERA_AUDIOLIB_PLAYBACK_MIXER_H

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "audiolib/playback/Voice.h"

namespace audiolib {

class Mixer {
  public:
    static constexpr int kMaxVoices = 64;

    explicit Mixer(int rate) : rate_(rate) {}

    int rate() const { return rate_; }

    // False when every slot is taken. Adding a voice that is already there changes nothing.
    bool add(Voice* voice);
    // After it returns, process() no longer touches the voice. False when the callback seemed
    // stuck inside process() for a second; the caller must then keep the voice alive.
    bool remove(Voice* voice);
    bool contains(const Voice* voice) const;
    // Voices in the slots now.
    int voiceCount() const;

    void setMasterVolume(float level) { masterVolume_.store(level, std::memory_order_relaxed); }
    float masterVolume() const { return masterVolume_.load(std::memory_order_relaxed); }

    // Audio callback: writes `frames` interleaved stereo frames, clipped to [-1, 1].
    void process(float* out, int frames);
    // Frames process() has delivered so far: the device's own clock.
    std::uint64_t framesProcessed() const { return frames_.load(std::memory_order_acquire); }
    // The same clock for voices to read inside process(): there it is the device frame of the
    // first frame of the buffer being mixed.
    const std::atomic<std::uint64_t>& clock() const { return frames_; }
    // Any thread: true when a callback has run since the device clock read `sinceFrame` and the
    // latest callback found every voice silent and holding, so the device may rest.
    bool idleSince(std::uint64_t sinceFrame) const;

  private:
    int rate_;
    std::array<std::atomic<Voice*>, kMaxVoices> slots_{};
    std::atomic<float> masterVolume_{1.0F};
    // Odd while process() runs. Paired with the slot stores in remove() (both sequentially
    // consistent) so that a remover either sees the callback inside or the callback sees the
    // emptied slot.
    std::atomic<std::uint64_t> epoch_{0};
    std::atomic<std::uint64_t> frames_{0};
    // The device clock at the end of the latest callback in which some voice was active.
    std::atomic<std::uint64_t> activeUntil_{0};
    std::mutex writers_;
};

}  // namespace audiolib

#endif
