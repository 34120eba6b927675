// A stream that changes the tempo, pitch and playback rate of a decoding source through
// SoundTouch. Its frames keep the source's channel count and sample rate; its positions and
// length are those of the source (source time), whatever the tempo.
#ifndef TONVERA_AUDIOLIB_STREAM_TEMPOSTREAM_H
#define TONVERA_AUDIOLIB_STREAM_TEMPOSTREAM_H

#include <SoundTouch.h>

#include <atomic>
#include <memory>
#include <vector>

#include "audiolib/stream/SourceStream.h"
#include "audiolib/stream/Stream.h"

namespace audiolib {

class TempoStream : public Stream {
  public:
    static constexpr float kMinTempo = -95.0F;
    static constexpr float kMaxTempo = 5000.0F;
    static constexpr float kMaxPitch = 60.0F;

    // The source must be a decoding stream that the caller has claimed for this tempo stream.
    TempoStream(std::uint32_t flags, std::shared_ptr<SourceStream> source);
    ~TempoStream() override;

    ObjectKind kind() const override { return ObjectKind::TempoStream; }
    const std::shared_ptr<SourceStream>& source() const { return source_; }
    bool freesSource() const;

    std::uint64_t lengthFrames() const override { return source_->lengthFrames(); }
    std::size_t render(float* out, std::size_t frames) override;
    bool ended() const override;
    double position() const override;
    bool seek(std::uint64_t frame) override;
    double sourceFramesPerFrame() const override { return ratio_; }
    int playbackInputRate() const override { return rate(); }
    std::size_t pendingFrames() const override { return processor_.numSamples(); }

    int setAttribute(std::uint32_t attribute, float value) override;
    int getAttribute(std::uint32_t attribute, float* value) const override;
    // How much faster than source time the output runs: tempo factor times rate factor. Read
    // from the attributes, so it is current even before the next block is rendered.
    double rateRatio() const;

  private:
    void applySettings();
    std::size_t pullSource(float* out, std::size_t frames);
    void advance(std::size_t outputFrames);

    std::shared_ptr<SourceStream> source_;
    soundtouch::SoundTouch processor_;
    std::atomic<float> tempo_{0.0F};
    std::atomic<float> pitch_{0.0F};
    std::uint32_t appliedVersion_;
    double ratio_ = 1.0;
    std::vector<float> input_;
    bool flushed_ = false;
    bool ended_ = false;
    // Source frames handed to SoundTouch and source frame of the next output frame, both
    // counted without wrapping at a loop so that a loop needs no special case in between.
    double fed_ = 0.0;
    double outputPosition_ = 0.0;
};

}  // namespace audiolib

#endif
