// A look-ahead peak limiter: keeps every sample of its output within a ceiling by turning the
// level down shortly before a peak arrives, and back up smoothly after it. It delays its input by
// lookAheadFrames(). Where the signal, over the look-ahead window on either side, stays within
// the ceiling, the output is the input bit for bit.
//
// Threads: one thread at a time. No allocation after construction.
#ifndef TONVERA_AUDIOLIB_DSP_PEAKLIMITER_H
#define TONVERA_AUDIOLIB_DSP_PEAKLIMITER_H

#include <cstddef>
#include <vector>

namespace audiolib {

class PeakLimiter {
  public:
    static constexpr double kLookAheadSeconds = 0.002;
    static constexpr double kReleaseSeconds = 0.080;

    PeakLimiter(int rate, int channels);

    std::size_t lookAheadFrames() const { return lookAhead_; }
    // The largest magnitude let through; may change between calls. Infinity turns limiting off
    // (the delay stays).
    void setCeiling(float ceiling) { ceiling_ = ceiling; }
    // Interleaved frames; in and out may be the same buffer.
    void process(const float* in, float* out, std::size_t frames);
    // Back to the state after construction: silence in the delay line, level 1.
    void reset();

  private:
    float nextGain(float required);
    bool resting() const;
    void delayOnly(const float* in, float* out, std::size_t frames);

    std::size_t channels_;
    std::size_t lookAhead_;
    float ceiling_ = 1.0F;
    float releaseCoefficient_;
    // The delay line, lookAhead_ frames.
    std::vector<float> delay_;
    std::vector<float> spare_;  // the next delay line, filled while the block is moved on
    std::size_t delayPos_ = 0;
    // The gain each of the last lookAhead_ + 1 input frames requires, for the running minimum
    // (a monotonic queue over a ring of indices) ...
    std::vector<float> required_;
    std::vector<std::size_t> minQueue_;
    std::size_t queueHead_ = 0;
    std::size_t queueSize_ = 0;
    std::size_t frameIndex_ = 0;
    // ... and the last lookAhead_ + 1 running minima, averaged into a smooth attack. The sum is
    // exact again whenever no minimum below 1 is left in the window.
    std::vector<float> minima_;
    std::size_t minimaPos_ = 0;
    double minimaSum_ = 0.0;
    std::size_t minimaBelowOne_ = 0;
    float gain_ = 1.0F;
};

}  // namespace audiolib

#endif
