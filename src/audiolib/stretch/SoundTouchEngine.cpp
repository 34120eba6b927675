#include "audiolib/stretch/SoundTouchEngine.h"

namespace audiolib {

const SoundTouchEngine::Tuning SoundTouchEngine::kMusic{0, 0, 8, 64, false};

SoundTouchEngine::SoundTouchEngine(int rate, int channels, const Tuning& tuning) {
    processor_.setSampleRate(static_cast<unsigned>(rate));
    processor_.setChannels(static_cast<unsigned>(channels));
    processor_.setSetting(SETTING_USE_AA_FILTER, 1);
    processor_.setSetting(SETTING_AA_FILTER_LENGTH, tuning.antiAliasLength);
    processor_.setSetting(SETTING_USE_QUICKSEEK, tuning.quickSeek ? 1 : 0);
    // 0 leaves sequence and seek window to SoundTouch's tempo-dependent choice.
    processor_.setSetting(SETTING_SEQUENCE_MS, tuning.sequenceMs);
    processor_.setSetting(SETTING_SEEKWINDOW_MS, tuning.seekWindowMs);
    processor_.setSetting(SETTING_OVERLAP_MS, tuning.overlapMs);
}

void SoundTouchEngine::setSettings(const StretchSettings& settings) {
    processor_.setTempo(settings.tempo);
    processor_.setPitch(settings.pitchScale);
    processor_.setRate(settings.rate);
}

void SoundTouchEngine::reset() {
    processor_.clear();
}

std::size_t SoundTouchEngine::startDelay() const {
    return 0;
}

void SoundTouchEngine::put(const float* frames, std::size_t count) {
    processor_.putSamples(frames, static_cast<unsigned>(count));
}

std::size_t SoundTouchEngine::available() const {
    return processor_.numSamples();
}

std::size_t SoundTouchEngine::take(float* out, std::size_t frames) {
    return processor_.receiveSamples(out, static_cast<unsigned>(frames));
}

}  // namespace audiolib
