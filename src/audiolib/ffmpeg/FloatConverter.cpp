#include "audiolib/ffmpeg/FloatConverter.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace audiolib::ffmpeg {

namespace {

// A layout without named channels (many WAV files) cannot be matched by swresample; channels are
// then taken in file order, which is what the file means.
void usableLayout(const AVChannelLayout& from, int channels, AVChannelLayout* to) {
    av_channel_layout_uninit(to);
    if (from.order != AV_CHANNEL_ORDER_UNSPEC && from.nb_channels == channels &&
        av_channel_layout_copy(to, &from) == 0) {
        return;
    }
    av_channel_layout_default(to, channels);
}

}  // namespace

FloatConverter::FloatConverter(int sampleRate, const AVChannelLayout& layout)
    : sampleRate_(sampleRate) {
    if (layout.order == AV_CHANNEL_ORDER_NATIVE &&
        av_channel_layout_copy(&outLayout_, &layout) == 0) {
        mask_ = layout.u.mask;
        return;
    }
    av_channel_layout_uninit(&outLayout_);
    av_channel_layout_default(&outLayout_, layout.nb_channels);
}

FloatConverter::~FloatConverter() {
    av_channel_layout_uninit(&outLayout_);
    av_channel_layout_uninit(&inLayout_);
}

bool FloatConverter::configureFor(const AVFrame& frame) {
    const int channels = frame.ch_layout.nb_channels;
    if (channels <= 0) {
        return false;
    }
    AVChannelLayout wanted{};
    if (channels == outLayout_.nb_channels) {
        // Same count: identical layouts keep swresample from reordering or remixing anything.
        av_channel_layout_copy(&wanted, &outLayout_);
    } else {
        usableLayout(frame.ch_layout, channels, &wanted);
    }
    if (swr_ && frame.format == inFormat_ && av_channel_layout_compare(&wanted, &inLayout_) == 0) {
        av_channel_layout_uninit(&wanted);
        return true;
    }
    av_channel_layout_uninit(&inLayout_);
    inLayout_ = wanted;
    inFormat_ = frame.format;

    SwrContext* raw = nullptr;
    int rc =
        swr_alloc_set_opts2(&raw, &outLayout_, AV_SAMPLE_FMT_FLT, sampleRate_, &inLayout_,
                            static_cast<AVSampleFormat>(frame.format), sampleRate_, 0, nullptr);
    swr_.reset(raw);
    if (rc >= 0) {
        rc = swr_init(raw);
    }
    if (rc < 0) {
        swr_.reset();
        inFormat_ = -1;
        return false;
    }
    return true;
}

std::size_t FloatConverter::convert(const AVFrame& frame, float* out) {
    if (frame.nb_samples <= 0 || !configureFor(frame)) {
        return 0;
    }
    auto* outPlanes = reinterpret_cast<std::uint8_t*>(out);
    // Equal rates: swresample only changes the format, so nothing is held back between calls.
    const int done =
        swr_convert(swr_.get(), &outPlanes, frame.nb_samples,
                    const_cast<const std::uint8_t**>(frame.extended_data), frame.nb_samples);
    return done > 0 ? static_cast<std::size_t>(done) : 0;
}

}  // namespace audiolib::ffmpeg
