#include "audiolib/dsp/StereoMapper.h"

#include <algorithm>
#include <bit>

#include <memory>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace audiolib {

namespace {

// Where the matrix cannot be built (a layout swresample has no rule for): each channel goes to
// the side of its position in the file, alternating, which at least keeps everything audible.
void alternate(int channels, std::array<std::array<float, StereoMapper::kMaxChannels>, 2>* w) {
    for (int c = 0; c < channels; ++c) {
        (*w)[static_cast<std::size_t>(c % 2)][static_cast<std::size_t>(c)] =
            2.0F / static_cast<float>(channels + (channels % 2));
    }
}

}  // namespace

StereoMapper::StereoMapper(int channels, std::uint64_t layoutMask)
    : channels_(std::clamp(channels, 1, kMaxChannels)) {
    if (channels_ == 1) {
        weights_[0][0] = 1.0F;
        weights_[1][0] = 1.0F;
        return;
    }
    AVChannelLayout in{};
    if (layoutMask != 0 && std::popcount(layoutMask) == channels_) {
        av_channel_layout_from_mask(&in, layoutMask);
    } else {
        av_channel_layout_default(&in, channels_);
    }
    AVChannelLayout out = AV_CHANNEL_LAYOUT_STEREO;
    // swresample's own downmix at its usual levels (centre and surround at -3 dB, no LFE), with
    // its no-clipping normalisation (rematrix_maxval 1: the loudest output row sums to at most
    // 1). The weights are read back by sending one full-scale impulse per input channel through
    // it; at equal rates nothing is delayed. (FFmpeg 5.1's public swr_build_matrix2 reads out of
    // bounds when it normalises, so the matrix is not asked for directly.)
    SwrContext* raw = nullptr;
    int rc = swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_FLT, 48000, &in, AV_SAMPLE_FMT_FLT,
                                 48000, 0, nullptr);
    std::unique_ptr<SwrContext, void (*)(SwrContext*)> swr(raw,
                                                           [](SwrContext* c) { swr_free(&c); });
    av_channel_layout_uninit(&in);
    if (rc >= 0) {
        rc = av_opt_set_double(swr.get(), "rematrix_maxval", 1.0, 0);
    }
    if (rc >= 0) {
        rc = swr_init(swr.get());
    }
    for (int c = 0; c < channels_ && rc >= 0; ++c) {
        std::array<float, kMaxChannels> impulse{};
        impulse[static_cast<std::size_t>(c)] = 1.0F;
        std::array<float, 2> side{};
        const auto* inPlane = reinterpret_cast<const std::uint8_t*>(impulse.data());
        auto* outPlane = reinterpret_cast<std::uint8_t*>(side.data());
        rc = swr_convert(swr.get(), &outPlane, 1, &inPlane, 1) == 1 ? 0 : -1;
        weights_[0][static_cast<std::size_t>(c)] = side[0];
        weights_[1][static_cast<std::size_t>(c)] = side[1];
    }
    if (rc < 0) {
        weights_ = {};
        alternate(channels_, &weights_);
    }
}

void StereoMapper::map(const float* in, float* out, std::size_t frames) const {
    if (channels_ == 2) {
        std::copy(in, in + frames * 2, out);
        return;
    }
    if (channels_ == 1) {
        for (std::size_t i = 0; i < frames; ++i)
            out[2 * i] = out[2 * i + 1] = in[i];
        return;
    }
    for (std::size_t i = 0; i < frames; ++i) {
        const float* frame = in + i * channels_;
        float left = 0.0F;
        float right = 0.0F;
        for (int c = 0; c < channels_; ++c) {
            left += weights_[0][c] * frame[c];
            right += weights_[1][c] * frame[c];
        }
        out[2 * i] = left;
        out[2 * i + 1] = right;
    }
}

}  // namespace audiolib
