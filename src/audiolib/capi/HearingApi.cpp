// The hearing tools' entry points: centre cancel, channel choice and focus filter of a tempo
// stream.
#include <optional>

#include "audiolib/capi/ApiSupport.h"
#include "audiolib/dsp/ChannelChoice.h"
#include "audiolib/dsp/FocusFilter.h"
#include "audiolib/stream/TempoStream.h"

using namespace audiolib;
using namespace audiolib::api;

namespace {

std::optional<HearingSettings> settingsOf(const TONVERA_HEARING& in, int rate) {
    if (!isChannelChoice(static_cast<std::int32_t>(in.channels)) ||
        in.focus > static_cast<DWORD>(FocusBand::Custom)) {
        return std::nullopt;
    }
    HearingSettings out;
    out.channels = static_cast<ChannelChoice>(in.channels);
    out.focus.band = static_cast<FocusBand>(in.focus);
    out.focus.centreHz = in.focusCentre;
    out.focus.widthOctaves = in.focusWidth;
    out.focus.gainDb = in.focusGain;
    out.centreCancel = in.centreCancel != FALSE;
    if (out.focus.band == FocusBand::Custom &&
        (!out.focus.valid() || out.focus.centreHz >= 0.5F * static_cast<float>(rate))) {
        return std::nullopt;
    }
    if (out.focus.band != FocusBand::Custom)
        out.focus = FocusSpec{out.focus.band};  // the custom band's values mean nothing here
    return out;
}

}  // namespace

extern "C" {

BOOL TONVERA_ChannelSetHearing(DWORD handle, const TONVERA_HEARING* hearing) {
    auto stream = std::dynamic_pointer_cast<TempoStream>(findStream(handle));
    if (!stream)
        return fail(BASS_ERROR_HANDLE, FALSE);
    if (hearing == nullptr)
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    const auto settings = settingsOf(*hearing, stream->rate());
    if (!settings)
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    stream->setHearing(*settings);
    return succeed(TRUE);
}

BOOL TONVERA_ChannelGetHearing(DWORD handle, TONVERA_HEARING* hearing) {
    auto stream = std::dynamic_pointer_cast<TempoStream>(findStream(handle));
    if (!stream)
        return fail(BASS_ERROR_HANDLE, FALSE);
    if (hearing == nullptr)
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    const HearingSettings settings = stream->hearing();
    hearing->channels = static_cast<DWORD>(settings.channels);
    hearing->focus = static_cast<DWORD>(settings.focus.band);
    hearing->focusCentre = settings.focus.centreHz;
    hearing->focusWidth = settings.focus.widthOctaves;
    hearing->focusGain = settings.focus.gainDb;
    hearing->centreCancel = settings.centreCancel ? TRUE : FALSE;
    return succeed(TRUE);
}

}  // extern "C"
