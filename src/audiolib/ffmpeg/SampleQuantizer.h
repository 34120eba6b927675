// Interleaved float frames into an encoder's sample format (packed or planar u8, s16, s32, float,
// double). Every sample is first saturated to [-1, 1] (NaN counts as silence): an export of
// music turned up beyond full scale must clip, never wrap around to the opposite sign.
#ifndef TONVERA_AUDIOLIB_FFMPEG_SAMPLEQUANTIZER_H
#define TONVERA_AUDIOLIB_FFMPEG_SAMPLEQUANTIZER_H

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace audiolib::ffmpeg {

// True for the formats quantize() writes.
bool quantizerSupports(AVSampleFormat format);

// Writes frames x channels samples into planes (one plane per channel when planar, else one).
// significantBits < 32 keeps a 32-bit format's lowest bits zero (24-bit audio in s32).
void quantize(const float* interleaved, std::size_t frames, int channels, AVSampleFormat format,
              int significantBits, std::uint8_t* const* planes);

}  // namespace audiolib::ffmpeg

#endif
