// The hearing tools of the engine: the tuning in cents on top of the pitch, and the centre
// cancel, channel choice and focus filter of the music's tempo stream.
#include <algorithm>
#include <cmath>

#include "audiolib/audiolib.h"
#include "engine/SoundEngine.h"

float SoundEngine::pitchWithTuning(float semitones, float cents) {
    constexpr float kMaxPitch = 60.0F;
    if (cents == 0.0F)
        return semitones;
    return std::clamp(semitones + cents / 100.0F, -kMaxPitch, kMaxPitch);
}

bool SoundEngine::setTuning(float cents) {
    if (!std::isfinite(cents) || std::fabs(cents) > kMaxTuning)
        return false;
    const float semitones = pitch();
    tuning_.store(cents, std::memory_order_relaxed);
    if (musicChannel_ != 0)
        BASS_ChannelSetAttribute(musicChannel_, BASS_ATTRIB_TEMPO_PITCH,
                                 pitchWithTuning(semitones, cents));
    return true;
}

float SoundEngine::tuning() const {
    return tuning_.load(std::memory_order_relaxed);
}

bool SoundEngine::applyHearing(std::uint32_t channel, const formats::HearingSettings& settings) {
    TONVERA_HEARING hearing{};
    hearing.channels = static_cast<DWORD>(settings.channels);
    hearing.focus = static_cast<DWORD>(settings.focus.band);
    hearing.focusCentre = settings.focus.centreHz;
    hearing.focusWidth = settings.focus.widthOctaves;
    hearing.focusGain = settings.focus.gainDb;
    hearing.centreCancel = settings.centreCancel ? TRUE : FALSE;
    return TONVERA_ChannelSetHearing(channel, &hearing) != FALSE;
}

bool SoundEngine::setHearing(const formats::HearingSettings& settings) {
    if (musicChannel_ != 0 && !applyHearing(musicChannel_, settings))
        return false;
    if (musicChannel_ == 0 && settings.focus.band == formats::FocusBand::Custom &&
        !settings.focus.valid()) {
        return false;
    }
    std::lock_guard lock(hearingMutex_);
    hearing_ = settings;
    return true;
}

formats::HearingSettings SoundEngine::hearing() const {
    std::lock_guard lock(hearingMutex_);
    return hearing_;
}
