// One RAII holder per FFmpeg object, plus the two helpers every FFmpeg user here needs: turning an
// FFmpeg error code into text, and sending FFmpeg's own warnings to our log.
#ifndef TONVERA_AUDIOLIB_FFMPEG_FFMPEGHOLDERS_H
#define TONVERA_AUDIOLIB_FFMPEG_FFMPEGHOLDERS_H

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

namespace audiolib::ffmpeg {

struct InputFormatCloser {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
// An output context owns its AVIOContext only once avio_open succeeded; closing it is the
// encoder's job (it must know whether the trailer was written), so this frees the context alone.
struct OutputFormatFreer {
    void operator()(AVFormatContext* ctx) const { avformat_free_context(ctx); }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct PacketFreer {
    void operator()(AVPacket* pkt) const { av_packet_free(&pkt); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct SwrFreer {
    void operator()(SwrContext* swr) const { swr_free(&swr); }
};
struct DictionaryFreer {
    void operator()(AVDictionary* dict) const { av_dict_free(&dict); }
};
struct AudioFifoFreer {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatCloser>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatFreer>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFreer>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFreer>;
using DictionaryPtr = std::unique_ptr<AVDictionary, DictionaryFreer>;

// av_strerror's text for an FFmpeg return code.
std::string errorText(int averror);

// FFmpeg's warnings and errors go where the audio layer's diagnostics go (the program's log),
// bursts cut short, instead of to stderr. Safe to call from any thread, any number of times.
void routeFfmpegLogging();

}  // namespace audiolib::ffmpeg

#endif
