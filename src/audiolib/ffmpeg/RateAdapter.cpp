#include "audiolib/ffmpeg/RateAdapter.h"

#include <climits>

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace audiolib::ffmpeg {

std::unique_ptr<RateAdapter> RateAdapter::create(int inRate, int outRate, int channels,
                                                 std::string* error) {
    std::unique_ptr<RateAdapter> adapter(new RateAdapter);
    adapter->channels_ = channels;
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    SwrContext* raw = nullptr;
    int rc = swr_alloc_set_opts2(&raw, &layout, AV_SAMPLE_FMT_FLT, outRate, &layout,
                                 AV_SAMPLE_FMT_FLT, inRate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    adapter->swr_.reset(raw);
    if (rc >= 0) {
        rc = swr_init(raw);
    }
    if (rc < 0) {
        if (error) {
            *error = "cannot resample from " + std::to_string(inRate) + " to " +
                     std::to_string(outRate) + " Hz: " + errorText(rc);
        }
        return nullptr;
    }
    return adapter;
}

std::optional<std::span<const float>> RateAdapter::convert(const float* interleaved,
                                                           std::size_t frames) {
    return run(interleaved, frames);
}

std::optional<std::span<const float>> RateAdapter::flush() {
    return run(nullptr, 0);
}

std::optional<std::span<const float>> RateAdapter::run(const float* interleaved,
                                                       std::size_t frames) {
    if (frames > static_cast<std::size_t>(INT_MAX / 2)) {
        return std::nullopt;
    }
    const int inFrames = static_cast<int>(frames);
    const int room = swr_get_out_samples(swr_.get(), inFrames);
    if (room < 0) {
        return std::nullopt;
    }
    out_.resize(static_cast<std::size_t>(room) * static_cast<std::size_t>(channels_));
    auto* outPlane = reinterpret_cast<std::uint8_t*>(out_.data());
    const auto* inPlane = reinterpret_cast<const std::uint8_t*>(interleaved);
    const int done =
        swr_convert(swr_.get(), &outPlane, room, interleaved ? &inPlane : nullptr, inFrames);
    if (done < 0) {
        return std::nullopt;
    }
    return std::span<const float>(
        out_.data(), static_cast<std::size_t>(done) * static_cast<std::size_t>(channels_));
}

}  // namespace audiolib::ffmpeg
