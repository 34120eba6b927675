#include "audiolib/ffmpeg/FfmpegInput.h"

namespace audiolib::ffmpeg {

namespace {

// Damaged packets in a row tolerated before the stream is taken to end there: a damaged stretch
// in a file is skipped (the positions of what follows come from its timestamps), while a file
// that is garbage from some point on ends without decoding every byte of the garbage.
constexpr int kMaxConsecutiveErrors = 64;

// The demuxers of the audio files and of the audio/video containers the player opens. Playlist
// and reference formats (concat, HLS, DASH, image sequences...) name other files or addresses to
// read; a file that merely claims to be music must never make FFmpeg open those.
constexpr const char* kFormatWhitelist =
    "wav,w64,aiff,au,caf,flac,mp3,ogg,mov,aac,loas,ac3,eac3,dts,dtshd,truehd,mlp,matroska,asf,"
    "avi,wv,ape,tta,tak,mpc,mpc8,amr,amrnb,amrwb,dsf,xwma,voc,mpeg,mpegts,flv,rm,shn,oma";

void setError(std::string* error, std::string text) {
    if (error) {
        *error = std::move(text);
    }
}

}  // namespace

std::unique_ptr<FfmpegInput> FfmpegInput::open(const std::string& utf8Path, std::string* error) {
    auto file = ReadableFile::open(utf8Path, error);
    return file ? open(std::move(file), error) : nullptr;
}

std::unique_ptr<FfmpegInput> FfmpegInput::open(std::shared_ptr<const ReadableFile> file,
                                               std::string* error) {
    routeFfmpegLogging();
    if (!file) {
        setError(error, "no file to read");
        return nullptr;
    }
    const std::string& utf8Path = file->path();
    if (file->size() == 0) {
        setError(error, utf8Path + " is empty");
        return nullptr;
    }
    std::unique_ptr<FfmpegInput> input(new FfmpegInput);
    // FFmpeg reads the descriptor that was checked to be a regular file, never the path (which
    // may meanwhile name a FIFO); "file:" in the name only keeps a name such as "http:song.mp3"
    // from looking like a protocol in messages. The protocol whitelist keeps whatever is opened
    // from reaching beyond local files, the format whitelist keeps a playlist named like music
    // from opening other local files.
    input->io_ = FileIo::create(std::move(file));
    AVFormatContext* rawFormat = avformat_alloc_context();
    if (!input->io_ || !rawFormat) {
        avformat_free_context(rawFormat);
        setError(error, "out of memory opening " + utf8Path);
        return nullptr;
    }
    rawFormat->pb = input->io_->context();
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set(&options, "format_whitelist", kFormatWhitelist, 0);
    const std::string url = "file:" + utf8Path;
    int rc = avformat_open_input(&rawFormat, url.c_str(), nullptr, &options);
    DictionaryPtr unused(options);
    if (rc < 0) {
        // avformat_open_input has freed the context on failure.
        setError(error, "cannot read " + utf8Path + " as audio: " + errorText(rc));
        return nullptr;
    }
    input->format_.reset(rawFormat);

    rc = avformat_find_stream_info(rawFormat, nullptr);
    if (rc < 0) {
        setError(error, "cannot read " + utf8Path + " as audio: " + errorText(rc));
        return nullptr;
    }
    const AVCodec* decoder = nullptr;
    rc = av_find_best_stream(rawFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (rc == AVERROR_STREAM_NOT_FOUND) {
        setError(error, utf8Path + " has no audio track");
        return nullptr;
    }
    if (rc < 0 || !decoder) {
        setError(error, "no decoder for the audio of " + utf8Path + ": " + errorText(rc));
        return nullptr;
    }
    input->streamIndex_ = rc;
    for (unsigned i = 0; i < rawFormat->nb_streams; ++i) {
        rawFormat->streams[i]->discard =
            static_cast<int>(i) == input->streamIndex_ ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    AVStream* stream = rawFormat->streams[input->streamIndex_];

    input->codec_.reset(avcodec_alloc_context3(decoder));
    input->packet_.reset(av_packet_alloc());
    input->frame_.reset(av_frame_alloc());
    if (!input->codec_ || !input->packet_ || !input->frame_) {
        setError(error, "out of memory opening " + utf8Path);
        return nullptr;
    }
    rc = avcodec_parameters_to_context(input->codec_.get(), stream->codecpar);
    if (rc >= 0) {
        // Lets libavcodec move frame timestamps along when it trims encoder delay.
        input->codec_->pkt_timebase = stream->time_base;
        rc = avcodec_open2(input->codec_.get(), decoder, nullptr);
    }
    if (rc < 0) {
        setError(error, "cannot decode the audio of " + utf8Path + ": " + errorText(rc));
        return nullptr;
    }
    if (input->codec_->sample_rate <= 0 || input->codec_->ch_layout.nb_channels <= 0) {
        setError(error, utf8Path + " gives no sample rate or channel count");
        return nullptr;
    }
    input->rate_ = input->codec_->sample_rate;
    return input;
}

const AVFrame* FfmpegInput::nextFrame() {
    while (!finished_) {
        const int rc = avcodec_receive_frame(codec_.get(), frame_.get());
        if (rc >= 0) {
            if (frame_->nb_samples <= 0) {
                continue;
            }
            if (!rateLocked_) {
                // HE-AAC reports its core rate until the first frame shows the doubled one.
                rate_ = frame_->sample_rate > 0 ? frame_->sample_rate : rate_;
                rateLocked_ = true;
            } else if (frame_->sample_rate != 0 && frame_->sample_rate != rate_) {
                // A stream that changes its rate midway cannot be delivered at one rate; it
                // ends there.
                finished_ = true;
                break;
            }
            consecutiveErrors_ = 0;
            return frame_.get();
        }
        if (rc == AVERROR_EOF) {
            finished_ = true;
            break;
        }
        if (rc != AVERROR(EAGAIN)) {
            if (!noteDecodeError()) {
                break;
            }
            continue;
        }
        if (draining_) {
            finished_ = true;
            break;
        }
        if (!readAndSendPacket()) {
            break;
        }
    }
    return nullptr;
}

bool FfmpegInput::readAndSendPacket() {
    AVPacket* pkt = packet_.get();
    for (;;) {
        const int rc = av_read_frame(format_.get(), pkt);
        if (rc < 0) {
            // End of file or a read error: what the decoder still holds is delivered first.
            draining_ = true;
            avcodec_send_packet(codec_.get(), nullptr);
            return true;
        }
        if (pkt->stream_index == streamIndex_) {
            break;
        }
        av_packet_unref(pkt);
    }
    if (timestampIndex_) {
        const auto pts = timestampIndex_->ptsAt(pkt->pos);
        pkt->pts = pts ? *pts : AV_NOPTS_VALUE;
        pkt->dts = pkt->pts;
    }
    if (midStream_) {
        // Trimming the encoder delay belongs to the start of the file; end padding is cut by
        // the known length. A demuxer guessing timestamps after a seek must not trim here.
        av_packet_free_side_data(pkt);
    }
    if (observer_) {
        observer_(*pkt);
    }
    const int rc = avcodec_send_packet(codec_.get(), pkt);
    av_packet_unref(pkt);
    if (rc < 0 && rc != AVERROR(EAGAIN)) {
        return noteDecodeError();
    }
    return true;
}

bool FfmpegInput::skimPacket() {
    AVPacket* pkt = packet_.get();
    for (;;) {
        if (av_read_frame(format_.get(), pkt) < 0) {
            finished_ = true;
            return false;
        }
        if (pkt->stream_index == streamIndex_) {
            break;
        }
        av_packet_unref(pkt);
    }
    if (observer_) {
        observer_(*pkt);
    }
    av_packet_unref(pkt);
    return true;
}

bool FfmpegInput::noteDecodeError() {
    if (++consecutiveErrors_ > kMaxConsecutiveErrors) {
        finished_ = true;
        return false;
    }
    return true;
}

std::optional<std::int64_t> FfmpegInput::frameStartSamples(const AVFrame& frame) const {
    std::int64_t ts = frame.pts;
    if (ts == AV_NOPTS_VALUE) {
        ts = frame.pkt_dts;
    }
    if (ts == AV_NOPTS_VALUE) {
        return std::nullopt;
    }
    return av_rescale_q(ts, stream().time_base, AVRational{1, rate_});
}

bool FfmpegInput::seekToTimestamp(std::int64_t samples) {
    const std::int64_t ts = av_rescale_q(samples, AVRational{1, rate_}, stream().time_base);
    if (av_seek_frame(format_.get(), streamIndex_, ts, AVSEEK_FLAG_BACKWARD) < 0) {
        return false;
    }
    timestampIndex_ = nullptr;
    afterReposition();
    return true;
}

bool FfmpegInput::seekToByte(std::int64_t pos, const PacketIndex* index) {
    if (av_seek_frame(format_.get(), streamIndex_, pos, AVSEEK_FLAG_BYTE) < 0) {
        return false;
    }
    timestampIndex_ = index;
    afterReposition();
    return true;
}

void FfmpegInput::afterReposition() {
    avcodec_flush_buffers(codec_.get());
    av_frame_unref(frame_.get());
    draining_ = false;
    finished_ = false;
    midStream_ = true;
    consecutiveErrors_ = 0;
}

}  // namespace audiolib::ffmpeg
