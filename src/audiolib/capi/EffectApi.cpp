// Gain effects on streams.
#include "audiolib/capi/ApiSupport.h"
#include "audiolib/stream/Effect.h"

using namespace audiolib;
using namespace audiolib::api;

extern "C" {

HFX BASS_ChannelSetFX(DWORD handle, DWORD type, int /*priority*/) {
    // Gains commute, so the priority (the order of effects) changes nothing.
    auto stream = findStream(handle);
    if (!stream)
        return fail<HFX>(BASS_ERROR_HANDLE, 0);
    if (type != BASS_FX_BFX_VOLUME)
        return fail<HFX>(BASS_ERROR_ILLTYPE, 0);
    const int id = stream->gains().add();
    const HFX fx = HandleTable::instance().add(std::make_shared<Effect>(stream, id));
    if (fx == 0) {
        stream->gains().remove(id);
        return fail<HFX>(BASS_ERROR_MEM, 0);
    }
    return succeed(fx);
}

BOOL BASS_ChannelRemoveFX(DWORD handle, HFX fx) {
    auto effect = HandleTable::instance().findAs<Effect>(fx);
    if (!effect || effect->channelHandle() != handle)
        return fail(BASS_ERROR_HANDLE, FALSE);
    if (auto stream = effect->stream())
        stream->gains().remove(effect->id());
    HandleTable::instance().remove(fx);
    return succeed(TRUE);
}

BOOL BASS_FXSetParameters(HFX handle, const void* params) {
    auto effect = HandleTable::instance().findAs<Effect>(handle);
    auto stream = effect ? effect->stream() : nullptr;
    if (!stream)
        return fail(BASS_ERROR_HANDLE, FALSE);
    if (!params)
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    const auto* volume = static_cast<const BASS_BFX_VOLUME*>(params);
    if (!stream->gains().set(effect->id(), {volume->lChannel, volume->fVolume})) {
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    }
    return succeed(TRUE);
}

BOOL BASS_FXGetParameters(HFX handle, void* params) {
    auto effect = HandleTable::instance().findAs<Effect>(handle);
    auto stream = effect ? effect->stream() : nullptr;
    if (!stream)
        return fail(BASS_ERROR_HANDLE, FALSE);
    if (!params)
        return fail(BASS_ERROR_ILLPARAM, FALSE);
    GainEffects::Params current;
    if (!stream->gains().get(effect->id(), &current))
        return fail(BASS_ERROR_HANDLE, FALSE);
    auto* volume = static_cast<BASS_BFX_VOLUME*>(params);
    volume->lChannel = current.channel;
    volume->fVolume = current.gain;
    return succeed(TRUE);
}

}  // extern "C"
