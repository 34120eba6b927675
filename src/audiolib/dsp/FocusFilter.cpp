#include "audiolib/dsp/FocusFilter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libavutil/samplefmt.h>
}

namespace audiolib {

namespace {

// Frames handed to the graph at once; longer blocks go through in pieces of this size.
constexpr int kChunk = 4096;

// Shortest round-trip text of a number, whatever the process's locale (a "1,5" would split
// the filter's options).
void appendNumber(std::string& out, float value) {
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
    out.append(text.data(), result.ptr);
}

}  // namespace

std::string focusChain(const FocusSpec& spec, int rate) {
    switch (spec.band) {
        case FocusBand::Off:
            return {};
        case FocusBand::Bass:
            return "treble=f=250:width_type=q:width=0.707:g=-18";
        case FocusBand::LowMids:
            return "bass=f=200:width_type=q:width=0.707:g=-18,"
                   "treble=f=1200:width_type=q:width=0.707:g=-18";
        case FocusBand::Highs:
            return "bass=f=2000:width_type=q:width=0.707:g=-18";
        case FocusBand::Custom: {
            // A peak at or above Nyquist has no meaning at this rate.
            if (!spec.valid() || rate <= 0 || spec.centreHz >= 0.5F * static_cast<float>(rate))
                return {};
            std::string chain = "equalizer=f=";
            appendNumber(chain, spec.centreHz);
            chain += ":width_type=o:width=";
            appendNumber(chain, spec.widthOctaves);
            chain += ":g=";
            appendNumber(chain, spec.gainDb);
            return chain;
        }
    }
    return {};
}

struct FocusFilter::Graph {
    AVFilterGraph* graph = nullptr;
    AVFilterContext* source = nullptr;
    AVFilterContext* sink = nullptr;
    AVFrame* in = nullptr;
    AVFrame* out = nullptr;
    std::int64_t pts = 0;

    Graph() = default;
    Graph(const Graph&) = delete;
    Graph& operator=(const Graph&) = delete;
    ~Graph() {
        av_frame_free(&in);
        av_frame_free(&out);
        avfilter_graph_free(&graph);
    }

    bool build(const std::string& chain, int rate, int channels) {
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, channels);
        std::array<char, 128> layoutName{};
        const int described =
            av_channel_layout_describe(&layout, layoutName.data(), layoutName.size());
        if (described < 0 || static_cast<std::size_t>(described) > layoutName.size()) {
            av_channel_layout_uninit(&layout);
            return false;
        }

        graph = avfilter_graph_alloc();
        if (!graph) {
            av_channel_layout_uninit(&layout);
            return false;
        }
        // One filter thread: the chain is tiny and the blocks are short, so threads would only
        // add hand-offs on a thread that is already not the audio callback.
        graph->nb_threads = 1;

        const std::string sourceArgs = "sample_rate=" + std::to_string(rate) +
                                       ":sample_fmt=flt:channel_layout=" + layoutName.data() +
                                       ":time_base=1/" + std::to_string(rate);
        if (avfilter_graph_create_filter(&source, avfilter_get_by_name("abuffer"), "in",
                                         sourceArgs.c_str(), nullptr, graph) < 0 ||
            avfilter_graph_create_filter(&sink, avfilter_get_by_name("abuffersink"), "out", nullptr,
                                         nullptr, graph) < 0) {
            av_channel_layout_uninit(&layout);
            return false;
        }

        // The biquads work on planar samples; the trailing aformat brings them back to the
        // interleaved floats the player hands in.
        const std::string description = chain + ",aformat=sample_fmts=flt";
        AVFilterInOut* outputs = avfilter_inout_alloc();
        AVFilterInOut* inputs = avfilter_inout_alloc();
        bool ok = outputs && inputs;
        if (ok) {
            outputs->name = av_strdup("in");
            outputs->filter_ctx = source;
            outputs->pad_idx = 0;
            outputs->next = nullptr;
            inputs->name = av_strdup("out");
            inputs->filter_ctx = sink;
            inputs->pad_idx = 0;
            inputs->next = nullptr;
            ok = outputs->name && inputs->name &&
                 avfilter_graph_parse_ptr(graph, description.c_str(), &inputs, &outputs, nullptr) >=
                     0 &&
                 avfilter_graph_config(graph, nullptr) >= 0;
        }
        avfilter_inout_free(&inputs);
        avfilter_inout_free(&outputs);
        if (!ok) {
            av_channel_layout_uninit(&layout);
            return false;
        }

        in = av_frame_alloc();
        out = av_frame_alloc();
        if (!in || !out) {
            av_channel_layout_uninit(&layout);
            return false;
        }
        in->format = AV_SAMPLE_FMT_FLT;
        in->sample_rate = rate;
        in->nb_samples = kChunk;
        const bool laidOut = av_channel_layout_copy(&in->ch_layout, &layout) >= 0;
        av_channel_layout_uninit(&layout);
        return laidOut && av_frame_get_buffer(in, 0) >= 0;
    }

    // One piece of at most kChunk frames, in place. libavfilter allocates inside the graph
    // for each frame (the conversion to planar and the biquads' output), and the input buffer
    // is copied afresh when the graph still holds it; this runs on the feeder thread, not in
    // the device callback, so that is accepted.
    void run(float* frames, int count, int channels) {
        in->nb_samples = kChunk;  // so that a fresh buffer is big enough for any later piece
        if (av_frame_make_writable(in) < 0)
            return;
        in->nb_samples = count;
        in->pts = pts;
        pts += count;
        const std::size_t samples = static_cast<std::size_t>(count) * channels;
        std::memcpy(in->data[0], frames, samples * sizeof(float));
        if (av_buffersrc_add_frame_flags(source, in, AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
            return;
        std::size_t done = 0;
        while (done < samples) {
            if (av_buffersink_get_frame(sink, out) < 0)
                break;  // the biquads hand back what they take; anything left stays as it was
            const std::size_t got =
                std::min(static_cast<std::size_t>(out->nb_samples) * channels, samples - done);
            std::memcpy(frames + done, out->data[0], got * sizeof(float));
            done += got;
            av_frame_unref(out);
        }
    }
};

FocusFilter::FocusFilter(int rate, int channels) : rate_(rate), channels_(channels) {}

FocusFilter::~FocusFilter() = default;

bool FocusFilter::set(const FocusSpec& spec) {
    graph_.reset();
    if (spec.band == FocusBand::Off && spec.valid()) {
        spec_ = spec;
        return true;
    }
    spec_ = FocusSpec{};
    if (!spec.valid() || rate_ <= 0 || channels_ <= 0)
        return false;
    const std::string chain = focusChain(spec, rate_);
    if (chain.empty())
        return false;
    auto graph = std::make_unique<Graph>();
    if (!graph->build(chain, rate_, channels_))
        return false;
    graph_ = std::move(graph);
    spec_ = spec;
    return true;
}

bool FocusFilter::active() const {
    return graph_ != nullptr;
}

void FocusFilter::process(float* frames, std::size_t count) {
    if (!graph_)
        return;
    const std::size_t stride = static_cast<std::size_t>(channels_);
    for (std::size_t done = 0; done < count;) {
        const std::size_t piece = std::min<std::size_t>(count - done, kChunk);
        graph_->run(frames + done * stride, static_cast<int>(piece), channels_);
        done += piece;
    }
}

void FocusFilter::reset() {
    if (graph_) {
        const FocusSpec spec = spec_;  // set() clears spec_ before it reads its argument
        set(spec);
    }
}

}  // namespace audiolib
