#include "audiolib/dsp/Resampler.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace audiolib {

namespace {
std::string avError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}
}  // namespace

void Resampler::SwrDeleter::operator()(SwrContext* context) const {
    swr_free(&context);
}

Resampler::Resampler(int channels, int outputRate)
    : channels_(channels), outputRate_(outputRate), inputRate_(outputRate) {}

Resampler::~Resampler() = default;

bool Resampler::setInputRate(int rate, std::string* error) {
    if (rate == inputRate_)
        return true;
    context_.reset();
    inputRate_ = rate;
    if (rate == outputRate_)
        return true;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels_);
    SwrContext* raw = nullptr;
    int result = swr_alloc_set_opts2(&raw, &layout, AV_SAMPLE_FMT_FLT, outputRate_, &layout,
                                     AV_SAMPLE_FMT_FLT, rate, 0, nullptr);
    std::unique_ptr<SwrContext, SwrDeleter> context(raw);
    if (result >= 0)
        result = swr_init(context.get());
    av_channel_layout_uninit(&layout);
    if (result < 0) {
        if (error)
            *error = "resampler: " + avError(result);
        return false;
    }
    context_ = std::move(context);
    return true;
}

int Resampler::maxOutputFrames(int inFrames) const {
    if (!context_)
        return inFrames;
    const int frames = swr_get_out_samples(context_.get(), inFrames);
    return std::max(frames, 0);
}

int Resampler::process(const float* in, int inFrames, float* out, int outCapacity) {
    if (!context_) {
        if (!in)
            return 0;
        const int frames = std::min(inFrames, outCapacity);
        std::memcpy(out, in, sizeof(float) * static_cast<std::size_t>(frames * channels_));
        return frames;
    }
    const auto* inPlanes = reinterpret_cast<const std::uint8_t*>(in);
    auto* outPlanes = reinterpret_cast<std::uint8_t*>(out);
    const int frames = swr_convert(context_.get(), &outPlanes, outCapacity,
                                   in ? &inPlanes : nullptr, in ? inFrames : 0);
    if (frames < 0) {
        failed_ = true;
        return 0;
    }
    return frames;
}

void Resampler::reset() {
    if (context_) {
        swr_close(context_.get());
        swr_init(context_.get());
    }
}

}  // namespace audiolib
