#include "audiolib/dsp/AntiAliasFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#if defined(__SSE2__)
#include <immintrin.h>
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

#if defined(__SSE2__)
// Sixteen outputs of the folded filter, `at` pointing at the newest input of the first: four
// running sums side by side, so the adds overlap instead of each waiting for the one before (one
// sum alone is held up by the add's latency, not by the loads), and each tap is broadcast once
// for sixteen outputs. Every sum adds the same terms in the same order as the single-output loop.
void antiAliasSixteenOutputs(const float* at, const float* taps, float* out) {
    constexpr std::size_t kDelay = AntiAliasFilter::kDelay;
    constexpr std::size_t kFar = AntiAliasFilter::kTaps - 1;
    const __m128 centre = _mm_set1_ps(taps[kDelay]);
    __m128 sum0 = _mm_mul_ps(centre, _mm_loadu_ps(at - kDelay));
    __m128 sum1 = _mm_mul_ps(centre, _mm_loadu_ps(at + 4 - kDelay));
    __m128 sum2 = _mm_mul_ps(centre, _mm_loadu_ps(at + 8 - kDelay));
    __m128 sum3 = _mm_mul_ps(centre, _mm_loadu_ps(at + 12 - kDelay));
    for (std::size_t k = 0; k < kDelay; ++k) {
        const __m128 tap = _mm_set1_ps(taps[k]);
        const float* near = at - k;
        const float* far = at - (kFar - k);
        sum0 = _mm_add_ps(sum0, _mm_mul_ps(tap, _mm_add_ps(_mm_loadu_ps(near), _mm_loadu_ps(far))));
        sum1 = _mm_add_ps(
            sum1, _mm_mul_ps(tap, _mm_add_ps(_mm_loadu_ps(near + 4), _mm_loadu_ps(far + 4))));
        sum2 = _mm_add_ps(
            sum2, _mm_mul_ps(tap, _mm_add_ps(_mm_loadu_ps(near + 8), _mm_loadu_ps(far + 8))));
        sum3 = _mm_add_ps(
            sum3, _mm_mul_ps(tap, _mm_add_ps(_mm_loadu_ps(near + 12), _mm_loadu_ps(far + 12))));
    }
    _mm_storeu_ps(out, sum0);
    _mm_storeu_ps(out + 4, sum1);
    _mm_storeu_ps(out + 8, sum2);
    _mm_storeu_ps(out + 12, sum3);
}

// The same as antiAliasSixteenOutputs, eight lanes wide with fused multiply-adds: thirty-two
// outputs. Only called where the processor has AVX and FMA (the package is built for plain
// x86-64). The taps go in eight interleaved runs (k, k + 8, k + 16...): along a run the window of
// four vectors moves by exactly one vector, so each step loads one new vector at each end instead
// of eight, most of them split across cache lines. The terms are added in another order and each
// fused step rounds once, so the outputs differ from the four-lane code's in the last bits only.
__attribute__((target("avx,fma"))) void antiAliasThirtyTwoOutputs(const float* at,
                                                                  const float* taps, float* out) {
    constexpr std::size_t kDelay = AntiAliasFilter::kDelay;
    constexpr std::size_t kFar = AntiAliasFilter::kTaps - 1;
    constexpr std::size_t kLanes = 8;
    static_assert(kDelay % kLanes == 0, "every run of taps must have the same length");
    const __m256 centre = _mm256_set1_ps(taps[kDelay]);
    __m256 sum0 = _mm256_mul_ps(centre, _mm256_loadu_ps(at - kDelay));
    __m256 sum1 = _mm256_mul_ps(centre, _mm256_loadu_ps(at + 8 - kDelay));
    __m256 sum2 = _mm256_mul_ps(centre, _mm256_loadu_ps(at + 16 - kDelay));
    __m256 sum3 = _mm256_mul_ps(centre, _mm256_loadu_ps(at + 24 - kDelay));
    for (std::size_t run = 0; run < kLanes; ++run) {
        // near* hold the inputs k frames before each output, far* those kFar - k before.
        const float* near = at - run;
        const float* far = at - (kFar - run);
        __m256 near0 = _mm256_loadu_ps(near);
        __m256 near1 = _mm256_loadu_ps(near + 8);
        __m256 near2 = _mm256_loadu_ps(near + 16);
        __m256 near3 = _mm256_loadu_ps(near + 24);
        __m256 far0 = _mm256_loadu_ps(far);
        __m256 far1 = _mm256_loadu_ps(far + 8);
        __m256 far2 = _mm256_loadu_ps(far + 16);
        __m256 far3 = _mm256_loadu_ps(far + 24);
        for (std::size_t k = run; k < kDelay; k += kLanes) {
            const __m256 tap = _mm256_set1_ps(taps[k]);
            sum0 = _mm256_fmadd_ps(tap, _mm256_add_ps(near0, far0), sum0);
            sum1 = _mm256_fmadd_ps(tap, _mm256_add_ps(near1, far1), sum1);
            sum2 = _mm256_fmadd_ps(tap, _mm256_add_ps(near2, far2), sum2);
            sum3 = _mm256_fmadd_ps(tap, _mm256_add_ps(near3, far3), sum3);
            // Tap k + 8: the near window moves a vector back, the far one a vector on; both
            // loads stay inside the history and the block (at - 55 and at + 23 at the most).
            near3 = near2;
            near2 = near1;
            near1 = near0;
            near0 = _mm256_loadu_ps(at - (k + kLanes));
            far0 = far1;
            far1 = far2;
            far2 = far3;
            far3 = _mm256_loadu_ps(at - (kFar - k - kLanes) + 24);
        }
    }
    _mm256_storeu_ps(out, sum0);
    _mm256_storeu_ps(out + 8, sum1);
    _mm256_storeu_ps(out + 16, sum2);
    _mm256_storeu_ps(out + 24, sum3);
}
#endif

}  // namespace

AntiAliasFilter::AntiAliasFilter(int channels)
    : channels_(static_cast<std::size_t>(channels)),
      history_((kTaps - 1 + kMaxFrames) * channels_),
      result_(kMaxFrames) {
#if defined(__SSE2__)
    wideFused_ = __builtin_cpu_supports("avx") != 0 && __builtin_cpu_supports("fma") != 0;
#endif
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
            if (wideFused_) {
                for (; i + 32 <= count; i += 32)
                    antiAliasThirtyTwoOutputs(newest + i, taps_.data(), result + i);
            }
            for (; i + 16 <= count; i += 16)
                antiAliasSixteenOutputs(newest + i, taps_.data(), result + i);
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
