// The low-pass in front of a stretch engine while the pitch goes up: whatever lies above the
// output's Nyquist frequency divided by the pitch factor would otherwise come out folded back
// (or not removed) after the shift. A linear-phase FIR (Kaiser window, about 70 dB stop band)
// with a fixed delay of kDelay frames, which it compensates itself: after a reset it swallows its
// first kDelay output frames, so its output frame n is input frame n, and the caller flushes the
// last kDelay frames out by feeding silence after the end. At a pitch factor up to 1 it only
// delays, sample for sample.
//
// Threads: one thread at a time. No allocation after construction.
#ifndef TONVERA_AUDIOLIB_DSP_ANTIALIASFILTER_H
#define TONVERA_AUDIOLIB_DSP_ANTIALIASFILTER_H

#include <array>
#include <cstddef>
#include <vector>

namespace audiolib {

class AntiAliasFilter {
  public:
    static constexpr std::size_t kTaps = 97;
    static constexpr std::size_t kDelay = (kTaps - 1) / 2;
    static constexpr std::size_t kMaxFrames = 1024;

    explicit AntiAliasFilter(int channels);

    // The pitch factor the filtered signal is going to be shifted by.
    void setPitchFactor(double factor);
    // Filters `frames` (at most kMaxFrames) interleaved frames in place; returns how many frames
    // it wrote (fewer than given only right after a reset).
    std::size_t process(float* frames, std::size_t count);
    void reset();

  private:
    std::size_t channels_;
    bool active_ = false;
    std::array<float, kTaps> taps_{};
    // Per channel: the last kTaps - 1 input samples followed by the block being filtered.
    std::vector<float> history_;
    std::vector<float> result_;
    std::size_t swallow_ = kDelay;
    // Whether the processor runs the eight-lane fused loop; asked once, at construction.
    bool wideFused_ = false;
};

}  // namespace audiolib

#endif
