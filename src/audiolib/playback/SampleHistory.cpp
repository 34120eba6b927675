#include "audiolib/playback/SampleHistory.h"

#include <algorithm>

namespace audiolib {

SampleHistory::SampleHistory(int channels, int rate)
    : channels_(std::max(channels, 1)),
      capacity_(static_cast<std::size_t>(std::max(rate, 1000)) * 2),
      maxRead_(static_cast<std::size_t>(std::max(rate, 1000) * kMaxReadSeconds)),
      samples_(capacity_ * static_cast<std::size_t>(channels_), 0.0F) {}

void SampleHistory::write(const float* interleaved, std::size_t frames) {
    std::uint64_t position = written_.load(std::memory_order_relaxed);
    while (frames > 0) {
        const std::size_t slot = static_cast<std::size_t>(position % capacity_);
        const std::size_t chunk = std::min(frames, capacity_ - slot);
        std::copy(interleaved, interleaved + chunk * channels_,
                  samples_.begin() + static_cast<std::ptrdiff_t>(slot * channels_));
        interleaved += chunk * channels_;
        frames -= chunk;
        position += chunk;
    }
    written_.store(position, std::memory_order_release);
}

void SampleHistory::read(std::uint64_t endFrame, float* out, std::size_t frames) const {
    std::fill(out, out + frames * channels_, 0.0F);
    const std::uint64_t written = written_.load(std::memory_order_acquire);
    endFrame = std::min(endFrame, written);
    const std::size_t wanted = std::min(frames, maxRead_);
    const std::uint64_t available = std::min<std::uint64_t>(endFrame, wanted);
    // The newest frames go to the end of `out`; what is missing stays zero in front.
    float* target = out + (frames - available) * channels_;
    std::uint64_t position = endFrame - available;
    std::size_t remaining = static_cast<std::size_t>(available);
    while (remaining > 0) {
        const std::size_t slot = static_cast<std::size_t>(position % capacity_);
        const std::size_t chunk = std::min(remaining, capacity_ - slot);
        const auto begin = samples_.begin() + static_cast<std::ptrdiff_t>(slot * channels_);
        std::copy(begin, begin + static_cast<std::ptrdiff_t>(chunk * channels_), target);
        target += chunk * channels_;
        position += chunk;
        remaining -= chunk;
    }
}

}  // namespace audiolib
