#include "audiolib/dsp/StereoMapper.h"

#include <algorithm>

namespace audiolib {

namespace {

constexpr float kMinus3dB = 0.70710678F;

enum Speaker { FL, FR, FC, LFE, BL, BR, BC, SL, SR };

// FFmpeg's default layout for each channel count (av_channel_layout_default), which is what the
// decoder delivers for files without an explicit layout.
const std::array<std::array<Speaker, 8>, 9> kLayouts = {{
    {},
    {FC},
    {FL, FR},
    {FL, FR, FC},
    {FL, FR, FC, BC},
    {FL, FR, FC, BL, BR},
    {FL, FR, FC, LFE, BL, BR},
    {FL, FR, FC, LFE, BC, SL, SR},
    {FL, FR, FC, LFE, BL, BR, SL, SR},
}};

std::array<float, 2> speakerWeights(Speaker speaker) {
    switch (speaker) {
        case FL:
            return {1.0F, 0.0F};
        case FR:
            return {0.0F, 1.0F};
        case FC:
            return {kMinus3dB, kMinus3dB};
        case BL:
        case SL:
            return {kMinus3dB, 0.0F};
        case BR:
        case SR:
            return {0.0F, kMinus3dB};
        case BC:
            return {0.5F, 0.5F};
        case LFE:
            return {0.0F, 0.0F};
    }
    return {0.0F, 0.0F};
}

}  // namespace

StereoMapper::StereoMapper(int channels) : channels_(std::clamp(channels, 1, kMaxChannels)) {
    if (channels_ == 1) {
        weights_[0][0] = 1.0F;
        weights_[1][0] = 1.0F;
        return;
    }
    for (int c = 0; c < channels_; ++c) {
        const auto w = speakerWeights(kLayouts[channels_][c]);
        weights_[0][c] = w[0];
        weights_[1][c] = w[1];
    }
    for (auto& row : weights_) {
        float sum = 0.0F;
        for (int c = 0; c < channels_; ++c)
            sum += row[c];
        if (sum > 1.0F) {
            for (int c = 0; c < channels_; ++c)
                row[c] /= sum;
        }
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
