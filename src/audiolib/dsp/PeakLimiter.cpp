#include "audiolib/dsp/PeakLimiter.h"

#include <algorithm>
#include <cmath>

namespace audiolib {

PeakLimiter::PeakLimiter(int rate, int channels)
    : channels_(static_cast<std::size_t>(channels)),
      lookAhead_(std::max<std::size_t>(1, static_cast<std::size_t>(kLookAheadSeconds * rate))),
      releaseCoefficient_(static_cast<float>(1.0 - std::exp(-1.0 / (kReleaseSeconds * rate)))),
      delay_(lookAhead_ * channels_),
      spare_(lookAhead_ * channels_),
      required_(lookAhead_ + 1),
      minQueue_(lookAhead_ + 1),
      minima_(lookAhead_ + 1) {
    reset();
}

void PeakLimiter::reset() {
    std::fill(delay_.begin(), delay_.end(), 0.0F);
    std::fill(required_.begin(), required_.end(), 1.0F);
    std::fill(minima_.begin(), minima_.end(), 1.0F);
    delayPos_ = 0;
    queueHead_ = 0;
    queueSize_ = 0;
    frameIndex_ = 0;
    minimaPos_ = 0;
    minimaSum_ = static_cast<double>(minima_.size());
    minimaBelowOne_ = 0;
    gain_ = 1.0F;
}

float PeakLimiter::nextGain(float required) {
    // Running minimum of the required gain over the last lookAhead_ + 1 frames.
    const std::size_t window = required_.size();
    const std::size_t slot = frameIndex_ % window;
    required_[slot] = required;
    while (queueSize_ > 0) {
        const std::size_t back = minQueue_[(queueHead_ + queueSize_ - 1) % window];
        if (required_[back % window] < required)
            break;
        --queueSize_;
    }
    minQueue_[(queueHead_ + queueSize_) % window] = frameIndex_;
    ++queueSize_;
    if (minQueue_[queueHead_] + window <= frameIndex_) {
        queueHead_ = (queueHead_ + 1) % window;
        --queueSize_;
    }
    const float minimum = required_[minQueue_[queueHead_] % window];
    ++frameIndex_;

    // Averaging the minima over the same span turns each dip into a ramp that is already at its
    // depth when the peak leaves the delay line.
    const float leaving = minima_[minimaPos_];
    minimaBelowOne_ -= leaving < 1.0F ? 1 : 0;
    minimaBelowOne_ += minimum < 1.0F ? 1 : 0;
    minima_[minimaPos_] = minimum;
    minimaPos_ = (minimaPos_ + 1) % minima_.size();
    minimaSum_ += static_cast<double>(minimum) - leaving;
    float target = 1.0F;
    if (minimaBelowOne_ == 0) {
        minimaSum_ = static_cast<double>(minima_.size());
    } else {
        target = std::min(1.0F, static_cast<float>(minimaSum_ / minima_.size()));
    }

    // Down at once (the ramp above is the attack), up slowly.
    if (target <= gain_) {
        gain_ = target;
    } else {
        gain_ += (target - gain_) * releaseCoefficient_;
        if (gain_ > 0.99999F)
            gain_ = 1.0F;  // a step of 1e-5 cannot be heard; now the output is exact again
        if (gain_ > target)
            gain_ = target;
    }
    return gain_;
}

bool PeakLimiter::resting() const {
    // Level 1, and nothing in the window that asks for less: the queue's minimum is its front.
    return gain_ == 1.0F && minimaBelowOne_ == 0 && queueSize_ > 0 &&
           required_[minQueue_[queueHead_] % required_.size()] == 1.0F;
}

void PeakLimiter::delayOnly(const float* in, float* out, std::size_t frames) {
    // What the per-frame path would do for a block that requires nothing: the output is the
    // delay line, and the window keeps asking for nothing.
    const std::size_t width = channels_;
    const std::size_t held = lookAhead_ * width;
    std::copy(in + (frames - lookAhead_) * width, in + frames * width, spare_.begin());
    std::copy_backward(in, in + (frames - lookAhead_) * width, out + frames * width);
    const std::size_t first = (lookAhead_ - delayPos_) * width;
    std::copy(delay_.begin() + static_cast<std::ptrdiff_t>(delayPos_ * width), delay_.end(), out);
    std::copy(delay_.begin(), delay_.begin() + static_cast<std::ptrdiff_t>(held - first),
              out + first);
    delay_.swap(spare_);
    delayPos_ = 0;
    frameIndex_ += frames;
    queueHead_ = 0;
    queueSize_ = 1;
    minQueue_[0] = frameIndex_ - 1;
    required_[(frameIndex_ - 1) % required_.size()] = 1.0F;
}

void PeakLimiter::process(const float* in, float* out, std::size_t frames) {
    const float ceiling = ceiling_;
    if (frames >= lookAhead_ && resting()) {
        // NaN is ignored here as below.
        float top = 0.0F;
        for (std::size_t i = 0; i < frames * channels_; ++i)
            top = std::max(top, std::fabs(in[i]));
        if (!(top > ceiling)) {
            delayOnly(in, out, frames);
            return;
        }
    }
    for (std::size_t i = 0; i < frames; ++i) {
        float peak = 0.0F;
        for (std::size_t c = 0; c < channels_; ++c)
            peak = std::max(peak, std::fabs(in[i * channels_ + c]));
        // NaN peaks compare false and require nothing: the quantiser silences NaN anyway.
        const float required = peak > ceiling ? ceiling / peak : 1.0F;
        const float gain = nextGain(required);
        float* delayed = delay_.data() + delayPos_ * channels_;
        for (std::size_t c = 0; c < channels_; ++c) {
            const float incoming = in[i * channels_ + c];
            out[i * channels_ + c] = gain == 1.0F ? delayed[c] : delayed[c] * gain;
            delayed[c] = incoming;
        }
        delayPos_ = (delayPos_ + 1) % lookAhead_;
    }
}

}  // namespace audiolib
