// Taking objects apart in the one safe order: out of the handle table first (no new calls can
// reach them), then out of the mixer (the callback lets go), then out of the feeder; memory goes
// when the last reference drops, never on the audio callback.
#include <mutex>
#include <vector>

#include "audiolib/capi/ApiSupport.h"
#include "audiolib/device/Device.h"
#include "audiolib/encode/EncoderTap.h"
#include "audiolib/playback/StreamPlayback.h"
#include "audiolib/sample/Sample.h"
#include "audiolib/stream/Effect.h"
#include "audiolib/stream/SourceStream.h"
#include "audiolib/stream/TempoStream.h"

namespace audiolib::api {

namespace {

// Voices the callback would not let go of (it seemed stuck for a second). Keeping them alive
// forever is a small leak; freeing them could crash the callback.
void keepForever(std::shared_ptr<LibObject> object) {
    static std::mutex mutex;
    static std::vector<std::shared_ptr<LibObject>> kept;
    std::lock_guard lock(mutex);
    kept.push_back(std::move(object));
}

void removeEffectsOf(DWORD channelHandle) {
    auto& table = HandleTable::instance();
    const auto effects = table.select([channelHandle](const LibObject& object) {
        const auto* effect = dynamic_cast<const Effect*>(&object);
        return effect && effect->channelHandle() == channelHandle;
    });
    for (const auto& effect : effects)
        table.remove(effect->handle());
}

}  // namespace

std::shared_ptr<Stream> findStream(DWORD handle) {
    return HandleTable::instance().findAs<Stream>(handle);
}

std::shared_ptr<SampleChannel> findSampleChannel(DWORD handle) {
    return HandleTable::instance().findAs<SampleChannel>(handle);
}

std::shared_ptr<Sample> findSample(DWORD handle) {
    return HandleTable::instance().findAs<Sample>(handle);
}

void releaseStream(const std::shared_ptr<Stream>& stream) {
    auto& table = HandleTable::instance();
    table.remove(stream->handle());
    stream->markFreed();
    if (StreamPlayback* playback = stream->playback()) {
        // Fade out first: a stream taken away while it sounds would stop with a click. A
        // device that does not run (nothing to fade) ends the wait early.
        playback->stopAndFade(50);
        if (auto device = stream->device()) {
            if (!device->mixer().remove(&playback->voice()))
                keepForever(stream);
            device->feeder().remove(stream.get());
        }
    }
    std::vector<std::shared_ptr<EncoderTap>> encoders;
    {
        std::lock_guard lock(stream->mutex());
        encoders.swap(stream->encoders());
        for (const auto& encoder : encoders) {
            encoder->finish();
            table.remove(encoder->handle());
        }
    }
    removeEffectsOf(stream->handle());
    if (auto tempo = std::dynamic_pointer_cast<TempoStream>(stream)) {
        if (tempo->freesSource()) {
            releaseStream(tempo->source());
        } else {
            tempo->source()->unclaim();
        }
    }
}

void releaseSampleChannel(const std::shared_ptr<SampleChannel>& channel) {
    HandleTable::instance().remove(channel->handle());
    channel->voice().stopAndFade(50);
    if (auto device = channel->device()) {
        if (!device->mixer().remove(&channel->voice()))
            keepForever(channel);
    }
    if (auto sample = findSample(channel->sampleHandle()))
        sample->forgetChannel(channel->handle());
}

void releaseSample(const std::shared_ptr<Sample>& sample) {
    HandleTable::instance().remove(sample->handle());
    for (const DWORD handle : sample->channelHandles()) {
        if (auto channel = findSampleChannel(handle))
            releaseSampleChannel(channel);
    }
}

bool releaseEncoder(DWORD encoderHandle) {
    auto& table = HandleTable::instance();
    auto encoder = table.findAs<EncoderTap>(encoderHandle);
    if (!encoder)
        return false;
    bool finished = true;
    if (auto stream = findStream(encoder->channelHandle())) {
        std::lock_guard lock(stream->mutex());
        finished = encoder->finish();
        if (std::string why = encoder->error(); !why.empty())
            stream->encoderFailure() = std::move(why);
        std::erase(stream->encoders(), encoder);
    } else {
        finished = encoder->finish();
    }
    table.remove(encoderHandle);
    return finished;
}

}  // namespace audiolib::api
