// Making and freeing streams.
#include <string>

#include "audiolib/capi/ApiSupport.h"
#include "audiolib/device/DeviceManager.h"
#include "audiolib/stream/SourceStream.h"
#include "audiolib/stream/TempoStream.h"

using namespace audiolib;
using namespace audiolib::api;

extern "C" {

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
    if (mem)
        return fail<HSTREAM>(BASS_ERROR_NOTAVAIL, 0);  // only files are supported
    if (!file)
        return fail<HSTREAM>(BASS_ERROR_FILEOPEN, 0);
    if (offset != 0 || length != 0)
        return fail<HSTREAM>(BASS_ERROR_ILLPARAM, 0);
    int error = BASS_OK;
    auto device = DeviceManager::instance().current(&error);
    if (!device)
        return fail<HSTREAM>(error, 0);
    std::string reason;
    auto stream = SourceStream::open(device, device->serial(), static_cast<const char*>(file),
                                     flags & ~BASS_UNICODE, &error, &reason);
    if (!stream)
        return fail<HSTREAM>(error, 0);
    const HSTREAM handle = HandleTable::instance().add(stream);
    if (handle == 0)
        return fail<HSTREAM>(BASS_ERROR_MEM, 0);
    return succeed(handle);
}

HSTREAM BASS_FX_TempoCreate(DWORD chan, DWORD flags) {
    auto source = HandleTable::instance().findAs<SourceStream>(chan);
    if (!source)
        return fail<HSTREAM>(BASS_ERROR_HANDLE, 0);
    if (!source->decoding())
        return fail<HSTREAM>(BASS_ERROR_DECODE, 0);
    if (!source->device())
        return fail<HSTREAM>(BASS_ERROR_INIT, 0);
    if (!source->claim())
        return fail<HSTREAM>(BASS_ERROR_ALREADY, 0);
    auto tempo = std::make_shared<TempoStream>(flags, source);
    const HSTREAM handle = HandleTable::instance().add(tempo);
    if (handle == 0)
        return fail<HSTREAM>(BASS_ERROR_MEM, 0);
    return succeed(handle);
}

BOOL BASS_StreamFree(HSTREAM handle) {
    auto stream = findStream(handle);
    if (!stream)
        return fail(BASS_ERROR_HANDLE, FALSE);
    // A source belongs to its tempo stream, which frees it (or lets go of it) itself.
    if (auto source = std::dynamic_pointer_cast<SourceStream>(stream); source && source->owned()) {
        return fail(BASS_ERROR_HANDLE, FALSE);
    }
    releaseStream(stream);
    return succeed(TRUE);
}

BOOL BASS_MusicFree(HMUSIC /*handle*/) {
    return fail(BASS_ERROR_HANDLE, FALSE);
}

}  // extern "C"
