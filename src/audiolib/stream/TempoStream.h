// A stream that changes the tempo, pitch and playback rate of a decoding source through a
// stretch engine (Rubber Band by default, SoundTouch with TONVERA_FX_TEMPO_LIGHT), with a
// low-pass in front of it while the pitch goes up (so nothing aliases) and a peak limiter after
// it that keeps the stream's gain and volume from driving it beyond full scale. Its
// frames keep the source's channel count and sample rate; its positions and length are those of
// the source (source time), whatever the tempo.
//
// A rendered stream is exactly as long as the source divided by the ratio (rounded to a frame),
// and its first frame is the source's first: the engine's own delay is compensated at every
// start and seek, and at the end the engine is run out with silence until the tail is through.
//
// It carries the practice tools that live in the stream: an A-B loop (LoopSeam), the speed
// trainer that moves the tempo at the seam (SpeedTrainer) and a count-in between passes
// (CountInGap); a PositionMap turns its output frames into source time.
//
// Threads: render(), seek(), position() and the rest of Stream's "holds mutex()" part run on one
// thread at a time that holds mutex(): the feeder for a played stream, an API thread for a
// decoding one. They lock the source's mutex inside this one, never the other way round. The
// attributes, the loop, the trainer, the pass count and the hearing settings take any thread
// without that mutex; rendering picks them up at its next block. setPassCountIn() needs the
// mutex. The audio callback never calls in.
#ifndef TONVERA_AUDIOLIB_STREAM_TEMPOSTREAM_H
#define TONVERA_AUDIOLIB_STREAM_TEMPOSTREAM_H

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

#include "audiolib/dsp/AntiAliasFilter.h"
#include "audiolib/dsp/HearingStage.h"
#include "audiolib/dsp/PeakLimiter.h"
#include "audiolib/stream/CountInGap.h"
#include "audiolib/stream/LoopSeam.h"
#include "audiolib/stream/PositionMap.h"
#include "audiolib/stream/SourceStream.h"
#include "audiolib/stream/SpeedTrainer.h"
#include "audiolib/stream/Stream.h"
#include "audiolib/stretch/StretchEngine.h"

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
    StretchQuality quality() const { return quality_; }
    const char* engineName() const { return engine_->name(); }

    std::uint64_t lengthFrames() const override { return source_->lengthFrames(); }
    std::size_t render(float* out, std::size_t frames) override;
    bool ended() const override;
    double position() const override;
    bool seek(std::uint64_t frame) override;
    double sourceFramesPerFrame() const override { return ratio_; }
    int playbackInputRate() const override { return rate(); }
    // Output the engine has ready. The engine also holds input it has not turned into output
    // yet (Rubber Band about 0.1 s); position() already accounts for both, so a feeder that
    // stamps its blocks with position() needs nothing more for the heard position.
    std::size_t pendingFrames() const override { return engine_->available(); }

    int setAttribute(std::uint32_t attribute, float value) override;
    int getAttribute(std::uint32_t attribute, float* value) const override;
    // ---- the A-B loop and the speed trainer: any thread ----
    // Source frames; an end not after the start clears it. Counting passes starts again.
    void setLoop(std::uint64_t start, std::uint64_t end);
    std::pair<std::uint64_t, std::uint64_t> loop() const { return seam_.region(); }
    // Every `passesPerStep` passes through the loop the tempo moves `step` percentage points
    // toward `target`, at the seam itself, and stays there; 0 passes: off. Counting passes
    // starts again.
    int setTrainer(float target, float step, std::uint32_t passesPerStep);
    // Times the loop has run back to its start since it or the trainer was last set. Counted
    // when the seam goes into the stretcher, a little before it is heard.
    std::uint32_t loopPasses() const { return seam_.passes(); }
    std::size_t framesUntilJump() const override;

    // A count-in before every pass through the loop after the first (see CountInGap); the
    // position holds at the loop start meanwhile. Frames are this stream's.
    using PassCountIn = CountInGap::Clicks;
    // Null turns it off. Holds mutex(), as rendering does.
    void setPassCountIn(std::shared_ptr<const PassCountIn> countIn) {
        gap_.set(std::move(countIn));
    }

    // The centre cancel, channel choice and focus filter, on what the stretcher puts out (so a
    // change is heard as soon as the frames already rendered are). Any thread; taken at the
    // next rendered block. Turning the centre cancel on or off changes the delay, so the
    // stretcher starts again from where the output is.
    void setHearing(const HearingSettings& settings) { hearing_.request(settings); }
    HearingSettings hearing() const { return hearing_.requested(); }

    // How much faster than source time the output runs: tempo factor times rate factor. Read
    // from the attributes, so it is current even before the next block is rendered.
    double rateRatio() const;

  private:
    void applySettings();
    void passedSeam(std::uint32_t pass);
    void restart(double sourceFrame);
    // Starts again where the output stands (its next frame), the source sought there.
    void restartHere();
    void feedEngine();
    void fadeIn(std::size_t frames);
    LoopSeam::Pulled pullSource(float* out, std::size_t frames);
    bool reachedEnd() const;
    // What the gain effects and the volume after this stream multiply its frames by.
    float gainAfter() const;
    float limiterCeiling() const;

    std::shared_ptr<SourceStream> source_;
    StretchQuality quality_;
    AntiAliasFilter antiAlias_;
    std::unique_ptr<StretchEngine> engine_;
    HearingStage hearing_;
    PeakLimiter limiter_;
    std::atomic<float> tempo_{0.0F};
    std::atomic<float> pitch_{0.0F};
    std::uint32_t appliedVersion_;
    StretchSettings settings_;
    double ratio_ = 1.0;
    std::vector<float> input_;
    std::vector<float> discard_;

    std::size_t padLeft_ = 0;     // silent input frames still to feed after a restart
    std::size_t fadeInLeft_ = 0;  // source frames still to fade in after heard padding
    std::size_t dropLeft_ = 0;    // output frames still to drop after a restart
    bool configured_ = false;     // the engine has had settings
    bool started_ = false;        // input has gone in since the last restart
    bool sourceDone_ = false;
    bool ended_ = false;
    // Source frames handed to the engine and where the source ended, both counted on through
    // the loop's seams as the position map counts them.
    double fed_ = 0.0;
    double endSource_ = 0.0;
    PositionMap map_;

    LoopSeam seam_;
    SpeedTrainer trainer_;
    CountInGap gap_;
};

}  // namespace audiolib

#endif
