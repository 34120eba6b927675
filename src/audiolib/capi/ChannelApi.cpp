// Transport of channels: play, pause, stop and their state.
#include <mutex>

#include "audiolib/capi/ApiSupport.h"
#include "audiolib/device/Device.h"
#include "audiolib/playback/StreamPlayback.h"
#include "audiolib/sample/Sample.h"
#include "audiolib/stream/Stream.h"

using namespace audiolib;
using namespace audiolib::api;

namespace audiolib::api {

BOOL playStream(const std::shared_ptr<Stream>& stream, bool restart, QWORD startFrame) {
    if (stream->decoding())
        return fail(BASS_ERROR_DECODE, FALSE);
    auto device = stream->device();
    if (!device)
        return fail(BASS_ERROR_INIT, FALSE);
    StreamPlayback* playback = nullptr;
    {
        std::lock_guard lock(stream->mutex());
        playback = &stream->ensurePlayback(device->playbackTarget());
    }
    if (!device->mixer().add(&playback->voice()))
        return fail(BASS_ERROR_NOCHAN, FALSE);
    if (stream->freed()) {  // freed by another thread meanwhile
        device->mixer().remove(&playback->voice());
        return fail(BASS_ERROR_HANDLE, FALSE);
    }
    if (restart)
        playback->requestSeek(0.0);
    if (startFrame != 0)
        playback->playAt(startFrame);
    else
        playback->play();
    // The feeder starts the output once the ring holds audio, so the first callback does not
    // find it empty. Added after play(): its wake-up then sees the stream playing.
    device->feeder().add(stream);
    return succeed(TRUE);
}

}  // namespace audiolib::api

namespace {

BOOL playSampleChannel(const std::shared_ptr<SampleChannel>& channel, bool restart) {
    auto device = channel->device();
    if (!device)
        return fail(BASS_ERROR_INIT, FALSE);
    channel->voice().play(restart);
    device->startOutput();
    // The feeder decides when the device may rest again, so it must know a sample sounds.
    device->feeder().wake();
    return succeed(TRUE);
}

}  // namespace

extern "C" {

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    if (auto stream = findStream(handle))
        return playStream(stream, restart != FALSE);
    if (auto channel = findSampleChannel(handle)) {
        return playSampleChannel(channel, restart != FALSE);
    }
    return fail(BASS_ERROR_HANDLE, FALSE);
}

BOOL BASS_ChannelPause(DWORD handle) {
    if (auto stream = findStream(handle)) {
        if (stream->decoding())
            return fail(BASS_ERROR_DECODE, FALSE);
        StreamPlayback* playback = stream->playback();
        if (!playback)
            return fail(BASS_ERROR_NOPLAY, FALSE);
        switch (playback->state()) {
            case StreamPlayback::State::Paused:
                return fail(BASS_ERROR_ALREADY, FALSE);
            case StreamPlayback::State::Stopped:
                return fail(BASS_ERROR_NOPLAY, FALSE);
            case StreamPlayback::State::Playing:
                break;
        }
        if (playback->finished())
            return fail(BASS_ERROR_NOPLAY, FALSE);
        playback->pause();
        return succeed(TRUE);
    }
    if (auto channel = findSampleChannel(handle)) {
        if (channel->voice().paused())
            return fail(BASS_ERROR_ALREADY, FALSE);
        if (!channel->voice().sounding())
            return fail(BASS_ERROR_NOPLAY, FALSE);
        channel->voice().pause();
        return succeed(TRUE);
    }
    return fail(BASS_ERROR_HANDLE, FALSE);
}

BOOL BASS_ChannelStop(DWORD handle) {
    if (auto stream = findStream(handle)) {
        if (stream->decoding())
            return fail(BASS_ERROR_DECODE, FALSE);
        if (StreamPlayback* playback = stream->playback())
            playback->stop();
        return succeed(TRUE);
    }
    if (auto channel = findSampleChannel(handle)) {
        channel->voice().stop();
        return succeed(TRUE);
    }
    return fail(BASS_ERROR_HANDLE, FALSE);
}

DWORD BASS_ChannelIsActive(DWORD handle) {
    if (auto stream = findStream(handle)) {
        if (stream->decoding()) {
            std::lock_guard lock(stream->mutex());
            return succeed(stream->ended() ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING);
        }
        const StreamPlayback* playback = stream->playback();
        if (!playback)
            return succeed(BASS_ACTIVE_STOPPED);
        switch (playback->state()) {
            case StreamPlayback::State::Playing:
                return succeed(playback->finished() ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING);
            case StreamPlayback::State::Paused:
                return succeed(BASS_ACTIVE_PAUSED);
            case StreamPlayback::State::Stopped:
                return succeed(BASS_ACTIVE_STOPPED);
        }
    }
    if (auto channel = findSampleChannel(handle)) {
        if (channel->voice().sounding())
            return succeed(BASS_ACTIVE_PLAYING);
        if (channel->voice().paused())
            return succeed(BASS_ACTIVE_PAUSED);
        return succeed(BASS_ACTIVE_STOPPED);
    }
    return fail(BASS_ERROR_HANDLE, BASS_ACTIVE_STOPPED);
}

}  // extern "C"
