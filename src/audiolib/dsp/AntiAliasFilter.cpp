#include "audiolib/dsp/AntiAliasFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace audiolib {

namespace {

constexpr double kBeta = 7.0;  // Kaiser window: about 70 dB of stop-band attenuation
// Half the transition band these taps give at that attenuation, as a fraction of the rate, and
// a little room, so that the stop band starts just below the shifted Nyquist frequency.
constexpr double kHalfTransition = 0.0245;

double besselI0(double x) {
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 30; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

}  // namespace

AntiAliasFilter::AntiAliasFilter(int channels)
    : channels_(static_cast<std::size_t>(channels)),
      history_((kTaps - 1 + kMaxFrames) * channels_),
      result_(kMaxFrames) {
    reset();
}

void AntiAliasFilter::reset() {
    std::fill(history_.begin(), history_.end(), 0.0F);
    swallow_ = kDelay;
}

void AntiAliasFilter::setPitchFactor(double factor) {
    active_ = factor > 1.0001;
    if (!active_)
        return;
    // Cut-off (as a fraction of the rate) where the band that lands below Nyquist ends.
    const double cutoff = std::max(0.02, 0.5 / factor - kHalfTransition);
    double sum = 0.0;
    for (std::size_t k = 0; k < kTaps; ++k) {
        const double n = static_cast<double>(k) - static_cast<double>(kDelay);
        const double sinc =
            n == 0.0 ? 2.0 * cutoff
                     : std::sin(2.0 * std::numbers::pi * cutoff * n) / (std::numbers::pi * n);
        const double r = n / static_cast<double>(kDelay);
        const double window =
            besselI0(kBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / besselI0(kBeta);
        taps_[k] = static_cast<float>(sinc * window);
        sum += sinc * window;
    }
    for (float& tap : taps_)
        tap = static_cast<float>(tap / sum);  // unity gain at DC
}

std::size_t AntiAliasFilter::process(float* frames, std::size_t count) {
    count = std::min(count, kMaxFrames);
    const std::size_t span = kTaps - 1 + kMaxFrames;
    for (std::size_t c = 0; c < channels_; ++c) {
        float* history = history_.data() + c * span;
        for (std::size_t i = 0; i < count; ++i)
            history[kTaps - 1 + i] = frames[i * channels_ + c];
        float* result = result_.data();
        if (!active_) {
            // Only the delay: the centre tap alone.
            std::copy(history + kTaps - 1 - kDelay, history + kTaps - 1 - kDelay + count, result);
        } else {
            // The taps are symmetric (linear phase): each pair of inputs equally far from the
            // centre shares one multiplication.
            const float* newest = history + kTaps - 1;
            std::size_t i = 0;
#if defined(__SSE2__)
            for (; i + 4 <= count; i += 4) {
                const float* at = newest + i;
                __m128 sum = _mm_mul_ps(_mm_set1_ps(taps_[kDelay]), _mm_loadu_ps(at - kDelay));
                for (std::size_t k = 0; k < kDelay; ++k) {
                    const __m128 pair =
                        _mm_add_ps(_mm_loadu_ps(at - k), _mm_loadu_ps(at - (kTaps - 1 - k)));
                    sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(taps_[k]), pair));
                }
                _mm_storeu_ps(result + i, sum);
            }
#endif
            for (; i < count; ++i) {
                const float* at = newest + i;
                float sum = taps_[kDelay] * at[-static_cast<std::ptrdiff_t>(kDelay)];
                for (std::size_t k = 0; k < kDelay; ++k)
                    sum += taps_[k] * (at[-static_cast<std::ptrdiff_t>(k)] +
                                       at[-static_cast<std::ptrdiff_t>(kTaps - 1 - k)]);
                result[i] = sum;
            }
        }
        for (std::size_t i = 0; i < count; ++i)
            frames[i * channels_ + c] = result[i];
        // Keep the newest kTaps - 1 inputs for the next block.
        std::copy(history + count, history + count + kTaps - 1, history);
    }
    // Right after a reset, the first kDelay outputs belong to the silence before the input.
    const std::size_t skip = std::min(swallow_, count);
    if (skip > 0) {
        std::copy(frames + skip * channels_, frames + count * channels_, frames);
        swallow_ -= skip;
    }
    return count - skip;
}

}  // namespace audiolib
