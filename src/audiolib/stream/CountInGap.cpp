#include "audiolib/stream/CountInGap.h"

#include <algorithm>
#include <cmath>

namespace audiolib {

namespace {

float gapFadeGain(double x) {
    // Raised cosine: no corner where the fade starts or ends.
    return static_cast<float>(0.5 - 0.5 * std::cos(std::clamp(x, 0.0, 1.0) * 3.14159265358979));
}

}  // namespace

CountInGap::CountInGap(int rate, int channels)
    : rate_(rate), width_(static_cast<std::size_t>(channels)) {}

std::size_t CountInGap::fadeFrames() const {
    return static_cast<std::size_t>(std::lround(kFadeSeconds * rate_));
}

void CountInGap::begin() {
    left_ = static_cast<std::size_t>(std::llround(clicks_->beats * clicks_->intervalFrames));
    done_ = 0;
}

std::size_t CountInGap::render(float* out, std::size_t frames, float gainAfter) {
    frames = std::min(frames, left_);
    std::fill(out, out + frames * width_, 0.0F);
    const Clicks* clicks = clicks_.get();
    if (clicks != nullptr) {
        const float level = gainAfter > 0.0F ? clicks->level / gainAfter : 0.0F;
        const std::size_t from = done_;
        const std::size_t to = done_ + frames;
        for (int beat = 0; beat < clicks->beats; ++beat) {
            const auto onset =
                static_cast<std::size_t>(std::llround(beat * clicks->intervalFrames));
            const bool accented =
                !clicks->accentClick.empty() && beat % std::max(1, clicks->beatsPerBar) == 0;
            const std::vector<float>& click = accented ? clicks->accentClick : clicks->click;
            const std::size_t first = std::max(from, onset);
            const std::size_t last = std::min(to, onset + click.size());
            for (std::size_t f = first; f < last; ++f) {
                const float value = click[f - onset] * level;
                for (std::size_t c = 0; c < width_; ++c)
                    out[(f - from) * width_ + c] += value;
            }
        }
    }
    done_ += frames;
    left_ -= frames;
    if (left_ == 0)
        fadeInLeft_ = fadeFrames();
    return frames;
}

void CountInGap::fadeOut(float* block, std::size_t frames, std::size_t untilSeam) const {
    const double fade = kFadeSeconds * rate_;
    for (std::size_t i = 0; i < frames; ++i) {
        const double left = static_cast<double>(untilSeam - i);
        if (left >= fade)
            continue;
        const float gain = gapFadeGain(left / fade);
        for (std::size_t c = 0; c < width_; ++c)
            block[i * width_ + c] *= gain;
    }
}

void CountInGap::fadeIn(float* block, std::size_t frames) {
    const double fade = kFadeSeconds * rate_;
    for (std::size_t i = 0; i < frames && fadeInLeft_ > 0; ++i, --fadeInLeft_) {
        const float gain = gapFadeGain((fade - static_cast<double>(fadeInLeft_)) / fade);
        for (std::size_t c = 0; c < width_; ++c)
            block[i * width_ + c] *= gain;
    }
}

}  // namespace audiolib
