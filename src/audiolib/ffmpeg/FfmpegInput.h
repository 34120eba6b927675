// One pass over an audio file: the demuxer and the decoder of its best audio stream (the first
// audio track of a video file). It hands out decoded frames in file order; rewinding is done by
// opening a new FfmpegInput, repositioning by seekToTimestamp / seekToByte.
// Not thread-safe.
#ifndef TONVERA_AUDIOLIB_FFMPEG_FFMPEGINPUT_H
#define TONVERA_AUDIOLIB_FFMPEG_FFMPEGINPUT_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "audiolib/core/ReadableFile.h"
#include "audiolib/ffmpeg/FfmpegHolders.h"
#include "audiolib/ffmpeg/FileIo.h"
#include "audiolib/ffmpeg/PacketIndex.h"

namespace audiolib::ffmpeg {

class FfmpegInput {
  public:
    // nullptr on failure, *error then says why in words a user can act on. The file is read
    // through its descriptor only.
    static std::unique_ptr<FfmpegInput> open(std::shared_ptr<const ReadableFile> file,
                                             std::string* error);
    // The same for a path, opened with ReadableFile::open.
    static std::unique_ptr<FfmpegInput> open(const std::string& utf8Path, std::string* error);

    // The next decoded frame with at least one sample, valid until the next call; nullptr at the
    // end of the stream. Damaged packets are skipped; a long run of them ends the stream.
    const AVFrame* nextFrame();

    // Where the frame starts, in samples of stream time; nullopt when the file gives no timestamp.
    std::optional<std::int64_t> frameStartSamples(const AVFrame& frame) const;

    // Repositions the demuxer at or before the timestamp (samples of stream time) and flushes
    // the decoder. The container's own seeking; exact where the container has timestamps.
    bool seekToTimestamp(std::int64_t samples);
    // Repositions at the packet that starts at this byte offset and takes every following
    // packet's timestamp from the index (the index must outlive the reading).
    bool seekToByte(std::int64_t pos, const PacketIndex* index);

    // Reads the next audio packet without decoding it, for the observer only; false at the end
    // of the file (or at a read error). Decoding after this is not meaningful: rewind instead.
    bool skimPacket();

    // Called for every audio packet before it is decoded or skimmed (used to build a
    // PacketIndex and to measure raw streams).
    void setPacketObserver(std::function<void(const AVPacket&)> observer) {
        observer_ = std::move(observer);
    }

    // The rate frames come at: the first frame's unless locked before it.
    int sampleRate() const { return rate_; }
    // Frames at any other rate end the stream.
    void lockSampleRate(int rate) {
        rate_ = rate;
        rateLocked_ = true;
    }
    const AVCodecContext& codec() const { return *codec_; }
    const AVStream& stream() const { return *format_->streams[streamIndex_]; }
    const AVFormatContext& format() const { return *format_; }

  private:
    FfmpegInput() = default;
    bool readAndSendPacket();
    void afterReposition();
    bool noteDecodeError();

    std::unique_ptr<FileIo> io_;  // declared first: it must outlive format_
    InputFormatPtr format_;
    CodecContextPtr codec_;
    PacketPtr packet_;
    FramePtr frame_;
    int streamIndex_ = -1;
    int rate_ = 0;
    bool rateLocked_ = false;
    bool draining_ = false;
    bool finished_ = false;
    bool midStream_ = false;  // repositioned away from the file's start
    int consecutiveErrors_ = 0;
    const PacketIndex* timestampIndex_ = nullptr;
    std::function<void(const AVPacket&)> observer_;
};

}  // namespace audiolib::ffmpeg

#endif
