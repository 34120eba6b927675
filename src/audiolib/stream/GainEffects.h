// The gain effects (BASS_FX_BFX_VOLUME) on one stream. Effects that act on all channels fold
// into one factor that the audio callback reads atomically, so a change is heard at once; effects
// on single channels are applied where the stream's frames are rendered.
#ifndef TONVERA_AUDIOLIB_STREAM_GAINEFFECTS_H
#define TONVERA_AUDIOLIB_STREAM_GAINEFFECTS_H

#include <array>
#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>

namespace audiolib {

class GainEffects {
  public:
    static constexpr int kAllChannels = -1;
    static constexpr int kMaxChannels = 8;

    struct Params {
        int channel = kAllChannels;  // kAllChannels, 0 (none) or 1..channels
        float gain = 1.0F;
    };

    explicit GainEffects(int channels) : channels_(channels) {}

    // API threads.
    int add();
    bool remove(int id);
    // False (and nothing changes) for an unknown id, a channel number the stream does not have,
    // or a gain that is not finite.
    bool set(int id, const Params& params);
    bool get(int id, Params* params) const;

    // Any thread, lock-free.
    float allChannels() const { return all_.load(std::memory_order_relaxed); }
    bool hasPerChannel() const { return perChannel_.load(std::memory_order_acquire); }
    // The largest factor any channel gets (all-channel times single-channel effects).
    float peakFactor() const;
    // Multiplies each channel of interleaved frames by its single-channel factor.
    void applyPerChannel(float* frames, std::size_t count) const;

  private:
    void publish();  // caller holds mutex_

    int channels_;
    mutable std::mutex mutex_;
    std::map<int, Params> effects_;
    int nextId_ = 1;
    std::atomic<float> all_{1.0F};
    std::atomic<bool> perChannel_{false};
    std::array<std::atomic<float>, kMaxChannels> channelGain_{};
};

}  // namespace audiolib

#endif
