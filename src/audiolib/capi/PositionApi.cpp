// Lengths, positions and their conversions, and channel information.
#include <cmath>
#include <mutex>

#include "audiolib/capi/ApiSupport.h"
#include "audiolib/device/Device.h"
#include "audiolib/playback/StreamPlayback.h"
#include "audiolib/sample/Sample.h"
#include "audiolib/stream/Stream.h"

using namespace audiolib;
using namespace audiolib::api;

namespace {

// Format facts of any channel kind, for the byte/second arithmetic.
struct ChannelFormat {
    int rate = 0;
    std::uint32_t bytesPerFrame = 0;
};

bool formatOf(DWORD handle, ChannelFormat* format) {
    if (auto stream = findStream(handle)) {
        *format = {stream->rate(), stream->bytesPerFrame()};
        return true;
    }
    if (auto channel = findSampleChannel(handle)) {
        const SampleData& data = channel->voice().data();
        *format = {data.rate, static_cast<std::uint32_t>(data.channels) * 4U};
        return true;
    }
    return false;
}

}  // namespace

extern "C" {

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
    if (auto stream = findStream(handle)) {
        if (mode != BASS_POS_BYTE)
            return fail(BASS_ERROR_NOTAVAIL, kBadQword);
        return succeed(stream->lengthFrames() * stream->bytesPerFrame());
    }
    if (auto channel = findSampleChannel(handle)) {
        if (mode != BASS_POS_BYTE)
            return fail(BASS_ERROR_NOTAVAIL, kBadQword);
        const SampleData& data = channel->voice().data();
        return succeed(static_cast<QWORD>(data.frames.size()) * 4U);
    }
    return fail(BASS_ERROR_HANDLE, kBadQword);
}

QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
    if (auto stream = findStream(handle)) {
        if (mode != BASS_POS_BYTE)
            return fail(BASS_ERROR_NOTAVAIL, kBadQword);
        double frame = 0.0;
        if (const StreamPlayback* playback = stream->playback()) {
            frame = playback->position();  // lock-free: what is being heard
        } else {
            std::lock_guard lock(stream->mutex());
            frame = stream->position();
        }
        const auto whole = static_cast<QWORD>(std::max(0.0, std::floor(frame)));
        return succeed(std::min(whole, stream->lengthFrames()) * stream->bytesPerFrame());
    }
    if (auto channel = findSampleChannel(handle)) {
        if (mode != BASS_POS_BYTE)
            return fail(BASS_ERROR_NOTAVAIL, kBadQword);
        const SampleData& data = channel->voice().data();
        return succeed(channel->voice().position() * static_cast<QWORD>(data.channels) * 4U);
    }
    return fail(BASS_ERROR_HANDLE, kBadQword);
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    auto stream = findStream(handle);
    if (!stream) {
        return fail(findSampleChannel(handle) ? BASS_ERROR_NOTAVAIL : BASS_ERROR_HANDLE, FALSE);
    }
    if (mode != BASS_POS_BYTE)
        return fail(BASS_ERROR_NOTAVAIL, FALSE);
    const QWORD frame = pos / stream->bytesPerFrame();
    if (frame > stream->lengthFrames())
        return fail(BASS_ERROR_POSITION, FALSE);
    if (StreamPlayback* playback = stream->playback()) {
        // The feeder seeks and the callback fades across; the position reads the target at once.
        playback->requestSeek(static_cast<double>(frame));
        if (auto device = stream->device())
            device->feeder().wake();
        return succeed(TRUE);
    }
    std::lock_guard lock(stream->mutex());
    if (!stream->seek(frame))
        return fail(BASS_ERROR_POSITION, FALSE);
    return succeed(TRUE);
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    ChannelFormat format;
    if (!formatOf(handle, &format))
        return fail(BASS_ERROR_HANDLE, -1.0);
    const double frames = static_cast<double>(pos / format.bytesPerFrame);
    return succeed(frames / format.rate);
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
    ChannelFormat format;
    if (!formatOf(handle, &format))
        return fail(BASS_ERROR_HANDLE, kBadQword);
    if (!std::isfinite(pos) || pos < 0.0 || pos > 1e12)
        return fail(BASS_ERROR_ILLPARAM, kBadQword);
    const auto frames = static_cast<QWORD>(std::floor(pos * format.rate));
    return succeed(frames * format.bytesPerFrame);
}

BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO* info) {
    if (!info)
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    if (auto stream = findStream(handle)) {
        *info = BASS_CHANNELINFO{};
        info->freq = static_cast<DWORD>(stream->rate());
        info->chans = static_cast<DWORD>(stream->channels());
        info->flags = stream->flags();
        info->origres = static_cast<DWORD>(stream->sourceBits());
        info->filename = stream->filename().c_str();
        return succeed(TRUE);
    }
    if (auto channel = findSampleChannel(handle)) {
        const SampleData& data = channel->voice().data();
        *info = BASS_CHANNELINFO{};
        info->freq = static_cast<DWORD>(data.rate);
        info->chans = static_cast<DWORD>(data.channels);
        info->flags = channel->flags();
        info->origres = static_cast<DWORD>(data.sourceBits);
        info->sample = channel->sampleHandle();
        info->filename = channel->filename().c_str();
        return succeed(TRUE);
    }
    return fail(BASS_ERROR_HANDLE, FALSE);
}

}  // extern "C"
