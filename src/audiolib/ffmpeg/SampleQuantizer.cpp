#include "audiolib/ffmpeg/SampleQuantizer.h"

#include <algorithm>
#include <cmath>

#include "audiolib/dsp/SampleFormat.h"

namespace audiolib::ffmpeg {

namespace {

float saturate(float x) {
    if (std::isnan(x)) {
        return 0.0f;
    }
    return x > 1.0f ? 1.0f : (x < -1.0f ? -1.0f : x);
}

template <typename T, typename Convert>
void store(const float* in, std::size_t frames, int channels, bool planar,
           std::uint8_t* const* planes, Convert convert) {
    const auto ch = static_cast<std::size_t>(channels);
    if (planar) {
        for (std::size_t c = 0; c < ch; ++c) {
            T* out = reinterpret_cast<T*>(planes[c]);
            for (std::size_t i = 0; i < frames; ++i) {
                out[i] = convert(saturate(in[i * ch + c]));
            }
        }
        return;
    }
    T* out = reinterpret_cast<T*>(planes[0]);
    for (std::size_t i = 0; i < frames * ch; ++i) {
        out[i] = convert(saturate(in[i]));
    }
}

void storeInt16(const float* in, std::size_t frames, int channels, bool planar,
                std::uint8_t* const* planes) {
    const auto ch = static_cast<std::size_t>(channels);
    if (!planar) {
        floatToInt16(in, reinterpret_cast<std::int16_t*>(planes[0]), frames * ch);
        return;
    }
    // One channel at a time through a small buffer, so the vector conversion still does the work.
    constexpr std::size_t kChunk = 256;
    float channel[kChunk];
    for (std::size_t c = 0; c < ch; ++c) {
        auto* out = reinterpret_cast<std::int16_t*>(planes[c]);
        for (std::size_t start = 0; start < frames; start += kChunk) {
            const std::size_t count = std::min(kChunk, frames - start);
            for (std::size_t i = 0; i < count; ++i)
                channel[i] = in[(start + i) * ch + c];
            floatToInt16(channel, out + start, count);
        }
    }
}

}  // namespace

bool quantizerSupports(AVSampleFormat format) {
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
        case AV_SAMPLE_FMT_S16:
        case AV_SAMPLE_FMT_S32:
        case AV_SAMPLE_FMT_FLT:
        case AV_SAMPLE_FMT_DBL:
            return true;
        default:
            return false;
    }
}

void quantize(const float* interleaved, std::size_t frames, int channels, AVSampleFormat format,
              int significantBits, std::uint8_t* const* planes) {
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
            store<std::uint8_t>(interleaved, frames, channels, planar, planes, [](float x) {
                return static_cast<std::uint8_t>(std::lrint(x * 127.0f) + 128);
            });
            break;
        case AV_SAMPLE_FMT_S16:
            // The streams' own 16-bit conversion, so that 16-bit music that passes through
            // unchanged is written back bit for bit and exported samples equal pulled ones.
            storeInt16(interleaved, frames, channels, planar, planes);
            break;
        case AV_SAMPLE_FMT_S32: {
            const int bits = significantBits > 0 && significantBits < 32 ? significantBits : 32;
            const double scale = std::ldexp(1.0, bits - 1) - 1.0;
            const int shift = 32 - bits;
            store<std::int32_t>(interleaved, frames, channels, planar, planes, [=](float x) {
                // Shifting the magnitude keeps the low bits zero without a signed left shift.
                const long long q = std::llrint(static_cast<double>(x) * scale);
                return static_cast<std::int32_t>(q * (1LL << shift));
            });
            break;
        }
        case AV_SAMPLE_FMT_FLT:
            store<float>(interleaved, frames, channels, planar, planes, [](float x) { return x; });
            break;
        case AV_SAMPLE_FMT_DBL:
            store<double>(interleaved, frames, channels, planar, planes,
                          [](float x) { return static_cast<double>(x); });
            break;
        default:
            break;
    }
}

}  // namespace audiolib::ffmpeg
