// The hearing tools of the engine: the tuning in cents on top of the pitch, and the centre
// cancel, channel choice and focus filter of the music's tempo stream.
#include <cmath>

#include "engine/SoundEngine.h"

bool SoundEngine::setTuning(float cents) {
    if (!std::isfinite(cents) || std::fabs(cents) > kMaxTuning)
        return false;
    const float semitones = pitch();
    tuning_.store(cents, std::memory_order_relaxed);
    if (musicChannel() != 0)
        music_.setPitch(semitones, cents);
    return true;
}

float SoundEngine::tuning() const {
    return tuning_.load(std::memory_order_relaxed);
}

bool SoundEngine::setHearing(const formats::HearingSettings& settings) {
    if (musicChannel() != 0 && !music_.setHearing(settings))
        return false;
    if (musicChannel() == 0 && settings.focus.band == formats::FocusBand::Custom &&
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
