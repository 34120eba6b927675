#include "audiolib/stream/TempoStream.h"

#include <algorithm>
#include <cmath>

#include "audiolib/audiolib.h"

namespace audiolib {

namespace {

// Input is handed to SoundTouch in small steps so that it never holds much more than the next
// sequence needs: whatever sits in its output buffer was made with the settings of the moment
// and delays a change of tempo or pitch by that much.
constexpr std::size_t kInputFrames = 1024;

std::uint32_t formatFlags(std::uint32_t flags, const SourceStream& source) {
    // The tempo stream delivers the source's sample format.
    return flags | (source.flags() & BASS_SAMPLE_FLOAT);
}

}  // namespace

TempoStream::TempoStream(std::uint32_t flags, std::shared_ptr<SourceStream> source)
    : Stream(source->device(), source->deviceSerial(), formatFlags(flags, *source),
             StreamFormat{source->rate(), source->channels(), source->sourceBits(),
                          source->channelMask()},
             source->lengthFrames(), source->filename()),
      source_(std::move(source)),
      appliedVersion_(settingsVersion() - 1),
      input_(kInputFrames * static_cast<std::size_t>(channels())) {
    processor_.setSampleRate(static_cast<unsigned>(rate()));
    processor_.setChannels(static_cast<unsigned>(channels()));
    // Settings for music rather than speed: the anti-alias filter keeps pitch shifts free of
    // aliasing, and the full overlap search (quick seek off) finds the best joint between
    // sequences where the quick one trades quality for time. Sequence and seek window stay on
    // SoundTouch's automatic, tempo-dependent choice.
    processor_.setSetting(SETTING_USE_AA_FILTER, 1);
    processor_.setSetting(SETTING_USE_QUICKSEEK, 0);
    std::lock_guard lock(source_->mutex());
    fed_ = outputPosition_ = source_->position();
    applySettings();
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
    const double tempo = 1.0 + tempo_.load(std::memory_order_relaxed) / 100.0;
    const double rateFactor = static_cast<double>(frequency()) / rate();
    processor_.setTempo(tempo);
    processor_.setPitchSemiTones(static_cast<double>(pitch_.load(std::memory_order_relaxed)));
    processor_.setRate(rateFactor);
    ratio_ = tempo * rateFactor;
}

std::size_t TempoStream::pullSource(float* out, std::size_t frames) {
    // Lock order: a tempo stream's mutex, then its source's (never the other way round).
    std::lock_guard lock(source_->mutex());
    const std::size_t got = source_->render(out, frames);
    if (got < frames && looping() && lengthFrames() > 0) {
        // Wrap without flushing SoundTouch, so the end runs straight into the beginning.
        if (source_->seek(0))
            return got + source_->render(out + got * channels(), frames - got);
    }
    return got;
}

void TempoStream::advance(std::size_t outputFrames) {
    outputPosition_ += static_cast<double>(outputFrames) * ratio_;
    // Output already inside SoundTouch when the ratio changed is counted at the new ratio, so
    // the estimate can drift a little with every change. It can never be ahead of what went in,
    // nor further behind than everything SoundTouch can be holding: keep it in that window.
    const double held = processor_.numUnprocessedSamples() * std::max(1.0, ratio_) +
                        processor_.numSamples() * ratio_ + 0.2 * rate();
    outputPosition_ = std::clamp(outputPosition_, fed_ - held, fed_);
}

std::size_t TempoStream::render(float* out, std::size_t frames) {
    applySettings();
    std::size_t produced = 0;
    const auto width = static_cast<std::size_t>(channels());
    while (produced < frames && !ended_) {
        const unsigned got = processor_.receiveSamples(out + produced * width,
                                                       static_cast<unsigned>(frames - produced));
        if (got > 0) {
            produced += got;
            advance(got);
            continue;
        }
        if (flushed_) {
            ended_ = true;
            break;
        }
        const std::size_t read = pullSource(input_.data(), kInputFrames);
        if (read > 0) {
            processor_.putSamples(input_.data(), static_cast<unsigned>(read));
            fed_ += static_cast<double>(read);
        }
        if (read < kInputFrames) {
            // The source is over: let the tail out of SoundTouch; the stream ends after it.
            processor_.flush();
            flushed_ = true;
        }
    }
    return produced;
}

bool TempoStream::ended() const {
    // After the flush, the stream is over as soon as the last output has been taken.
    return ended_ || (flushed_ && processor_.numSamples() == 0);
}

double TempoStream::position() const {
    const double length = static_cast<double>(lengthFrames());
    if (looping() && length > 0.0)
        return std::fmod(outputPosition_, length);
    return std::min(outputPosition_, length);
}

bool TempoStream::seek(std::uint64_t frame) {
    {
        std::lock_guard lock(source_->mutex());
        if (!source_->seek(frame))
            return false;
    }
    processor_.clear();
    flushed_ = false;
    ended_ = false;
    fed_ = outputPosition_ = static_cast<double>(frame);
    return true;
}

}  // namespace audiolib
