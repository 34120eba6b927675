#include "audiolib/stream/TempoStream.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "audiolib/audiolib.h"

namespace audiolib {

namespace {

// Input is handed to the engine in small steps so that it never holds much more than it needs:
// whatever it has ready was made with the settings of the moment and delays a change by that
// much.
constexpr std::size_t kInputFrames = 1024;
// Music that starts after heard padding is faded in over this long, as the playback fades a
// start: the silence in front would otherwise take the playback's fade and leave the step.
constexpr double kFadeInSeconds = 0.005;
// A change of the engine's heard lead is taken into the position over about one splice period
// of a WSOLA engine, the time its output takes to settle into the new pattern.
constexpr double kLeadShiftFrames = 4096.0;

std::uint32_t formatFlags(std::uint32_t flags, const SourceStream& source) {
    // The tempo stream delivers the source's sample format.
    return flags | (source.flags() & BASS_SAMPLE_FLOAT);
}

StretchQuality qualityFor(std::uint32_t flags) {
    return (flags & TONVERA_FX_TEMPO_LIGHT) != 0 ? StretchQuality::Light : StretchQuality::Best;
}

}  // namespace

TempoStream::TempoStream(std::uint32_t flags, std::shared_ptr<SourceStream> source)
    : Stream(source->device(), source->deviceSerial(), formatFlags(flags, *source),
             StreamFormat{source->rate(), source->channels(), source->sourceBits(),
                          source->channelMask()},
             source->lengthFrames(), source->filename()),
      source_(std::move(source)),
      quality_(qualityFor(flags)),
      antiAlias_(channels()),
      engine_(makeStretchEngine(quality_, rate(), channels())),
      hearing_(rate(), channels()),
      limiter_(rate(), channels()),
      appliedVersion_(settingsVersion() - 1),
      input_(kInputFrames * static_cast<std::size_t>(channels())),
      discard_(kInputFrames * static_cast<std::size_t>(channels())),
      seam_(rate(), channels(), kInputFrames) {
    applySettings();
    std::lock_guard lock(source_->mutex());
    restart(source_->position());
}

TempoStream::~TempoStream() = default;

bool TempoStream::freesSource() const {
    return (flags() & BASS_FX_FREESOURCE) != 0;
}

int TempoStream::setAttribute(std::uint32_t attribute, float value) {
    switch (attribute) {
        case BASS_ATTRIB_TEMPO:
            if (!std::isfinite(value) || value < kMinTempo || value > kMaxTempo) {
                return BASS_ERROR_ILLPARAM;
            }
            tempo_.store(value, std::memory_order_relaxed);
            bumpSettings();
            return BASS_OK;
        case BASS_ATTRIB_TEMPO_PITCH:
            if (!std::isfinite(value) || std::fabs(value) > kMaxPitch)
                return BASS_ERROR_ILLPARAM;
            pitch_.store(value, std::memory_order_relaxed);
            bumpSettings();
            return BASS_OK;
        default:
            return Stream::setAttribute(attribute, value);
    }
}

int TempoStream::getAttribute(std::uint32_t attribute, float* value) const {
    switch (attribute) {
        case BASS_ATTRIB_TEMPO:
            *value = tempo_.load(std::memory_order_relaxed);
            return BASS_OK;
        case BASS_ATTRIB_TEMPO_PITCH:
            *value = pitch_.load(std::memory_order_relaxed);
            return BASS_OK;
        default:
            return Stream::getAttribute(attribute, value);
    }
}

double TempoStream::rateRatio() const {
    const double tempo = 1.0 + tempo_.load(std::memory_order_relaxed) / 100.0;
    return tempo * frequency() / rate();
}

void TempoStream::applySettings() {
    const std::uint32_t version = settingsVersion();
    if (version == appliedVersion_)
        return;
    appliedVersion_ = version;
    StretchSettings next;
    next.tempo = 1.0 + tempo_.load(std::memory_order_relaxed) / 100.0;
    next.pitchScale = std::exp2(static_cast<double>(pitch_.load(std::memory_order_relaxed)) / 12.0);
    next.rate = static_cast<double>(frequency()) / rate();
    if (configured_ && next == settings_)
        return;
    configured_ = true;
    settings_ = next;
    engine_->setSettings(settings_);
    antiAlias_.setPitchFactor(settings_.pitchScale * settings_.rate);
    ratio_ = settings_.sourcePerOutput();
    if (!started_) {
        // Nothing has gone in since the last start: start again, so that the delay compensation
        // is the one for these settings and they hold from the first frame.
        restart(outputPosition_);
        return;
    }
    // Frames the engine has ready, or has already shaped, and those in the limiter's delay were
    // made at the old ratio: the position moves at the new one only after them.
    const std::size_t held = engine_->available() + engine_->committedFrames() +
                             hearing_.latency() + limiter_.lookAheadFrames();
    const std::uint64_t at = emitted_ + (held > dropLeft_ ? held - dropLeft_ : 0);
    const double lead = engine_->heardLead();
    double shift = lead - latestLead_;
    latestLead_ = lead;
    if (changeCount_ == changes_.size()) {
        --changeCount_;  // a burst of changes: the newest one wins, keeping the lead it moved
        shift += changes_[changeCount_].shift;
    }
    changes_[changeCount_++] = RatioChange{at, ratio_, shift};
}

void TempoStream::restart(double sourceFrame) {
    engine_->reset();
    antiAlias_.reset();
    hearing_.reset();
    limiter_.reset();
    padLeft_ = engine_->startPad();
    fadeInLeft_ = engine_->padHeard() && padLeft_ > 0
                      ? static_cast<std::size_t>(std::lround(kFadeInSeconds * rate()))
                      : 0;
    latestLead_ = engine_->heardLead();
    shiftLeft_ = 0.0;
    dropLeft_ = engine_->startDelay() + hearing_.latency() + limiter_.lookAheadFrames();
    sourceDone_ = false;
    ended_ = false;
    fed_ = outputPosition_ = sourceFrame;
    endSource_ = 0.0;
    emitted_ = 0;
    changeCount_ = 0;
    outputRatio_ = ratio_;
    started_ = false;
    wrapCount_ = 0;
    loopOffset_ = 0.0;
    gapLeft_ = gapDone_ = gapFadeInLeft_ = 0;
}

LoopSeam::Pulled TempoStream::pullSource(float* out, std::size_t frames) {
    // Lock order: a tempo stream's mutex, then its source's (never the other way round).
    std::lock_guard lock(source_->mutex());
    const auto width = static_cast<std::size_t>(channels());
    LoopSeam::Pulled total;
    while (total.frames < frames) {
        const LoopSeam::Pulled got =
            seam_.pull(*source_, out + total.frames * width, frames - total.frames);
        total.frames += got.frames;
        if (got.wrapped) {
            // The block ends on the seam, so whatever follows it (a trainer's new tempo)
            // starts with the loop's first frame.
            total.wrapped = true;
            return total;
        }
        if (got.frames == 0)
            break;
    }
    if (total.frames < frames && looping() && lengthFrames() > 0) {
        // Wrap without resetting the engine, so the end runs straight into the beginning.
        if (source_->seek(0))
            total.frames += source_->render(out + total.frames * width, frames - total.frames);
    }
    return total;
}

void TempoStream::setLoop(std::uint64_t start, std::uint64_t end) {
    seam_.set(start, end);
    passes_.store(0, std::memory_order_release);
}

int TempoStream::setTrainer(float target, float step, std::uint32_t passesPerStep) {
    if (!std::isfinite(target) || !std::isfinite(step) || target < kMinTempo ||
        target > kMaxTempo) {
        return BASS_ERROR_ILLPARAM;
    }
    trainerTarget_.store(target, std::memory_order_relaxed);
    trainerStep_.store(std::fabs(step), std::memory_order_relaxed);
    trainerEvery_.store(passesPerStep, std::memory_order_release);
    passes_.store(0, std::memory_order_release);
    return BASS_OK;
}

void TempoStream::passedSeam() {
    const auto [start, end] = seam_.region();
    if (end > start) {
        if (wrapCount_ == wraps_.size()) {
            // Seams closer together than the stretcher's delay: only the newest matters.
            std::move(wraps_.begin() + 1, wraps_.end(), wraps_.begin());
            --wrapCount_;
        }
        wraps_[wrapCount_++] = Wrap{fed_, fed_ - static_cast<double>(start)};
    }
    const std::uint32_t passes = passes_.fetch_add(1, std::memory_order_acq_rel) + 1;
    const std::uint32_t every = trainerEvery_.load(std::memory_order_acquire);
    if (every > 0 && passes % every == 0)
        trainerStep();
}

void TempoStream::trainerStep() {
    const float now = tempo_.load(std::memory_order_relaxed);
    const float target = trainerTarget_.load(std::memory_order_relaxed);
    const float step = trainerStep_.load(std::memory_order_relaxed);
    const float next = now < target ? std::min(target, now + step) : std::max(target, now - step);
    if (next == now)
        return;
    tempo_.store(next, std::memory_order_relaxed);
    bumpSettings();
    applySettings();
}

std::size_t TempoStream::framesUntilJump() const {
    if (wrapCount_ == 0)
        return Stream::framesUntilJump();
    const double left = (wraps_[0].at - outputPosition_) / outputRatio_;
    return static_cast<std::size_t>(std::max(1.0, std::ceil(left)));
}

void TempoStream::feedEngine() {
    const auto width = static_cast<std::size_t>(channels());
    started_ = true;
    if (padLeft_ > 0) {
        const std::size_t count = std::min(padLeft_, kInputFrames);
        std::fill(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(count * width),
                  0.0F);
        engine_->put(input_.data(), count);
        padLeft_ -= count;
        return;
    }
    std::size_t read = 0;
    bool wrapped = false;
    if (sourceDone_) {
        // After the music: silence that carries the tail out of the filter and the engine; the
        // stream stops at its exact length, so none of it is heard.
        std::fill(input_.begin(), input_.end(), 0.0F);
        read = kInputFrames;
    } else {
        const LoopSeam::Pulled pulled = pullSource(input_.data(), kInputFrames);
        read = pulled.frames;
        fed_ += static_cast<double>(read);
        fadeIn(read);
        wrapped = pulled.wrapped;
        if (read < kInputFrames && !wrapped) {
            sourceDone_ = true;
            endSource_ = fed_;
        }
    }
    const std::size_t filtered = antiAlias_.process(input_.data(), read);
    if (filtered > 0)
        engine_->put(input_.data(), filtered);
    if (wrapped)
        passedSeam();
}

void TempoStream::fadeIn(std::size_t frames) {
    const auto width = static_cast<std::size_t>(channels());
    const auto length = static_cast<float>(std::lround(kFadeInSeconds * rate()));
    for (std::size_t i = 0; i < frames && fadeInLeft_ > 0; ++i, --fadeInLeft_) {
        const float gain = 1.0F - static_cast<float>(fadeInLeft_) / length;
        for (std::size_t c = 0; c < width; ++c)
            input_[i * width + c] *= gain;
    }
}

bool TempoStream::reachedEnd() const {
    // Rounded to the nearest frame: the last frame is the one whose source time is nearer the
    // end than the next one's would be.
    return sourceDone_ && outputPosition_ + 0.5 * outputRatio_ >= endSource_;
}

void TempoStream::advance(std::size_t frames) {
    // One frame at a time only where a ratio change falls inside the block.
    while (frames > 0) {
        std::uint64_t run = frames;
        if (changeCount_ > 0)
            run = std::min<std::uint64_t>(
                run, changes_[0].atFrame > emitted_ ? changes_[0].atFrame - emitted_ : 0);
        if (run == 0) {
            outputRatio_ = changes_[0].ratio;
            if (changes_[0].shift != 0.0) {
                // Never so fast that the position would run backwards.
                shiftLeft_ += changes_[0].shift;
                const double over =
                    std::max(kLeadShiftFrames, 2.0 * std::fabs(shiftLeft_) / outputRatio_);
                shiftPerFrame_ = std::fabs(shiftLeft_) / over;
            }
            std::move(changes_.begin() + 1, changes_.begin() + changeCount_, changes_.begin());
            --changeCount_;
            continue;
        }
        outputPosition_ += static_cast<double>(run) * outputRatio_;
        while (wrapCount_ > 0 && outputPosition_ >= wraps_[0].at) {
            ++wrapsPassed_;
            loopOffset_ = wraps_[0].offset;
            std::move(wraps_.begin() + 1, wraps_.begin() + wrapCount_, wraps_.begin());
            --wrapCount_;
        }
        if (shiftLeft_ != 0.0) {
            const double step = std::copysign(
                std::min(std::fabs(shiftLeft_), static_cast<double>(run) * shiftPerFrame_),
                shiftLeft_);
            outputPosition_ += step;
            shiftLeft_ -= step;
        }
        emitted_ += run;
        frames -= static_cast<std::size_t>(run);
    }
}

float TempoStream::gainAfter() const {
    // The gain effects, and for a played stream its volume, come after this stream's render.
    float gain = gains().peakFactor();
    if (!decoding())
        gain *= volume();
    return gain;
}

float TempoStream::limiterCeiling() const {
    // The limiter keeps full scale at the very end of the chain.
    const float gain = gainAfter();
    return gain > 0.0F ? 1.0F / gain : std::numeric_limits<float>::infinity();
}

void TempoStream::restartHere() {
    const double at = position();
    {
        std::lock_guard lock(source_->mutex());
        source_->seek(static_cast<std::uint64_t>(std::max(0.0, std::floor(at))));
    }
    restart(std::floor(std::max(0.0, at)));
}

std::size_t TempoStream::render(float* out, std::size_t frames) {
    applySettings();
    if (hearing_.update())
        restartHere();
    limiter_.setCeiling(limiterCeiling());
    const auto width = static_cast<std::size_t>(channels());
    std::size_t produced = 0;
    while (produced < frames && !ended_) {
        if (gapLeft_ > 0) {
            const std::size_t count = std::min(gapLeft_, frames - produced);
            renderGap(out + produced * width, count);
            produced += count;
            continue;
        }
        if (reachedEnd()) {
            ended_ = true;
            break;
        }
        const std::size_t ready = engine_->available();
        if (ready == 0) {
            feedEngine();
            continue;
        }
        if (dropLeft_ > 0) {
            const std::size_t count = std::min({ready, dropLeft_, kInputFrames});
            const std::size_t got = engine_->take(discard_.data(), count);
            hearing_.process(discard_.data(), got);
            limiter_.process(discard_.data(), discard_.data(), got);
            dropLeft_ -= got;
            continue;
        }
        // Stop exactly at the end: no more frames than the source has left at this ratio.
        std::size_t wanted = std::min(ready, frames - produced);
        if (sourceDone_) {
            const double left = (endSource_ - outputPosition_) / outputRatio_ + 0.5;
            wanted = std::min(wanted, static_cast<std::size_t>(std::max(1.0, left)));
        }
        // With a count-in between passes, a block ends on the seam, where the count-in begins.
        const bool countingIn = passCountIn_ && passCountIn_->beats > 0 && wrapCount_ > 0;
        const std::size_t untilSeam = countingIn ? framesUntilJump() : 0;
        if (countingIn)
            wanted = std::min(wanted, untilSeam);
        float* block = out + produced * width;
        const std::size_t got = engine_->take(block, wanted);
        hearing_.process(block, got);
        limiter_.process(block, block, got);
        if (countingIn)
            fadeBeforeGap(block, got, untilSeam);
        if (gapFadeInLeft_ > 0)
            fadeAfterGap(block, got);
        produced += got;
        const std::uint64_t seamsBefore = wrapsPassed_;
        advance(got);
        if (countingIn && wrapsPassed_ != seamsBefore) {
            gapLeft_ = static_cast<std::size_t>(
                std::llround(passCountIn_->beats * passCountIn_->intervalFrames));
            gapDone_ = 0;
        }
    }
    return produced;
}

namespace {
// Long enough that the music leaves and comes back without a click, short enough to keep the
// first note's attack.
constexpr double kGapFadeSeconds = 0.01;

float raisedCosine(double x) {
    return static_cast<float>(0.5 - 0.5 * std::cos(std::clamp(x, 0.0, 1.0) * 3.14159265358979));
}
}  // namespace

void TempoStream::setPassCountIn(std::shared_ptr<const PassCountIn> countIn) {
    passCountIn_ = std::move(countIn);
}

void TempoStream::fadeBeforeGap(float* block, std::size_t frames, std::size_t untilSeam) const {
    const auto width = static_cast<std::size_t>(channels());
    const double fade = kGapFadeSeconds * rate();
    for (std::size_t i = 0; i < frames; ++i) {
        const double left = static_cast<double>(untilSeam - i);
        if (left >= fade)
            continue;
        const float gain = raisedCosine(left / fade);
        for (std::size_t c = 0; c < width; ++c)
            block[i * width + c] *= gain;
    }
}

void TempoStream::fadeAfterGap(float* block, std::size_t frames) {
    const auto width = static_cast<std::size_t>(channels());
    const double fade = kGapFadeSeconds * rate();
    for (std::size_t i = 0; i < frames && gapFadeInLeft_ > 0; ++i, --gapFadeInLeft_) {
        const float gain = raisedCosine((fade - static_cast<double>(gapFadeInLeft_)) / fade);
        for (std::size_t c = 0; c < width; ++c)
            block[i * width + c] *= gain;
    }
}

void TempoStream::renderGap(float* out, std::size_t frames) {
    const auto width = static_cast<std::size_t>(channels());
    std::fill(out, out + frames * width, 0.0F);
    const PassCountIn* countIn = passCountIn_.get();
    if (countIn != nullptr) {
        // The gains and volume after this stream would scale the clicks too.
        const float after = gainAfter();
        const float level = after > 0.0F ? countIn->level / after : 0.0F;
        const std::size_t from = gapDone_;
        const std::size_t to = gapDone_ + frames;
        for (int beat = 0; beat < countIn->beats; ++beat) {
            const auto onset =
                static_cast<std::size_t>(std::llround(beat * countIn->intervalFrames));
            const bool accented =
                !countIn->accentClick.empty() && beat % std::max(1, countIn->beatsPerBar) == 0;
            const std::vector<float>& click = accented ? countIn->accentClick : countIn->click;
            const std::size_t first = std::max(from, onset);
            const std::size_t last = std::min(to, onset + click.size());
            for (std::size_t f = first; f < last; ++f) {
                const float value = click[f - onset] * level;
                for (std::size_t c = 0; c < width; ++c)
                    out[(f - from) * width + c] += value;
            }
        }
    }
    gapDone_ += frames;
    gapLeft_ -= frames;
    if (gapLeft_ == 0)
        gapFadeInLeft_ = static_cast<std::size_t>(std::lround(kGapFadeSeconds * rate()));
}

bool TempoStream::ended() const {
    return ended_ || reachedEnd();
}

double TempoStream::position() const {
    const double length = static_cast<double>(lengthFrames());
    const double position = outputPosition_ - loopOffset_;
    if (looping() && length > 0.0)
        return std::fmod(position, length);
    return std::min(position, length);
}

bool TempoStream::seek(std::uint64_t frame) {
    {
        std::lock_guard lock(source_->mutex());
        if (!source_->seek(frame))
            return false;
    }
    restart(static_cast<double>(frame));
    return true;
}

}  // namespace audiolib
