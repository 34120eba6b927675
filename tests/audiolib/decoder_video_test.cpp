// A video file opened as music: the decoder takes its audio track and ignores the picture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include "audiolib/AudioDecoder.h"
#include "audiolib/ffmpeg/FfmpegHolders.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

using namespace audiolib::ffmpeg;

// Writes an MP4 whose first stream is MPEG-4 video (grey 64x48 frames at 10 fps) and whose
// second is AAC audio of the given mono signal (none when the signal is empty); false when any
// step fails. The video lasts as long as the signal, or 1 s without one.
class VideoWithAudioWriter {
  public:
    bool write(const std::string& path, const std::vector<float>& mono, int rate) {
        routeFfmpegLogging();
        AVFormatContext* raw = nullptr;
        if (avformat_alloc_output_context2(&raw, nullptr, "mp4", path.c_str()) < 0) {
            return false;
        }
        format_.reset(raw);
        const bool withAudio = !mono.empty();
        if (!openVideo() || (withAudio && !openAudio(rate)) ||
            avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) {
            return false;
        }
        bool ok = avformat_write_header(raw, nullptr) >= 0;
        const int frames = static_cast<int>(mono.size());
        const int videoFrames = withAudio ? frames / (rate / 10) + 1 : 10;
        int audioDone = 0;
        for (int v = 0; ok && v < videoFrames; ++v) {
            ok = encodeVideoFrame(v);
            if (!withAudio) {
                continue;
            }
            // Audio up to the time of this picture keeps the two streams interleaved.
            const int audioUntil = std::min(frames, (v + 1) * (rate / 10));
            while (ok && audioDone + audio_->frame_size <= audioUntil) {
                ok = encodeAudioFrame(mono.data() + audioDone, audio_->frame_size, audioDone);
                audioDone += audio_->frame_size;
            }
        }
        if (ok && audioDone < frames) {
            ok = encodeAudioFrame(mono.data() + audioDone, frames - audioDone, audioDone);
        }
        ok = ok && send(video_.get(), videoStream_, nullptr) &&
             (!withAudio || send(audio_.get(), audioStream_, nullptr));
        ok = av_write_trailer(raw) >= 0 && ok;
        avio_closep(&raw->pb);
        return ok;
    }

  private:
    bool openVideo() {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
        videoStream_ = avformat_new_stream(format_.get(), nullptr);
        if (!codec || !videoStream_) {
            return false;
        }
        video_.reset(avcodec_alloc_context3(codec));
        video_->width = 64;
        video_->height = 48;
        video_->pix_fmt = AV_PIX_FMT_YUV420P;
        video_->time_base = {1, 10};
        video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        return avcodec_open2(video_.get(), codec, nullptr) >= 0 &&
               avcodec_parameters_from_context(videoStream_->codecpar, video_.get()) >= 0 &&
               (videoStream_->time_base = video_->time_base, true);
    }

    bool openAudio(int rate) {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        audioStream_ = avformat_new_stream(format_.get(), nullptr);
        if (!codec || !audioStream_) {
            return false;
        }
        audio_.reset(avcodec_alloc_context3(codec));
        audio_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        audio_->sample_rate = rate;
        av_channel_layout_default(&audio_->ch_layout, 1);
        audio_->time_base = {1, rate};
        audio_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        return avcodec_open2(audio_.get(), codec, nullptr) >= 0 &&
               avcodec_parameters_from_context(audioStream_->codecpar, audio_.get()) >= 0 &&
               (audioStream_->time_base = audio_->time_base, true);
    }

    bool encodeVideoFrame(int index) {
        FramePtr frame(av_frame_alloc());
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = 64;
        frame->height = 48;
        if (av_frame_get_buffer(frame.get(), 0) < 0) {
            return false;
        }
        for (int plane = 0; plane < 3; ++plane) {
            const int rows = plane == 0 ? 48 : 24;
            for (int y = 0; y < rows; ++y) {
                std::fill_n(frame->data[plane] + y * frame->linesize[plane], plane == 0 ? 64 : 32,
                            static_cast<std::uint8_t>(plane == 0 ? index * 9 : 128));
            }
        }
        frame->pts = index;
        return send(video_.get(), videoStream_, frame.get());
    }

    bool encodeAudioFrame(const float* samples, int count, int pts) {
        FramePtr frame(av_frame_alloc());
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = audio_->sample_rate;
        frame->nb_samples = count;
        av_channel_layout_copy(&frame->ch_layout, &audio_->ch_layout);
        if (av_frame_get_buffer(frame.get(), 0) < 0) {
            return false;
        }
        std::copy_n(samples, count, reinterpret_cast<float*>(frame->data[0]));
        frame->pts = pts;
        return send(audio_.get(), audioStream_, frame.get());
    }

    bool send(AVCodecContext* codec, AVStream* stream, const AVFrame* frame) {
        if (avcodec_send_frame(codec, frame) < 0) {
            return false;
        }
        PacketPtr packet(av_packet_alloc());
        for (;;) {
            const int rc = avcodec_receive_packet(codec, packet.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) {
                return true;
            }
            if (rc < 0) {
                return false;
            }
            av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format_.get(), packet.get()) < 0) {
                return false;
            }
        }
    }

    OutputFormatPtr format_;
    CodecContextPtr video_;
    CodecContextPtr audio_;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
};

TEST(DecoderVideo, VideoFileDecodesItsAudioTrack) {
    testsupport::TempDir dir;
    const std::string path = dir.file("clip.mp4");
    const auto tone = testsupport::sine(440.0, 2.0, 44100, 1, 0.5f);
    ASSERT_TRUE(VideoWithAudioWriter().write(path, tone, 44100));

    std::string error;
    auto decoder = audiolib::AudioDecoder::open(path, &error);
    ASSERT_TRUE(decoder) << error;
    EXPECT_EQ(decoder->sampleRate(), 44100);
    EXPECT_EQ(decoder->channels(), 1);
    EXPECT_EQ(decoder->lengthFrames(), tone.size());
    std::vector<float> decoded;
    ASSERT_TRUE(testsupport::decodeFile(path, &decoded, nullptr, nullptr, &error)) << error;
    ASSERT_EQ(decoded.size(), tone.size());
    EXPECT_NEAR(testsupport::dominantFrequency(decoded, 44100), 440.0, 0.5);

    // Seeking skips pictures too.
    const std::uint64_t target = 60000;
    ASSERT_TRUE(decoder->seek(target));
    std::vector<float> got(512);
    ASSERT_EQ(decoder->read(got.data(), 512), 512u);
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_NEAR(got[i], decoded[target + i], 1e-4) << i;
    }
}

TEST(DecoderVideo, VideoWithoutSoundIsRefused) {
    testsupport::TempDir dir;
    const std::string path = dir.file("silent-film.mp4");
    ASSERT_TRUE(VideoWithAudioWriter().write(path, {}, 44100));
    std::string error;
    EXPECT_EQ(audiolib::AudioDecoder::open(path, &error), nullptr);
    EXPECT_NE(error.find("no audio"), std::string::npos) << error;
}

}  // namespace
