// A stream over one audio file, decoded by AudioDecoder at the file's own rate and channel count.
#ifndef TONVERA_AUDIOLIB_STREAM_SOURCESTREAM_H
#define TONVERA_AUDIOLIB_STREAM_SOURCESTREAM_H

#include <atomic>
#include <memory>
#include <string>

#include "audiolib/AudioDecoder.h"
#include "audiolib/stream/Stream.h"

namespace audiolib {

class SourceStream : public Stream {
  public:
    static constexpr int kMaxChannels = 8;

    // nullptr on failure, with *errorCode set to a BASS_ERROR_* value (FILEOPEN when the file
    // cannot be read at all, FILEFORM when it is not audio FFmpeg understands, FORMAT for a
    // channel count or rate we cannot play) and *reason to the decoder's explanation.
    // BASS_STREAM_PRESCAN in the flags measures the length before returning, whatever it costs;
    // without it a file that needs decoding to be measured is measured in the background.
    static std::shared_ptr<SourceStream> open(std::weak_ptr<Device> device,
                                              std::uint64_t deviceSerial,
                                              const std::string& utf8Path, std::uint32_t flags,
                                              int* errorCode, std::string* reason);

    SourceStream(std::weak_ptr<Device> device, std::uint64_t deviceSerial, std::uint32_t flags,
                 std::unique_ptr<AudioDecoder> decoder, std::string filename);

    ObjectKind kind() const override { return ObjectKind::SourceStream; }

    std::uint64_t lengthFrames() const override { return decoder_->lengthFrames(); }
    std::size_t render(float* out, std::size_t frames) override;
    bool ended() const override;
    double position() const override;
    bool seek(std::uint64_t frame) override;
    double sourceFramesPerFrame() const override { return 1.0; }
    int playbackInputRate() const override;

    // A tempo stream takes the source over once; a second claim fails.
    bool claim() { return !owned_.exchange(true, std::memory_order_acq_rel); }
    bool owned() const { return owned_.load(std::memory_order_acquire); }
    // Its tempo stream is gone without taking the source along.
    void unclaim() { owned_.store(false, std::memory_order_release); }

  private:
    std::unique_ptr<AudioDecoder> decoder_;
    bool ended_ = false;
    std::atomic<bool> owned_{false};
};

}  // namespace audiolib

#endif
