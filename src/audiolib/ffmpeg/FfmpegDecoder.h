// AudioDecoder over FFmpeg. Opening learns the exact length the cheapest way the file allows
// (FfmpegDecoderLength.cpp):
// - PCM in WAV/AIFF/W64/AU: the header's data size, bounded by the file's size;
// - FLAC, MP4/MOV (edit lists included) and Ogg: the length the container states, believed only
//   as far as decoding the file's last frames bears it out (a cut copy plays what is there);
// - MP3 with a Xing/LAME header that the file's size bears out: its frame count, encoder delay
//   and padding; where each packet starts (PacketIndex) is read on a LengthScan thread, and the
//   first seek that needs it waits for it;
// - other raw MPEG audio (MP3, MP2, MP1), ADTS AAC, AC-3, DTS: every packet's header is read
//   without decoding (the demuxer's parser), which gives the length, the delay and padding the
//   demuxer trims, and where each packet starts;
// - anything else is decoded once, recording where each frame lies (FrameIndex): before open
//   returns, or with Measure::InBackground on a LengthScan thread while the decoder is already
//   read (positions then follow what decodes, and a seek decodes from the start, until the
//   scan's tables are taken over at the next read or seek).
// In all but the last case positions follow the container's sample-exact timestamps ("timeline"
// reading): a packet that fails to decode plays as silence of its length instead of shifting
// everything after it, so a seek still lands where a straight read is. In the last case
// positions follow what actually decodes.
// Reading starts over from a fresh FfmpegInput; a seek lets the container jump to a little before
// the target and places the frames that follow by timestamps (or those tables).
// Not thread-safe, except lengthFrames() and lengthFinal(), which any thread may call.
#ifndef TONVERA_AUDIOLIB_FFMPEG_FFMPEGDECODER_H
#define TONVERA_AUDIOLIB_FFMPEG_FFMPEGDECODER_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audiolib/AudioDecoder.h"
#include "audiolib/ffmpeg/FfmpegInput.h"
#include "audiolib/ffmpeg/FloatConverter.h"
#include "audiolib/ffmpeg/FrameIndex.h"
#include "audiolib/ffmpeg/LengthScan.h"
#include "audiolib/ffmpeg/PacketIndex.h"

namespace audiolib::ffmpeg {

class FfmpegDecoder final : public AudioDecoder {
  public:
    static std::unique_ptr<FfmpegDecoder> open(std::shared_ptr<const ReadableFile> file,
                                               std::string* error, Measure measure = Measure::Now);
    static std::unique_ptr<FfmpegDecoder> open(const std::string& utf8Path, std::string* error,
                                               Measure measure = Measure::Now);
    ~FfmpegDecoder() override;

    int sampleRate() const override { return sampleRate_; }
    int channels() const override { return channels_; }
    std::uint64_t channelMask() const override { return converter_->channelMask(); }
    int sourceBits() const override { return sourceBits_; }
    std::uint64_t lengthFrames() const override {
        return reported_.load(std::memory_order_acquire);
    }
    bool lengthFinal() const override {
        return !scan_ || !scan_->givesLength() || scan_->finished();
    }
    std::size_t read(float* interleaved, std::size_t frames) override;
    bool seek(std::uint64_t frame) override;
    std::uint64_t positionFrames() const override { return position_; }

    // Seeks that had to decode from the start of the file (a slow path kept for the start of
    // the file and for containers that cannot seek); for tests and diagnostics.
    std::uint64_t seeksFromStart() const { return seeksFromStart_; }

  private:
    FfmpegDecoder(std::shared_ptr<const ReadableFile> file, std::unique_ptr<FfmpegInput> input);

    // ---- learning the length (FfmpegDecoderLength.cpp) ----
    bool measure(std::string* error, Measure measure);
    std::optional<std::uint64_t> pcmLength() const;
    std::optional<std::uint64_t> statedLength();
    std::optional<std::int64_t> tailEnd(std::uint64_t claimed);
    struct PacketTally;
    std::optional<std::uint64_t> walkedLength(const PacketTally& tally, std::uint64_t cap);
    std::optional<std::uint64_t> xingLength() const;
    std::uint64_t scannedLength(const AVFrame* frame, std::uint64_t cap);
    std::uint64_t declaredMp4Length() const;
    std::uint64_t estimatedLength() const;
    std::uint64_t lengthCap() const;
    void adoptScan();
    void setLength(std::uint64_t frames);

    // ---- reading and seeking ----
    bool rewind();
    bool refill();
    enum class Landing { Done, TooLate, Failed };
    Landing seekNear(std::uint64_t target, std::uint64_t lead, std::uint64_t* landedAt);
    bool seekByRewinding(std::uint64_t target);
    std::optional<std::uint64_t> placeOf(const AVFrame& frame) const;
    std::optional<std::int64_t> timelinePlace(const AVFrame& frame) const;
    // Where a frame goes when frames are placed by their timestamps, `expected` being where the
    // one before it ended.
    std::int64_t placeFor(const AVFrame& frame, std::int64_t expected) const;
    // Decodes on to the target; false when the frames end first, with *reached (if given) the
    // position where they ended.
    bool decodeUpTo(const AVFrame* frame, std::uint64_t framePosition, std::uint64_t target,
                    std::uint64_t* reached = nullptr);
    bool convertIntoPending(const AVFrame& frame, std::size_t skipFrames);
    enum class Placed { Used, Before, Failed };
    Placed placeIntoPending(const AVFrame& frame, std::int64_t place);
    void silenceIntoPending(std::uint64_t frames);

    std::shared_ptr<const ReadableFile> file_;  // every rewind reads the same descriptor
    std::string path_;
    std::unique_ptr<FfmpegInput> input_;
    std::unique_ptr<FloatConverter> converter_;  // made once the first frame shows the format
    int sampleRate_ = 0;
    int channels_ = 0;
    int sourceBits_ = 0;
    bool useIndex_ = false;
    bool hasTimestamps_ = false;
    bool timeline_ = false;   // positions follow timestamps (see above)
    bool exhausted_ = false;  // the input gave its last frame; the rest is silence
    bool oggTimestamps_ = false;
    std::uint64_t preroll_ = 0;
    std::int64_t firstPacketPos_ = -1;  // byte offset of the file's first audio packet
    std::int64_t origin_ = 0;           // stream time (samples) of the first delivered frame
    std::uint64_t length_ = 0;          // the reader's; reported_ is what other threads see
    std::atomic<std::uint64_t> reported_{0};
    bool provisional_ = false;   // length_ is an estimate until the scan is adopted
    bool indexPending_ = false;  // index_ comes from the scan (a Xing header gave the length)
    std::unique_ptr<LengthScan> scan_;  // set at open only; kept until the decoder goes
    std::uint64_t position_ = 0;
    std::uint64_t seeksFromStart_ = 0;
    PacketIndex index_;
    FrameIndex frameIndex_;
    std::vector<float> pending_;     // converted frames not yet handed out
    std::size_t pendingOffset_ = 0;  // in floats
};

}  // namespace audiolib::ffmpeg

#endif
