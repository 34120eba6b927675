// AudioDecoder over FFmpeg. At open the file is read once to learn its exact length wherever the
// container may lie about it (everything but plain PCM), recording where each decoded frame
// lies (FrameIndex) and, for raw streams, where each packet starts (PacketIndex). Reading then
// starts over from a fresh FfmpegInput; a seek lets the container jump to a little before the
// target and places the frames that follow by those tables.
// Not thread-safe.
#ifndef TONVERA_AUDIOLIB_FFMPEG_FFMPEGDECODER_H
#define TONVERA_AUDIOLIB_FFMPEG_FFMPEGDECODER_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audiolib/AudioDecoder.h"
#include "audiolib/ffmpeg/FfmpegInput.h"
#include "audiolib/ffmpeg/FloatConverter.h"
#include "audiolib/ffmpeg/FrameIndex.h"
#include "audiolib/ffmpeg/PacketIndex.h"

namespace audiolib::ffmpeg {

class FfmpegDecoder final : public AudioDecoder {
  public:
    static std::unique_ptr<FfmpegDecoder> open(std::shared_ptr<const ReadableFile> file,
                                               std::string* error);
    static std::unique_ptr<FfmpegDecoder> open(const std::string& utf8Path, std::string* error);

    int sampleRate() const override { return sampleRate_; }
    int channels() const override { return channels_; }
    int sourceBits() const override { return sourceBits_; }
    std::uint64_t lengthFrames() const override { return length_; }
    std::size_t read(float* interleaved, std::size_t frames) override;
    bool seek(std::uint64_t frame) override;
    std::uint64_t positionFrames() const override { return position_; }

    // Seeks that had to decode from the start of the file (a slow path kept for the start of
    // the file and for containers that cannot seek); for tests and diagnostics.
    std::uint64_t seeksFromStart() const { return seeksFromStart_; }

  private:
    FfmpegDecoder(std::shared_ptr<const ReadableFile> file, std::unique_ptr<FfmpegInput> input);
    bool measure(std::string* error);
    bool trustedPcmLength(std::uint64_t* frames) const;
    std::uint64_t declaredMp4Length() const;
    bool rewind();
    enum class Landing { Done, TooLate, Failed };
    Landing seekNear(std::uint64_t target, std::uint64_t lead, std::uint64_t* landedAt);
    bool seekByRewinding(std::uint64_t target);
    std::optional<std::uint64_t> placeOf(const AVFrame& frame) const;
    // Decodes on to the target; false when the frames end first, with *reached (if given) the
    // position where they ended.
    bool decodeUpTo(const AVFrame* frame, std::uint64_t framePosition, std::uint64_t target,
                    std::uint64_t* reached = nullptr);
    bool convertIntoPending(const AVFrame& frame, std::size_t skipFrames);

    std::shared_ptr<const ReadableFile> file_;  // every rewind reads the same descriptor
    std::string path_;
    std::unique_ptr<FfmpegInput> input_;
    std::unique_ptr<FloatConverter> converter_;  // made once the first frame shows the format
    int sampleRate_ = 0;
    int channels_ = 0;
    int sourceBits_ = 0;
    bool useIndex_ = false;
    bool hasTimestamps_ = false;
    std::uint64_t preroll_ = 0;
    std::int64_t firstPacketPos_ = -1;  // byte offset of the file's first audio packet
    std::int64_t origin_ = 0;           // stream time (samples) of the first delivered frame
    std::uint64_t length_ = 0;
    std::uint64_t position_ = 0;
    std::uint64_t seeksFromStart_ = 0;
    PacketIndex index_;
    FrameIndex frameIndex_;
    std::vector<float> pending_;     // converted frames not yet handed out
    std::size_t pendingOffset_ = 0;  // in floats
};

}  // namespace audiolib::ffmpeg

#endif
