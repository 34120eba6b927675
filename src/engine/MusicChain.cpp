#include "engine/MusicChain.h"

#include <algorithm>

#include "audiolib/audiolib.h"

std::uint32_t MusicChain::engineFlags(SoundQuality quality) {
    return quality == SoundQuality::Light ? TONVERA_FX_TEMPO_LIGHT : 0U;
}

float MusicChain::pitchWithTuning(float semitones, float cents) {
    constexpr float kMaxPitch = 60.0F;
    if (cents == 0.0F)
        return semitones;
    return std::clamp(semitones + cents / 100.0F, -kMaxPitch, kMaxPitch);
}

bool MusicChain::openSource(const std::string& path) {
    // Live playback mixes float; the export's WAV is 16-bit and its progress needs the exact
    // length up front, which a scan of the whole file gives.
    const DWORD flags = use_ == Use::Playback ? BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT
                                              : BASS_STREAM_DECODE | BASS_STREAM_PRESCAN;
    source_ = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, flags);
    errorCode_ = source_ == 0 ? BASS_ErrorGetCode() : 0;
    return source_ != 0;
}

bool MusicChain::makeTempoStream(std::uint32_t engineFlags) {
    // The live music starts again at its end; the export's stream ends there and is pulled.
    const DWORD flags = use_ == Use::Playback
                            ? BASS_FX_FREESOURCE | BASS_SAMPLE_LOOP | engineFlags
                            : BASS_STREAM_DECODE | BASS_FX_FREESOURCE | engineFlags;
    tempo_ = BASS_FX_TempoCreate(source_, flags);
    if (tempo_ != 0) {
        errorCode_ = 0;
        return true;
    }
    errorCode_ = BASS_ErrorGetCode();
    // The tempo stream did not take the source. On the export's no-sound device it goes with
    // the device; anywhere else (the player's device, which lives on) it would leak.
    if (use_ == Use::Playback || BASS_GetDevice() != 0)
        BASS_StreamFree(source_);
    source_ = 0;
    return false;
}

void MusicChain::addGain(float factor) const {
    // Neither result is examined: without the stage the music only sounds softer.
    const HFX gain = BASS_ChannelSetFX(tempo_, BASS_FX_BFX_VOLUME, 1);
    const BASS_BFX_VOLUME level{BASS_BFX_CHANALL, factor};
    BASS_FXSetParameters(gain, &level);
}

bool MusicChain::setTempo(float percent) const {
    return BASS_ChannelSetAttribute(tempo_, BASS_ATTRIB_TEMPO, percent) != FALSE;
}

bool MusicChain::setPitch(float semitones, float tuningCents) const {
    return BASS_ChannelSetAttribute(tempo_, BASS_ATTRIB_TEMPO_PITCH,
                                    pitchWithTuning(semitones, tuningCents)) != FALSE;
}

bool MusicChain::setRate(float hz) const {
    return BASS_ChannelSetAttribute(tempo_, BASS_ATTRIB_FREQ, hz) != FALSE;
}

bool MusicChain::setHearing(const formats::HearingSettings& hearing) const {
    TONVERA_HEARING values{};
    values.channels = static_cast<DWORD>(hearing.channels);
    values.focus = static_cast<DWORD>(hearing.focus.band);
    values.focusCentre = hearing.focus.centreHz;
    values.focusWidth = hearing.focus.widthOctaves;
    values.focusGain = hearing.focus.gainDb;
    values.centreCancel = hearing.centreCancel ? TRUE : FALSE;
    return TONVERA_ChannelSetHearing(tempo_, &values) != FALSE;
}

bool MusicChain::acceptsRate(float hz, float* ownRate) const {
    if (ownRate)
        BASS_ChannelGetAttribute(tempo_, BASS_ATTRIB_FREQ, ownRate);
    return setRate(hz);
}
