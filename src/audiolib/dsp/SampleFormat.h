// Conversions between the float samples the engine works in and the 16-bit samples a channel
// without the float flag delivers.
#ifndef TONVERA_AUDIOLIB_DSP_SAMPLEFORMAT_H
#define TONVERA_AUDIOLIB_DSP_SAMPLEFORMAT_H

#include <cstddef>
#include <cstdint>

namespace audiolib {

// Full scale is 32768, so -1.0 maps exactly to -32768; anything beyond full scale saturates at
// the nearest limit instead of wrapping to the opposite sign. NaN becomes 0.
std::int16_t floatToInt16(float value);
void floatToInt16(const float* in, std::int16_t* out, std::size_t count);
void int16ToFloat(const std::int16_t* in, float* out, std::size_t count);

}  // namespace audiolib

#endif
