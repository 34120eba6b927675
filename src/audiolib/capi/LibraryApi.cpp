// Library, device and configuration entry points.
#include <algorithm>

#include "audiolib/capi/ApiSupport.h"
#include "audiolib/core/Config.h"
#include "audiolib/device/DeviceManager.h"
#include "audiolib/playback/StreamPlayback.h"
#include "audiolib/sample/Sample.h"
#include "audiolib/stream/Stream.h"

using namespace audiolib;
using namespace audiolib::api;

extern "C" {

DWORD BASS_GetVersion() {
    return BASSVERSION;
}

DWORD BASS_FX_GetVersion() {
    return BASSFXVERSION;
}

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* /*win*/, const void* /*clsid*/) {
    return result(DeviceManager::instance().init(device, static_cast<int>(freq), flags));
}

BOOL BASS_Free() {
    int error = BASS_OK;
    auto device = DeviceManager::instance().current(&error);
    if (!device)
        return fail(error, FALSE);
    const std::uint64_t serial = device->serial();
    auto objects = HandleTable::instance().select(
        [serial](const LibObject& object) { return object.deviceSerial() == serial; });
    // Encoders and tempo streams first: they finish files and take their sources with them.
    std::stable_sort(objects.begin(), objects.end(), [](const auto& a, const auto& b) {
        auto rank = [](ObjectKind kind) {
            switch (kind) {
                case ObjectKind::Encoder:
                    return 0;
                case ObjectKind::TempoStream:
                    return 1;
                case ObjectKind::SampleChannel:
                    return 2;
                default:
                    return 3;
            }
        };
        return rank(a->kind()) < rank(b->kind());
    });
    for (const auto& object : objects) {
        if (!HandleTable::instance().find(object->handle()))
            continue;  // went with its owner
        switch (object->kind()) {
            case ObjectKind::Encoder:
                releaseEncoder(object->handle());
                break;
            case ObjectKind::SourceStream:
            case ObjectKind::TempoStream:
                releaseStream(std::static_pointer_cast<Stream>(object));
                break;
            case ObjectKind::SampleChannel:
                releaseSampleChannel(std::static_pointer_cast<SampleChannel>(object));
                break;
            case ObjectKind::Sample:
                releaseSample(std::static_pointer_cast<Sample>(object));
                break;
            case ObjectKind::Effect:
                HandleTable::instance().remove(object->handle());
                break;
        }
    }
    DeviceManager::instance().close(device);
    return succeed(TRUE);
}

DWORD BASS_GetDevice() {
    int error = BASS_OK;
    auto device = DeviceManager::instance().current(&error);
    if (!device)
        return fail(error, kBadDword);
    return succeed(static_cast<DWORD>(device->number()));
}

BOOL BASS_SetDevice(DWORD device) {
    if (device > 0x7fffffffU)
        return fail(BASS_ERROR_DEVICE, FALSE);
    return result(DeviceManager::instance().select(static_cast<int>(device)));
}

BOOL BASS_GetDeviceInfo(DWORD device, BASS_DEVICEINFO* info) {
    if (!info)
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    if (device == 0 || device > 0x7fffffffU)
        return fail(BASS_ERROR_DEVICE, FALSE);
    DeviceDescription description;
    if (!DeviceManager::instance().describe(static_cast<int>(device), &description)) {
        return fail(BASS_ERROR_DEVICE, FALSE);
    }
    info->name = description.name;
    info->driver = description.driver;
    info->flags = BASS_DEVICE_ENABLED | (description.isDefault ? BASS_DEVICE_DEFAULT : 0U) |
                  (description.open ? BASS_DEVICE_INIT : 0U);
    return succeed(TRUE);
}

BOOL BASS_GetInfo(BASS_INFO* info) {
    if (!info)
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    int error = BASS_OK;
    auto device = DeviceManager::instance().current(&error);
    if (!device)
        return fail(error, FALSE);
    const int rate = device->rate();
    auto toMs = [rate](double frames) { return static_cast<DWORD>(frames * 1000.0 / rate + 0.5); };
    *info = BASS_INFO{};
    info->minrate = static_cast<DWORD>(rate);
    info->maxrate = static_cast<DWORD>(rate);
    info->initflags = device->initFlags();
    info->speakers = 2;
    info->freq = static_cast<DWORD>(rate);
    if (!device->silent()) {
        // What must be queued for the output never to run dry, and how long a sound takes
        // from play to the speaker: the device buffer plus what the feeder renders ahead.
        info->minbuf = toMs(device->bufferFrames());
        info->latency = toMs(device->bufferFrames() + StreamPlayback::kAheadSeconds * rate);
    }
    return succeed(TRUE);
}

float BASS_GetVolume() {
    int error = BASS_OK;
    auto device = DeviceManager::instance().current(&error);
    if (!device)
        return fail(error, -1.0F);
    return succeed(device->mixer().masterVolume());
}

BOOL BASS_SetConfig(DWORD option, DWORD value) {
    if (option != BASS_CONFIG_UPDATEPERIOD)
        return fail(BASS_ERROR_ILLTYPE, FALSE);
    Config::instance().setUpdatePeriod(value);
    return succeed(TRUE);
}

DWORD BASS_GetConfig(DWORD option) {
    if (option != BASS_CONFIG_UPDATEPERIOD)
        return fail(BASS_ERROR_ILLTYPE, kBadDword);
    return succeed(Config::instance().updatePeriod());
}

int BASS_ErrorGetCode() {
    return lastError();
}

const char* BASS_ErrorGetText(int code) {
    return errorText(code);
}

}  // extern "C"
