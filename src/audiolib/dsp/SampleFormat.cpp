#include "audiolib/dsp/SampleFormat.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace audiolib {

std::int16_t floatToInt16(float value) {
    const float scaled = value * 32768.0F;
    if (!(scaled > -32768.0F))
        return scaled < 0.0F ? -32768 : 0;  // also catches NaN
    if (scaled >= 32767.0F)
        return 32767;
    return static_cast<std::int16_t>(std::lrintf(scaled));
}

void floatToInt16(const float* in, std::int16_t* out, std::size_t count) {
    std::size_t i = 0;
#if defined(__SSE2__)
    // Eight at a time, with the same result as the scalar version: NaN to 0, clamp, round to
    // nearest even (the default rounding mode), then a saturating pack.
    const __m128 scale = _mm_set1_ps(32768.0F);
    const __m128 low = _mm_set1_ps(-32768.0F);
    const __m128 high = _mm_set1_ps(32767.0F);
    for (; i + 8 <= count; i += 8) {
        __m128 a = _mm_mul_ps(_mm_loadu_ps(in + i), scale);
        __m128 b = _mm_mul_ps(_mm_loadu_ps(in + i + 4), scale);
        a = _mm_min_ps(_mm_max_ps(_mm_and_ps(a, _mm_cmpord_ps(a, a)), low), high);
        b = _mm_min_ps(_mm_max_ps(_mm_and_ps(b, _mm_cmpord_ps(b, b)), low), high);
        const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), packed);
    }
#endif
    for (; i < count; ++i)
        out[i] = floatToInt16(in[i]);
}

void int16ToFloat(const std::int16_t* in, float* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<float>(in[i]) * (1.0F / 32768.0F);  // exact: a power of two
}

}  // namespace audiolib
