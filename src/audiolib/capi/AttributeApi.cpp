// Channel attributes and the tempo ratio.
#include <cmath>

#include "audiolib/capi/ApiSupport.h"
#include "audiolib/sample/Sample.h"
#include "audiolib/stream/TempoStream.h"

using namespace audiolib;
using namespace audiolib::api;

extern "C" {

BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
    if (auto stream = findStream(handle))
        return result(stream->setAttribute(attrib, value));
    if (auto channel = findSampleChannel(handle)) {
        if (attrib != BASS_ATTRIB_VOL)
            return fail(BASS_ERROR_ILLTYPE, FALSE);
        if (!std::isfinite(value) || value < 0.0F)
            return fail(BASS_ERROR_ILLPARAM, FALSE);
        channel->voice().setVolume(value);
        return succeed(TRUE);
    }
    return fail(BASS_ERROR_HANDLE, FALSE);
}

BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
    if (!value)
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    if (auto stream = findStream(handle)) {
        float read = 0.0F;
        const int code = stream->getAttribute(attrib, &read);
        if (code != BASS_OK)
            return fail(code, FALSE);
        *value = read;
        return succeed(TRUE);
    }
    if (auto channel = findSampleChannel(handle)) {
        switch (attrib) {
            case BASS_ATTRIB_VOL:
                *value = channel->voice().volume();
                return succeed(TRUE);
            case BASS_ATTRIB_FREQ:
                *value = static_cast<float>(channel->voice().data().rate);
                return succeed(TRUE);
            default:
                return fail(BASS_ERROR_ILLTYPE, FALSE);
        }
    }
    return fail(BASS_ERROR_HANDLE, FALSE);
}

float BASS_FX_TempoGetRateRatio(DWORD handle) {
    auto tempo = HandleTable::instance().findAs<TempoStream>(handle);
    if (!tempo)
        return fail(BASS_ERROR_HANDLE, 0.0F);
    return succeed(static_cast<float>(tempo->rateRatio()));
}

}  // extern "C"
