#include "audiolib/ffmpeg/FfmpegEncoder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
}

#include "audiolib/ffmpeg/SampleQuantizer.h"

namespace audiolib::ffmpeg {

namespace {

// Input is quantised in slices of this many frames, so the staging buffer has a fixed size.
constexpr std::size_t kStagingFrames = 4096;
// Frame size for codecs that take any (PCM).
constexpr int kPcmFrameSize = 4096;

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

AVSampleFormat chooseSampleFormat(const AVCodec& codec, AVSampleFormat wanted) {
    if (!codec.sample_fmts) {
        return wanted != AV_SAMPLE_FMT_NONE ? wanted : AV_SAMPLE_FMT_S16;
    }
    auto offered = [&](AVSampleFormat f) {
        for (const AVSampleFormat* p = codec.sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p) {
            if (*p == f) {
                return true;
            }
        }
        return false;
    };
    if (wanted != AV_SAMPLE_FMT_NONE) {
        return offered(wanted) ? wanted : AV_SAMPLE_FMT_NONE;
    }
    for (AVSampleFormat f :
         {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S32P, AV_SAMPLE_FMT_S32,
          AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_DBLP, AV_SAMPLE_FMT_DBL,
          AV_SAMPLE_FMT_U8P, AV_SAMPLE_FMT_U8}) {
        if (offered(f)) {
            return f;
        }
    }
    return AV_SAMPLE_FMT_NONE;
}

// The rate itself when the codec takes it, else the lowest offered rate above it (nothing of the
// source is lost), else the highest offered.
int nearestOfferedRate(const AVCodec& codec, int rate) {
    if (!codec.supported_samplerates) {
        return rate;
    }
    int above = 0;
    int highest = 0;
    for (const int* r = codec.supported_samplerates; *r != 0; ++r) {
        if (*r == rate) {
            return rate;
        }
        if (*r > rate && (above == 0 || *r < above)) {
            above = *r;
        }
        highest = std::max(highest, *r);
    }
    return above != 0 ? above : highest;
}

// The codec's own layout for this channel count, else the default one.
bool chooseLayout(const AVCodec& codec, int channels, AVChannelLayout* layout) {
    if (!codec.ch_layouts) {
        av_channel_layout_default(layout, channels);
        return true;
    }
    AVChannelLayout preferred{};
    av_channel_layout_default(&preferred, channels);
    const AVChannelLayout* match = nullptr;
    for (const AVChannelLayout* l = codec.ch_layouts; l->nb_channels != 0; ++l) {
        if (av_channel_layout_compare(l, &preferred) == 0) {
            match = l;
            break;
        }
        if (!match && l->nb_channels == channels) {
            match = l;
        }
    }
    av_channel_layout_uninit(&preferred);
    return match && av_channel_layout_copy(layout, match) == 0;
}

bool parseOptions(const char* text, DictionaryPtr* out) {
    if (!text) {
        return true;
    }
    AVDictionary* dict = nullptr;
    const int rc = av_dict_parse_string(&dict, text, "=", ":", 0);
    out->reset(dict);
    return rc >= 0;
}

}  // namespace

std::unique_ptr<FfmpegEncoder> FfmpegEncoder::create(const std::string& utf8Path,
                                                     const EncoderRecipe& recipe, int sampleRate,
                                                     int channels, std::string* error) {
    routeFfmpegLogging();
    std::unique_ptr<FfmpegEncoder> encoder(new FfmpegEncoder);
    if (!encoder->setUp(utf8Path, recipe, sampleRate, channels, error)) {
        encoder->discardOutput();
        return nullptr;
    }
    return encoder;
}

bool FfmpegEncoder::setUp(const std::string& utf8Path, const EncoderRecipe& recipe, int sampleRate,
                          int channels, std::string* error) {
    auto failWith = [&](const std::string& text) {
        if (error) {
            *error = text;
        }
        return false;
    };
    path_ = utf8Path;
    if (sampleRate <= 0 || channels <= 0 || !recipe.muxer || !recipe.codec) {
        return failWith("invalid encoder settings for " + utf8Path);
    }
    const AVCodec* codec = avcodec_find_encoder_by_name(recipe.codec);
    if (!codec) {
        return failWith(std::string("the encoder ") + recipe.codec + " is not available");
    }
    const int codecRate = nearestOfferedRate(*codec, sampleRate);
    if (codecRate != sampleRate) {
        resampler_ = std::make_unique<Resampler>(channels, codecRate);
        std::string reason;
        if (!resampler_->setInputRate(sampleRate, &reason)) {
            return failWith("cannot resample from " + std::to_string(sampleRate) + " to " +
                            std::to_string(codecRate) + " Hz: " + reason);
        }
    }
    AVFormatContext* rawFormat = nullptr;
    // The name only labels the output (muxers judge it by its extension); the file is opened below.
    int rc = avformat_alloc_output_context2(&rawFormat, nullptr, recipe.muxer, utf8Path.c_str());
    if (rc < 0 || !rawFormat) {
        return failWith(std::string("the file format ") + recipe.muxer +
                        " is not available: " + errorText(rc));
    }
    format_.reset(rawFormat);

    codec_.reset(avcodec_alloc_context3(codec));
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    stream_ = avformat_new_stream(rawFormat, nullptr);
    if (!codec_ || !packet_ || !frame_ || !stream_) {
        return failWith("out of memory creating " + utf8Path);
    }
    AVCodecContext* ctx = codec_.get();
    ctx->sample_fmt = chooseSampleFormat(*codec, recipe.sampleFormat);
    if (ctx->sample_fmt == AV_SAMPLE_FMT_NONE || !quantizerSupports(ctx->sample_fmt)) {
        return failWith(std::string("the encoder ") + recipe.codec +
                        " offers no usable sample format");
    }
    if (!chooseLayout(*codec, channels, &ctx->ch_layout)) {
        return failWith(std::string("the encoder ") + recipe.codec + " cannot encode " +
                        std::to_string(channels) + " channels");
    }
    ctx->sample_rate = codecRate;
    ctx->time_base = AVRational{1, codecRate};
    if (recipe.bitRate > 0) {
        ctx->bit_rate = recipe.bitRate;
    }
    if (recipe.significantBits > 0) {
        ctx->bits_per_raw_sample = recipe.significantBits;
    }
    if (rawFormat->oformat->flags & AVFMT_GLOBALHEADER) {
        ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    DictionaryPtr codecOptions;
    DictionaryPtr muxerOptions;
    if (!parseOptions(recipe.codecOptions, &codecOptions) ||
        !parseOptions(recipe.muxerOptions, &muxerOptions)) {
        return failWith("invalid encoder options for " + utf8Path);
    }
    AVDictionary* openOptions = codecOptions.release();
    rc = avcodec_open2(ctx, codec, &openOptions);
    codecOptions.reset(openOptions);
    if (rc < 0) {
        return failWith(std::string("cannot start the encoder ") + recipe.codec + ": " +
                        errorText(rc));
    }
    rc = avcodec_parameters_from_context(stream_->codecpar, ctx);
    if (rc < 0) {
        return failWith("cannot set up " + utf8Path + ": " + errorText(rc));
    }
    stream_->time_base = ctx->time_base;

    channels_ = channels;
    significantBits_ = recipe.significantBits;
    const bool anySize =
        ctx->frame_size <= 0 || (codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    frameSize_ = anySize ? kPcmFrameSize : ctx->frame_size;
    padLastFrame_ = !anySize && !(codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    fifo_.reset(av_audio_fifo_alloc(ctx->sample_fmt, channels, frameSize_ * 2));
    const bool planar = av_sample_fmt_is_planar(ctx->sample_fmt) != 0;
    const std::size_t planeBytes =
        kStagingFrames * static_cast<std::size_t>(av_get_bytes_per_sample(ctx->sample_fmt)) *
        (planar ? 1 : static_cast<std::size_t>(channels));
    staging_.assign(planar ? static_cast<std::size_t>(channels) : 1,
                    std::vector<std::uint8_t>(planeBytes));
    for (auto& plane : staging_) {
        stagingPlanes_.push_back(plane.data());
    }
    frame_->format = ctx->sample_fmt;
    frame_->sample_rate = codecRate;
    frame_->nb_samples = frameSize_;
    if (!fifo_ || av_channel_layout_copy(&frame_->ch_layout, &ctx->ch_layout) < 0 ||
        av_frame_get_buffer(frame_.get(), 0) < 0) {
        return failWith("out of memory creating " + utf8Path);
    }

    const std::string url = "file:" + utf8Path;
    rc = avio_open(&rawFormat->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0) {
        return failWith("cannot create " + utf8Path + ": " + errorText(rc));
    }
    fileOpen_ = true;
    AVDictionary* headerOptions = muxerOptions.release();
    rc = avformat_write_header(rawFormat, &headerOptions);
    muxerOptions.reset(headerOptions);
    if (rc < 0) {
        return failWith("cannot write " + utf8Path + ": " + errorText(rc));
    }
    headerWritten_ = true;
    alive_ = true;
    return true;
}

FfmpegEncoder::~FfmpegEncoder() {
    finish();
}

void FfmpegEncoder::discardOutput() {
    if (!fileOpen_) {
        return;
    }
    avio_closep(&format_->pb);
    fileOpen_ = false;
    // Only a file of our making is removed; a device such as /dev/full is left alone.
    if (isRegularFile(path_)) {
        ::unlink(path_.c_str());
    }
}

void FfmpegEncoder::fail(const std::string& what, int averror) {
    if (alive_) {
        lastError_ = what + ": " + errorText(averror);
    }
    alive_ = false;
}

bool FfmpegEncoder::write(const float* interleaved, std::size_t frames) {
    if (!alive_) {
        return false;
    }
    if (!interleaved || frames == 0) {
        return alive_;
    }
    if (!resampler_) {
        return feed(interleaved, frames);
    }
    const auto ch = static_cast<std::size_t>(channels_);
    while (frames > 0 && alive_) {
        const std::size_t n = std::min(frames, kStagingFrames);
        if (!resampleAndFeed(interleaved, n)) {
            return false;
        }
        interleaved += n * ch;
        frames -= n;
    }
    return alive_;
}

bool FfmpegEncoder::resampleAndFeed(const float* interleaved, std::size_t frames) {
    const int inFrames = static_cast<int>(frames);
    const int room = resampler_->maxOutputFrames(interleaved ? inFrames : 0) + 16;
    resampled_.resize(static_cast<std::size_t>(room) * static_cast<std::size_t>(channels_));
    const int done = resampler_->process(interleaved, inFrames, resampled_.data(), room);
    if (resampler_->failed()) {
        fail("cannot resample audio for " + path_, AVERROR_EXTERNAL);
        return false;
    }
    return feed(resampled_.data(), static_cast<std::size_t>(done));
}

bool FfmpegEncoder::feed(const float* interleaved, std::size_t frames) {
    const auto ch = static_cast<std::size_t>(channels_);
    while (frames > 0 && alive_) {
        const std::size_t n = std::min(frames, kStagingFrames);
        quantize(interleaved, n, channels_, codec_->sample_fmt, significantBits_,
                 stagingPlanes_.data());
        const int rc = av_audio_fifo_write(
            fifo_.get(), reinterpret_cast<void**>(stagingPlanes_.data()), static_cast<int>(n));
        if (rc < static_cast<int>(n)) {
            fail("cannot buffer audio for " + path_, rc < 0 ? rc : AVERROR(ENOMEM));
            break;
        }
        interleaved += n * ch;
        frames -= n;
        while (alive_ && av_audio_fifo_size(fifo_.get()) >= frameSize_) {
            encodeFromFifo(frameSize_);
        }
    }
    return alive_;
}

bool FfmpegEncoder::encodeFromFifo(int frames) {
    AVFrame* frame = frame_.get();
    int rc = av_frame_make_writable(frame);
    if (rc < 0) {
        fail("cannot encode " + path_, rc);
        return false;
    }
    frame->nb_samples = frameSize_;
    rc = av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->extended_data), frames);
    if (rc < frames) {
        fail("cannot encode " + path_, rc < 0 ? rc : AVERROR_BUG);
        return false;
    }
    if (frames < frameSize_ && padLastFrame_) {
        av_samples_set_silence(frame->extended_data, frames, frameSize_ - frames, channels_,
                               codec_->sample_fmt);
    } else {
        frame->nb_samples = frames;
    }
    frame->pts = samplesSent_;
    samplesSent_ += frames;
    return sendToCodec(frame);
}

bool FfmpegEncoder::sendToCodec(const AVFrame* frame) {
    int rc = avcodec_send_frame(codec_.get(), frame);
    if (rc < 0) {
        fail("cannot encode " + path_, rc);
        return false;
    }
    for (;;) {
        rc = avcodec_receive_packet(codec_.get(), packet_.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
            return true;
        }
        if (rc < 0) {
            fail("cannot encode " + path_, rc);
            return false;
        }
        av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        rc = av_interleaved_write_frame(format_.get(), packet_.get());
        if (rc < 0) {
            fail("cannot write " + path_, rc);
            return false;
        }
    }
}

bool FfmpegEncoder::finish() {
    if (finished_) {
        return result_;
    }
    finished_ = true;
    if (alive_ && resampler_) {
        resampleAndFeed(nullptr, 0);
    }
    if (alive_) {
        const int rest = av_audio_fifo_size(fifo_.get());
        if (rest > 0) {
            encodeFromFifo(rest);
        }
        if (alive_) {
            sendToCodec(nullptr);
        }
    }
    if (headerWritten_) {
        // Written even after a failure: it fixes the sizes in the header, so what reached the
        // file stays playable.
        const int rc = av_write_trailer(format_.get());
        if (rc < 0) {
            fail("cannot finish " + path_, rc);
        }
    }
    if (fileOpen_) {
        const int rc = avio_closep(&format_->pb);
        fileOpen_ = false;
        if (rc < 0) {
            fail("cannot close " + path_, rc);
        }
    }
    result_ = alive_;
    alive_ = false;
    return result_;
}

}  // namespace audiolib::ffmpeg

namespace audiolib {

std::unique_ptr<FileEncoder> FileEncoder::create(const std::string& utf8Path, EncodedFormat format,
                                                 int sampleRate, int channels, std::string* error) {
    ffmpeg::EncoderRecipe recipe;
    switch (format) {
        case EncodedFormat::Wav16:
            recipe.muxer = "wav";
            recipe.codec = "pcm_s16le";
            recipe.sampleFormat = AV_SAMPLE_FMT_S16;
            // Past 4 GiB a plain WAV header's sizes would wrap; RF64 carries 64-bit sizes and
            // is written only when needed, so shorter files stay plain WAV.
            recipe.muxerOptions = "rf64=auto";
            break;
        case EncodedFormat::Mp4Aac:
            recipe.muxer = "mp4";
            recipe.codec = "aac";
            // FFmpeg's generic default (128 kbit/s whatever the channel count) starves
            // multichannel audio; 64 kbit/s per channel is 128 for stereo.
            recipe.bitRate = 64000LL * std::clamp(channels, 1, 8);
            break;
        case EncodedFormat::M4aAlac:
            recipe.muxer = "ipod";
            recipe.codec = "alac";
            recipe.sampleFormat = AV_SAMPLE_FMT_S16P;
            break;
    }
    return ffmpeg::FfmpegEncoder::create(utf8Path, recipe, sampleRate, channels, error);
}

}  // namespace audiolib
