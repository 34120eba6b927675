// Keeping damaged sample values away from the sound device. A damaged float file can hold NaN,
// infinities or absurd magnitudes; one such value spreads through a stretcher's overlapping
// transforms and std::clamp lets NaN through unchanged.
// Real-time safe: no allocation, no locks.
#ifndef TONVERA_AUDIOLIB_DSP_FINITESAMPLES_H
#define TONVERA_AUDIOLIB_DSP_FINITESAMPLES_H

#include <cmath>
#include <cstddef>

namespace audiolib {

// Beyond this (60 dB above full scale) a decoded value is damage, not a louder recording: kept,
// it would overflow to infinity in the doubling gain and the stretcher's sums.
inline constexpr float kMaxSampleMagnitude = 1000.0F;

// Replaces NaN and infinities by silence and holds finite values within
// ±kMaxSampleMagnitude. Returns how many values were not finite.
inline std::size_t sanitiseSamples(float* samples, std::size_t count) {
    std::size_t bad = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const float x = samples[i];
        if (!std::isfinite(x)) {
            samples[i] = 0.0F;
            ++bad;
        } else if (std::fabs(x) > kMaxSampleMagnitude) {
            samples[i] = std::copysign(kMaxSampleMagnitude, x);
        }
    }
    return bad;
}

// Full scale for the device: NaN becomes silence (std::clamp would pass it on).
inline float deviceSample(float x) {
    if (x >= 1.0F)
        return 1.0F;
    if (x <= -1.0F)
        return -1.0F;
    return std::isnan(x) ? 0.0F : x;
}

}  // namespace audiolib

#endif
