// Encoders tapping decoding channels.
#include <algorithm>
#include <mutex>
#include <string>

#include "audiolib/FileEncoder.h"
#include "audiolib/capi/ApiSupport.h"
#include "audiolib/encode/EncoderTap.h"
#include "audiolib/encode/QueuedFileEncoder.h"
#include "audiolib/stream/Stream.h"

using namespace audiolib;
using namespace audiolib::api;

namespace {

HENCODE startEncoder(DWORD handle, const char* path, EncodedFormat format) {
    auto stream = findStream(handle);
    if (!stream)
        return fail<HENCODE>(BASS_ERROR_HANDLE, 0);
    if (!stream->decoding())
        return fail<HENCODE>(BASS_ERROR_DECODE, 0);
    if (!path || !*path)
        return fail<HENCODE>(BASS_ERROR_CREATE, 0);
    std::string reason;
    auto encoder = FileEncoder::create(path, format, stream->rate(), stream->channels(), &reason);
    if (!encoder)
        return fail<HENCODE>(BASS_ERROR_CREATE, 0);
    // Encoding runs beside the pulling thread, so an export uses both cores.
    auto queued = std::make_unique<QueuedFileEncoder>(std::move(encoder), stream->channels());
    auto tap = std::make_shared<EncoderTap>(stream->deviceSerial(), handle, std::move(queued));
    const HENCODE result = HandleTable::instance().add(tap);
    if (result == 0)
        return fail<HENCODE>(BASS_ERROR_MEM, 0);
    std::lock_guard lock(stream->mutex());
    stream->encoders().push_back(std::move(tap));
    return succeed(result);
}

}  // namespace

extern "C" {

HENCODE BASS_Encode_Start(DWORD handle, const char* cmdline, DWORD flags, ENCODEPROC* proc,
                          void* /*user*/) {
    if ((flags & BASS_ENCODE_PCM) == 0)
        return fail<HENCODE>(BASS_ERROR_ILLTYPE, 0);
    if (proc)
        return fail<HENCODE>(BASS_ERROR_ILLPARAM, 0);
    return startEncoder(handle, cmdline, EncodedFormat::Wav16);
}

HENCODE BASS_Encode_StartCAFile(DWORD handle, DWORD ftype, DWORD atype, DWORD /*flags*/,
                                DWORD bitrate, const char* filename) {
    EncodedFormat format;
    if (ftype == BASS_CA_FILE_MP4) {
        if (atype != BASS_CA_CODEC_AAC)
            return fail<HENCODE>(BASS_ERROR_CODEC, 0);
        format = EncodedFormat::Mp4Aac;
    } else if (ftype == BASS_CA_FILE_M4A) {
        if (atype != BASS_CA_CODEC_ALAC)
            return fail<HENCODE>(BASS_ERROR_CODEC, 0);
        format = EncodedFormat::M4aAlac;
    } else {
        return fail<HENCODE>(BASS_ERROR_ILLTYPE, 0);
    }
    // Only the codec's own default rate is offered; refusing beats silently ignoring a request.
    if (bitrate != 0)
        return fail<HENCODE>(BASS_ERROR_ILLPARAM, 0);
    return startEncoder(handle, filename, format);
}

DWORD BASS_Encode_IsActive(DWORD handle) {
    if (auto tap = HandleTable::instance().findAs<EncoderTap>(handle)) {
        return succeed(tap->alive() ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED);
    }
    auto stream = findStream(handle);
    if (!stream)
        return fail(BASS_ERROR_HANDLE, BASS_ACTIVE_STOPPED);
    std::lock_guard lock(stream->mutex());
    if (stream->encoders().empty())
        return fail(BASS_ERROR_HANDLE, BASS_ACTIVE_STOPPED);
    for (const auto& tap : stream->encoders()) {
        if (tap->alive())
            return succeed(BASS_ACTIVE_PLAYING);
    }
    return succeed(BASS_ACTIVE_STOPPED);
}

DWORD TONVERA_Encode_GetError(DWORD handle, char* buffer, DWORD size) {
    std::string text;
    if (auto tap = HandleTable::instance().findAs<EncoderTap>(handle)) {
        text = tap->error();
    } else if (auto stream = findStream(handle)) {
        std::lock_guard lock(stream->mutex());
        for (const auto& t : stream->encoders()) {
            text = t->error();
            if (!text.empty())
                break;
        }
        if (text.empty())
            text = stream->encoderFailure();
    } else {
        return fail<DWORD>(BASS_ERROR_HANDLE, 0);
    }
    if (buffer && size > 0) {
        const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
        text.copy(buffer, n);
        buffer[n] = '\0';
    }
    return succeed(static_cast<DWORD>(text.size()));
}

BOOL BASS_Encode_Stop(DWORD handle) {
    if (HandleTable::instance().findAs<EncoderTap>(handle)) {
        if (!releaseEncoder(handle))
            return fail(BASS_ERROR_UNKNOWN, FALSE);
        return succeed(TRUE);
    }
    auto stream = findStream(handle);
    if (!stream)
        return fail(BASS_ERROR_HANDLE, FALSE);
    std::vector<DWORD> handles;
    {
        std::lock_guard lock(stream->mutex());
        for (const auto& tap : stream->encoders())
            handles.push_back(tap->handle());
    }
    if (handles.empty())
        return fail(BASS_ERROR_HANDLE, FALSE);
    bool finished = true;
    for (const DWORD encoder : handles)
        finished = releaseEncoder(encoder) && finished;
    if (!finished)
        return fail(BASS_ERROR_UNKNOWN, FALSE);
    return succeed(TRUE);
}

}  // extern "C"
