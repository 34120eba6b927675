// The practice tools' entry points: the device clock, starts and beats on it, the A-B loop and
// the speed trainer.
#include <cmath>
#include <limits>

#include "audiolib/capi/ApiSupport.h"
#include "audiolib/device/Device.h"
#include "audiolib/device/DeviceManager.h"
#include "audiolib/playback/StreamPlayback.h"
#include "audiolib/sample/Sample.h"
#include "audiolib/stream/TempoStream.h"

using namespace audiolib;
using namespace audiolib::api;

namespace {

std::shared_ptr<TempoStream> findTempoStream(DWORD handle) {
    return std::dynamic_pointer_cast<TempoStream>(findStream(handle));
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
    if (!BASS_ChannelPlay(handle, FALSE))
        return FALSE;
    // The playback exists once played; the start frame reaches the callback before the ring
    // has filled, and a frame already past starts at once.
    stream->playback()->playAt(frame);
    return succeed(TRUE);
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

DWORD TONVERA_ChannelGetLoopPasses(DWORD handle) {
    auto stream = findTempoStream(handle);
    if (!stream)
        return fail(BASS_ERROR_HANDLE, kBadDword);
    return succeed(static_cast<DWORD>(stream->loopPasses()));
}

}  // extern "C"
