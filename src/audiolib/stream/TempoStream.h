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
#ifndef TONVERA_AUDIOLIB_STREAM_TEMPOSTREAM_H
#define TONVERA_AUDIOLIB_STREAM_TEMPOSTREAM_H

#include <array>
#include <atomic>
#include <memory>
#include <utility>
#include <vector>

#include "audiolib/dsp/AntiAliasFilter.h"
#include "audiolib/dsp/HearingStage.h"
#include "audiolib/dsp/PeakLimiter.h"
#include "audiolib/stream/LoopSeam.h"
#include "audiolib/stream/SourceStream.h"
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
    std::uint32_t loopPasses() const { return passes_.load(std::memory_order_acquire); }
    std::size_t framesUntilJump() const override;

    // A count-in before every pass through the loop after the first: at each seam the music
    // fades out, `beats` clicks sound `intervalFrames` apart (the first beat of each bar with
    // the accented click where there is one), and the next pass starts on the beat after them,
    // fading in. The position holds at the loop start meanwhile. Frames are this stream's.
    struct PassCountIn {
        std::vector<float> click;        // mono
        std::vector<float> accentClick;  // mono; empty: every beat the same
        int beats = 0;
        double intervalFrames = 0.0;
        int beatsPerBar = 4;
        float level = 1.0F;  // the clicks' level as heard, after this stream's gains and volume
    };
    // Null turns it off. Holds mutex(), as rendering does.
    void setPassCountIn(std::shared_ptr<const PassCountIn> countIn);

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
    // From one output frame on, `ratio` source frames pass per output frame, and what is heard
    // moves `shift` source frames ahead of that (the engine's heard lead changed).
    struct RatioChange {
        std::uint64_t atFrame;
        double ratio;
        double shift;
    };

    // Where the loop ran back: from unwrapped source frame `at` on, positions are `offset`
    // lower.
    struct Wrap {
        double at;
        double offset;
    };

    void applySettings();
    void passedSeam();
    void trainerStep();
    void restart(double sourceFrame);
    // Starts again where the output stands (its next frame), the source sought there.
    void restartHere();
    void feedEngine();
    void fadeIn(std::size_t frames);
    LoopSeam::Pulled pullSource(float* out, std::size_t frames);
    bool reachedEnd() const;
    void advance(std::size_t frames);
    // The count-in between two passes: clicks on silence.
    void renderGap(float* out, std::size_t frames);
    // Gains for the frames ahead of a seam that a count-in follows, and after the count-in.
    void fadeBeforeGap(float* block, std::size_t frames, std::size_t untilSeam) const;
    void fadeAfterGap(float* block, std::size_t frames);
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
    // Counted without wrapping at a loop, so that a loop needs no special case in between:
    // source frames handed to the engine, where the source ended, and the source frame of the
    // next output frame.
    double fed_ = 0.0;
    double endSource_ = 0.0;
    double outputPosition_ = 0.0;
    // Output frames since the last restart, and the ratio changes that have not reached the
    // output yet (the engine and the limiter still hold frames made before them).
    std::uint64_t emitted_ = 0;
    double outputRatio_ = 1.0;
    // The engine's heard lead for the newest settings, and the part of the lead changes that
    // has reached the output but not yet the position, which takes it in gradually.
    double latestLead_ = 0.0;
    double shiftLeft_ = 0.0;
    double shiftPerFrame_ = 0.0;
    std::array<RatioChange, 16> changes_{};
    std::size_t changeCount_ = 0;

    LoopSeam seam_;
    // Seams fed but not yet reached by the output, and the offset the output is at.
    std::array<Wrap, 8> wraps_{};
    std::size_t wrapCount_ = 0;
    double loopOffset_ = 0.0;
    std::uint64_t wrapsPassed_ = 0;  // seams the output has gone through
    // The count-in between passes (holds mutex()); the gap being played, its frames left and
    // done, and the fade-in still to come after it.
    std::shared_ptr<const PassCountIn> passCountIn_;
    std::size_t gapLeft_ = 0;
    std::size_t gapDone_ = 0;
    std::size_t gapFadeInLeft_ = 0;
    std::atomic<std::uint32_t> passes_{0};
    std::atomic<float> trainerTarget_{0.0F};
    std::atomic<float> trainerStep_{0.0F};
    std::atomic<std::uint32_t> trainerEvery_{0};
};

}  // namespace audiolib

#endif
