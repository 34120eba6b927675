#include "audiolib/stream/Stream.h"

#include <cmath>

#include "audiolib/audiolib.h"
#include "audiolib/encode/EncoderTap.h"
#include "audiolib/playback/StreamPlayback.h"

namespace audiolib {

Stream::Stream(std::weak_ptr<Device> device, std::uint64_t deviceSerial, std::uint32_t flags,
               StreamFormat format, std::uint64_t lengthFrames, std::string filename)
    : LibObject(deviceSerial),
      device_(std::move(device)),
      flags_(flags),
      format_(format),
      lengthFrames_(lengthFrames),
      filename_(std::move(filename)),
      frequency_(static_cast<float>(format.rate)),
      gains_(format.channels) {}

Stream::~Stream() = default;

bool Stream::decoding() const {
    return (flags_ & BASS_STREAM_DECODE) != 0;
}
bool Stream::floatSamples() const {
    return (flags_ & BASS_SAMPLE_FLOAT) != 0;
}
bool Stream::looping() const {
    return (flags_ & BASS_SAMPLE_LOOP) != 0;
}

std::uint32_t Stream::bytesPerFrame() const {
    return static_cast<std::uint32_t>(format_.channels) * (floatSamples() ? 4U : 2U);
}

int Stream::setRateAttribute(float value) {
    // Beyond 1/16..16 times the source rate the result is no longer music, and the resamplers'
    // buffers are sized for that range.
    const double rate = format_.rate;
    if (!std::isfinite(value) || value < rate / 16.0 || value > rate * 16.0) {
        return BASS_ERROR_ILLPARAM;
    }
    frequency_.store(value, std::memory_order_relaxed);
    bumpSettings();
    return BASS_OK;
}

int Stream::setAttribute(std::uint32_t attribute, float value) {
    switch (attribute) {
        case BASS_ATTRIB_VOL:
            if (!std::isfinite(value) || value < 0.0F)
                return BASS_ERROR_ILLPARAM;
            volume_.store(value, std::memory_order_relaxed);
            return BASS_OK;
        case BASS_ATTRIB_FREQ:
            return setRateAttribute(value);
        default:
            return BASS_ERROR_ILLTYPE;
    }
}

int Stream::getAttribute(std::uint32_t attribute, float* value) const {
    switch (attribute) {
        case BASS_ATTRIB_VOL:
            *value = volume();
            return BASS_OK;
        case BASS_ATTRIB_FREQ:
            *value = frequency();
            return BASS_OK;
        default:
            return BASS_ERROR_ILLTYPE;
    }
}

void Stream::feedEncoders(const float* frames, std::size_t count) {
    for (const auto& encoder : encoders_)
        encoder->write(frames, count);
}

StreamPlayback& Stream::ensurePlayback(const PlaybackTarget& target) {
    if (!playbackOwner_) {
        playbackOwner_ = std::make_unique<StreamPlayback>(*this, target);
        playback_.store(playbackOwner_.get(), std::memory_order_release);
    }
    return *playbackOwner_;
}

}  // namespace audiolib
