#include "audiolib/stretch/SoundTouchEngine.h"

#include <algorithm>
#include <cmath>

namespace audiolib {

// From bench/stretch_quality --tune: against SoundTouch's defaults (automatic sequence and seek
// window, 8 ms overlap) a longer fixed sequence with a wider overlap is 6 dB cleaner at tempo
// -25 % with pitch +2 (mean over six tones), the same within 1 dB at tempo or pitch alone, and
// spreads clicks less (17 ms against 21). The full overlap search costs about 2.3 times the
// defaults' CPU (still under 2 % of a core live); quick seek would give back the speed but
// lose 3 dB of that gain. 64 anti-alias taps are enough: the tempo stream's own low-pass takes
// care of aliasing.
const SoundTouchEngine::Tuning SoundTouchEngine::kMusic{82, 28, 20, 64, false};

SoundTouchEngine::SoundTouchEngine(int rate, int channels, const Tuning& tuning) : rate_(rate) {
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
    settings_ = settings;
    processor_.setTempo(settings.tempo);
    processor_.setPitch(settings.pitchScale);
    processor_.setRate(settings.rate);
}

void SoundTouchEngine::reset() {
    processor_.clear();
}

double SoundTouchEngine::heardLead() const {
    // WSOLA plays each sequence of the input at its own speed and splices the next one on
    // where it matches best, so that on average the input passes at the tempo. Slowed down,
    // the sequences overlap in the input, and a hit is first heard in the earliest sequence that
    // holds it, near that sequence's end: early by (1 - tempo) times how far into its sequence
    // it lies. That is on average the sequence less the faint end of its fade-out (0.3 of the
    // overlap) less half the input step; sped up, the same sum changes sign. Measured with
    // clicks (bench/stretch_quality --position): within 2 ms of this from tempo 0.5 to 1.3.
    const double stretchTempo = settings_.tempo / settings_.pitchScale;
    const double transpose = settings_.pitchScale * settings_.rate;
    // SoundTouch's own frame counts for these settings.
    const int sequence = rate_ * processor_.getSetting(SETTING_SEQUENCE_MS) / 1000;
    int overlap = rate_ * processor_.getSetting(SETTING_OVERLAP_MS) / 1000;
    overlap = std::max(16, overlap - overlap % 8);
    const double step = stretchTempo * (std::max(sequence, 2 * overlap) - overlap);
    double lead = (1.0 - stretchTempo) * (sequence - 0.3 * overlap - 0.5 * step);
    // The rate transposer's anti-alias filter hands out each frame half its length early, and
    // the cubic interpolation one frame: counted in the frames of the stage it works on.
    const double transposerLead = 1.0 + (processor_.getSetting(SETTING_USE_AA_FILTER) != 0
                                             ? 0.5 * processor_.getSetting(SETTING_AA_FILTER_LENGTH)
                                             : 0.0);
    if (transpose > 1.0) {
        // Stretched first, then transposed: the stretch works on source frames, the transposer
        // on stretched ones.
        lead += transposerLead * stretchTempo;
    } else {
        // Transposed first: both work on transposed frames, `transpose` source frames each.
        lead = (lead + transposerLead) * transpose;
    }
    return lead;
}

std::size_t SoundTouchEngine::startPad() const {
    // As much silence in front as the output would run ahead.
    const double lead = heardLead();
    return lead > 0.0 ? static_cast<std::size_t>(std::lround(lead)) : 0;
}

std::size_t SoundTouchEngine::startDelay() const {
    // Or, where it would lag, as much of the output dropped.
    const double lead = heardLead();
    return lead < 0.0 ? static_cast<std::size_t>(std::lround(-lead / settings_.sourcePerOutput()))
                      : 0;
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
