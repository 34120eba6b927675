// FileEncoder over libavformat/libavcodec for any container and encoder FFmpeg offers; the
// three export formats are recipes (see FileEncoder::create). Input of any block size is
// collected in a FIFO and handed to the codec in the frame size it asks for; a rate the codec
// does not offer is resampled to the nearest one above it.
// Not thread-safe: one feeding thread.
#ifndef TONVERA_AUDIOLIB_FFMPEG_FFMPEGENCODER_H
#define TONVERA_AUDIOLIB_FFMPEG_FFMPEGENCODER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audiolib/FileEncoder.h"
#include "audiolib/dsp/Resampler.h"
#include "audiolib/ffmpeg/FfmpegHolders.h"

namespace audiolib::ffmpeg {

struct EncoderRecipe {
    const char* muxer = nullptr;  // libavformat muxer name: "wav", "mp4", "ipod"...
    const char* codec = nullptr;  // libavcodec encoder name: "pcm_s16le", "aac", "alac"...
    // AV_SAMPLE_FMT_NONE: the codec's first format among float, s32, s16 (best precision first).
    AVSampleFormat sampleFormat = AV_SAMPLE_FMT_NONE;
    std::int64_t bitRate = 0;  // bits per second; 0 leaves the codec's default
    int significantBits = 0;   // e.g. 24 for 24-bit audio carried in s32; 0 = the format's own
    // Extra FFmpeg options as "key=value:key=value" (e.g. "write_xing=0"), or nullptr.
    const char* codecOptions = nullptr;
    const char* muxerOptions = nullptr;
};

class FfmpegEncoder final : public FileEncoder {
  public:
    static std::unique_ptr<FfmpegEncoder> create(const std::string& utf8Path,
                                                 const EncoderRecipe& recipe, int sampleRate,
                                                 int channels, std::string* error);
    ~FfmpegEncoder() override;

    bool write(const float* interleaved, std::size_t frames) override;
    bool finish() override;
    bool alive() const override { return alive_; }
    std::string lastError() const override { return lastError_; }

  private:
    FfmpegEncoder() = default;
    bool setUp(const std::string& utf8Path, const EncoderRecipe& recipe, int sampleRate,
               int channels, std::string* error);
    bool feed(const float* interleaved, std::size_t frames);
    // Through the resampler into feed(); interleaved == nullptr lets out its last frames.
    bool resampleAndFeed(const float* interleaved, std::size_t frames);
    bool encodeFromFifo(int frames);
    bool sendToCodec(const AVFrame* frame);
    void fail(const std::string& what, int averror);
    void discardOutput();

    std::string path_;
    OutputFormatPtr format_;
    CodecContextPtr codec_;
    AVStream* stream_ = nullptr;  // owned by format_
    PacketPtr packet_;
    FramePtr frame_;
    AudioFifoPtr fifo_;
    std::unique_ptr<Resampler> resampler_;  // only when the codec cannot take the rate
    std::vector<float> resampled_;
    std::vector<std::vector<std::uint8_t>> staging_;  // one plane per channel, or one
    std::vector<std::uint8_t*> stagingPlanes_;
    int channels_ = 0;
    int frameSize_ = 0;
    int significantBits_ = 0;
    bool padLastFrame_ = false;
    std::int64_t samplesSent_ = 0;
    bool fileOpen_ = false;
    bool headerWritten_ = false;
    bool alive_ = false;
    bool finished_ = false;
    bool result_ = false;
    std::string lastError_;
};

}  // namespace audiolib::ffmpeg

#endif
