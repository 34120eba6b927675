// One-shot samples: loaded once into memory, played through their channels.
#include <string>

#include "audiolib/capi/ApiSupport.h"
#include "audiolib/device/DeviceManager.h"
#include "audiolib/sample/Sample.h"

using namespace audiolib;
using namespace audiolib::api;

extern "C" {

HSAMPLE BASS_SampleLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD max,
                        DWORD flags) {
    if (mem)
        return fail<HSAMPLE>(BASS_ERROR_NOTAVAIL, 0);  // only files are supported
    if (!file)
        return fail<HSAMPLE>(BASS_ERROR_FILEOPEN, 0);
    if (offset != 0 || length != 0 || max < 1 || max > 65535) {
        return fail<HSAMPLE>(BASS_ERROR_ILLPARAM, 0);
    }
    int error = BASS_OK;
    auto device = DeviceManager::instance().current(&error);
    if (!device)
        return fail<HSAMPLE>(error, 0);
    std::string reason;
    const std::string path = static_cast<const char*>(file);
    auto data =
        SampleData::load(path, (flags & BASS_SAMPLE_MONO) != 0, device->rate(), &error, &reason);
    if (!data)
        return fail<HSAMPLE>(error, 0);
    auto sample = std::make_shared<Sample>(device, device->serial(), flags & ~BASS_UNICODE,
                                           static_cast<int>(max), std::move(data), path);
    const HSAMPLE handle = HandleTable::instance().add(sample);
    if (handle == 0)
        return fail<HSAMPLE>(BASS_ERROR_MEM, 0);
    return succeed(handle);
}

BOOL BASS_SampleFree(HSAMPLE handle) {
    auto sample = findSample(handle);
    if (!sample)
        return fail(BASS_ERROR_HANDLE, FALSE);
    releaseSample(sample);
    return succeed(TRUE);
}

HCHANNEL BASS_SampleGetChannel(HSAMPLE handle, DWORD /*flags*/) {
    // Every request makes a new channel (BASS_SAMCHAN_NEW or not), up to the sample's maximum.
    auto sample = findSample(handle);
    if (!sample)
        return fail<HCHANNEL>(BASS_ERROR_HANDLE, 0);
    auto device = sample->device();
    if (!device)
        return fail<HCHANNEL>(BASS_ERROR_INIT, 0);
    auto channel = sample->makeChannel();
    if (!channel)
        return fail<HCHANNEL>(BASS_ERROR_NOCHAN, 0);
    const HCHANNEL result = HandleTable::instance().add(channel);
    if (result == 0)
        return fail<HCHANNEL>(BASS_ERROR_MEM, 0);
    // Before the voice reaches the callback, which reads the clock from then on.
    channel->voice().attachClock(&device->mixer().clock());
    if (!device->mixer().add(&channel->voice())) {
        HandleTable::instance().remove(result);
        sample->forgetChannel(result);
        return fail<HCHANNEL>(BASS_ERROR_NOCHAN, 0);
    }
    return succeed(result);
}

}  // extern "C"
