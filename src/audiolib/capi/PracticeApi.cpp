// The practice tools' entry points: the device clock, starts and beats on it, the A-B loop and
// the speed trainer.
#include <algorithm>
#include <cmath>
#include <limits>

#include "audiolib/capi/ApiSupport.h"
#include "audiolib/device/Device.h"
#include "audiolib/device/DeviceManager.h"
#include "audiolib/playback/StreamPlayback.h"
#include "audiolib/sample/Sample.h"
#include "audiolib/sample/SampleData.h"
#include "audiolib/sample/SampleVoice.h"
#include "audiolib/stream/TempoStream.h"

using namespace audiolib;
using namespace audiolib::api;

namespace {

std::shared_ptr<TempoStream> findTempoStream(DWORD handle) {
    return std::dynamic_pointer_cast<TempoStream>(findStream(handle));
}

// The sample's first channel at `rate`, read `step` times as fast (linear interpolation):
// the count-in's click as the stream plays it.
std::vector<float> clickAt(const SampleData& data, int rate, double step) {
    std::vector<float> out;
    const std::size_t frames = data.frameCount();
    if (frames == 0 || data.rate <= 0 || rate <= 0)
        return out;
    const double advance = step * data.rate / rate;
    const auto width = static_cast<std::size_t>(data.channels);
    for (double at = 0.0; at <= static_cast<double>(frames - 1); at += advance) {
        const auto i = static_cast<std::size_t>(at);
        const double t = at - static_cast<double>(i);
        const float next = i + 1 < frames ? data.frames[(i + 1) * width] : 0.0F;
        out.push_back(static_cast<float>(data.frames[i * width] * (1.0 - t) + next * t));
    }
    return out;
}

std::uint64_t frameOf(double seconds, int rate) {
    return static_cast<std::uint64_t>(std::llround(seconds * rate));
}

}  // namespace

extern "C" {

BOOL TONVERA_GetClock(QWORD* frame, DWORD* rate) {
    int error = BASS_OK;
    auto device = DeviceManager::instance().current(&error);
    if (!device)
        return fail(error, FALSE);
    if (frame)
        *frame = device->mixer().framesProcessed();
    if (rate)
        *rate = static_cast<DWORD>(device->rate());
    return succeed(TRUE);
}

BOOL TONVERA_ChannelPlayAt(DWORD handle, QWORD frame) {
    auto stream = findStream(handle);
    if (!stream)
        return fail(BASS_ERROR_HANDLE, FALSE);
    // A frame already past starts at once; frame 0 is "now" to the voice, so it is 1 here.
    return playStream(stream, false, std::max<QWORD>(frame, 1));
}

BOOL TONVERA_ChannelPlayBeats(DWORD handle, QWORD firstFrame, double intervalSeconds, DWORD count,
                              DWORD beatsPerBar, BOOL accent) {
    auto channel = findSampleChannel(handle);
    if (!channel)
        return fail(BASS_ERROR_HANDLE, FALSE);
    auto device = channel->device();
    if (!device)
        return fail(BASS_ERROR_INIT, FALSE);
    if (!std::isfinite(intervalSeconds) || intervalSeconds <= 0.0 || intervalSeconds > 3600.0 ||
        beatsPerBar == 0 || beatsPerBar > 64) {
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    }
    BeatSchedule beats;
    beats.firstFrame = firstFrame;
    beats.intervalFrames = intervalSeconds * device->rate();
    beats.count = count;
    beats.beatsPerBar = static_cast<int>(beatsPerBar);
    beats.accent = accent != FALSE;
    channel->voice().scheduleBeats(beats);
    device->startOutput();
    device->feeder().wake();
    return succeed(TRUE);
}

BOOL TONVERA_ChannelSetLoop(DWORD handle, double start, double end) {
    auto stream = findTempoStream(handle);
    if (!stream)
        return fail(BASS_ERROR_HANDLE, FALSE);
    if (!std::isfinite(start) || !std::isfinite(end) || start < 0.0 || end > 1e9)
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    const std::uint64_t length = stream->lengthFrames();
    std::uint64_t first = frameOf(start, stream->rate());
    std::uint64_t last = std::min(frameOf(std::max(end, 0.0), stream->rate()), length);
    if (last <= first)
        first = last = 0;
    stream->setLoop(first, last);
    return succeed(TRUE);
}

BOOL TONVERA_ChannelSetTrainer(DWORD handle, float target, float step, DWORD passesPerStep) {
    auto stream = findTempoStream(handle);
    if (!stream)
        return fail(BASS_ERROR_HANDLE, FALSE);
    return result(stream->setTrainer(target, step, passesPerStep));
}

BOOL TONVERA_ChannelSetLoopCountIn(DWORD handle, DWORD click, DWORD beats, double intervalSeconds,
                                   DWORD beatsPerBar, BOOL accent) {
    auto stream = findTempoStream(handle);
    if (!stream)
        return fail(BASS_ERROR_HANDLE, FALSE);
    if (beats == 0) {
        std::lock_guard lock(stream->mutex());
        stream->setPassCountIn(nullptr);
        return succeed(TRUE);
    }
    auto channel = findSampleChannel(click);
    if (!channel || !channel->data())
        return fail(BASS_ERROR_HANDLE, FALSE);
    if (!std::isfinite(intervalSeconds) || intervalSeconds <= 0.0 || intervalSeconds > 60.0 ||
        beats > 64 || beatsPerBar == 0 || beatsPerBar > 64) {
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    }
    // Made here, on the caller's thread, so rendering only ever reads it.
    auto countIn = std::make_shared<TempoStream::PassCountIn>();
    countIn->click = clickAt(*channel->data(), stream->rate(), 1.0);
    if (accent)
        countIn->accentClick = clickAt(*channel->data(), stream->rate(), SampleVoice::kAccentStep);
    countIn->beats = static_cast<int>(beats);
    countIn->intervalFrames = intervalSeconds * stream->rate();
    countIn->beatsPerBar = static_cast<int>(beatsPerBar);
    countIn->level = channel->voice().volume();
    std::lock_guard lock(stream->mutex());
    stream->setPassCountIn(std::move(countIn));
    return succeed(TRUE);
}

DWORD TONVERA_ChannelGetLoopPasses(DWORD handle) {
    auto stream = findTempoStream(handle);
    if (!stream)
        return fail(BASS_ERROR_HANDLE, kBadDword);
    return succeed(static_cast<DWORD>(stream->loopPasses()));
}

}  // extern "C"
