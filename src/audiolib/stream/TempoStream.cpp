#include "audiolib/stream/TempoStream.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

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
      seam_(rate(), channels(), kInputFrames),
      gap_(rate(), channels()) {
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
        restart(map_.unwrapped());
        return;
    }
    // Frames the engine has ready, or has already shaped, and those in the limiter's delay were
    // made at the old ratio: the position moves at the new one only after them.
    const std::size_t held = engine_->available() + engine_->committedFrames() +
                             hearing_.latency() + limiter_.lookAheadFrames();
    map_.changeRatio(held > dropLeft_ ? held - dropLeft_ : 0, ratio_, engine_->heardLead());
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
    dropLeft_ = engine_->startDelay() + hearing_.latency() + limiter_.lookAheadFrames();
    sourceDone_ = false;
    ended_ = false;
    fed_ = sourceFrame;
    endSource_ = 0.0;
    map_.restart(sourceFrame, ratio_, engine_->heardLead());
    started_ = false;
    gap_.reset();
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
            total.pass = got.pass;
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
}

int TempoStream::setTrainer(float target, float step, std::uint32_t passesPerStep) {
    if (!std::isfinite(target) || !std::isfinite(step) || target < kMinTempo ||
        target > kMaxTempo) {
        return BASS_ERROR_ILLPARAM;
    }
    trainer_.set(target, step, passesPerStep);
    seam_.restartCount();
    return BASS_OK;
}

void TempoStream::passedSeam(std::uint32_t pass) {
    const auto [start, end] = seam_.region();
    if (end > start)
        map_.addWrap(fed_, fed_ - static_cast<double>(start));
    const std::optional<float> next =
        trainer_.nextTempo(pass, tempo_.load(std::memory_order_relaxed));
    if (!next)
        return;
    // At the seam itself: the next pass is the first the stretcher makes at the new tempo.
    tempo_.store(*next, std::memory_order_relaxed);
    bumpSettings();
    applySettings();
}

std::size_t TempoStream::framesUntilJump() const {
    if (!map_.wrapAhead())
        return Stream::framesUntilJump();
    return map_.framesUntilWrap();
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
    LoopSeam::Pulled pulled;
    if (sourceDone_) {
        // After the music: silence that carries the tail out of the filter and the engine; the
        // stream stops at its exact length, so none of it is heard.
        std::fill(input_.begin(), input_.end(), 0.0F);
        read = kInputFrames;
    } else {
        pulled = pullSource(input_.data(), kInputFrames);
        read = pulled.frames;
        fed_ += static_cast<double>(read);
        fadeIn(read);
        if (read < kInputFrames && !pulled.wrapped) {
            sourceDone_ = true;
            endSource_ = fed_;
        }
    }
    const std::size_t filtered = antiAlias_.process(input_.data(), read);
    if (filtered > 0)
        engine_->put(input_.data(), filtered);
    if (pulled.wrapped)
        passedSeam(pulled.pass);
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
    return sourceDone_ && map_.unwrapped() + 0.5 * map_.ratio() >= endSource_;
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
        if (gap_.playing()) {
            // The gap is not music: the position map holds still meanwhile.
            produced += gap_.render(out + produced * width, frames - produced, gainAfter());
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
            const double left = (endSource_ - map_.unwrapped()) / map_.ratio() + 0.5;
            wanted = std::min(wanted, static_cast<std::size_t>(std::max(1.0, left)));
        }
        // With a count-in between passes, a block ends on the seam, where the count-in begins.
        const bool countingIn = gap_.armed() && map_.wrapAhead();
        const std::size_t untilSeam = countingIn ? framesUntilJump() : 0;
        if (countingIn)
            wanted = std::min(wanted, untilSeam);
        float* block = out + produced * width;
        const std::size_t got = engine_->take(block, wanted);
        hearing_.process(block, got);
        limiter_.process(block, block, got);
        if (countingIn)
            gap_.fadeOut(block, got, untilSeam);
        gap_.fadeIn(block, got);
        produced += got;
        if (map_.advance(got) > 0 && countingIn)
            gap_.begin();
    }
    return produced;
}

bool TempoStream::ended() const {
    return ended_ || reachedEnd();
}

double TempoStream::position() const {
    const double length = static_cast<double>(lengthFrames());
    const double position = map_.position();
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
