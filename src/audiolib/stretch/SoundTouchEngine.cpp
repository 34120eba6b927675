#include "audiolib/stretch/SoundTouchEngine.h"

#include <algorithm>
#include <cmath>

namespace audiolib {

// From bench/stretch_quality --tune (out-of-band energy of six tones at tempo -25 %, pitch +2
// and both; the 440 Hz figures alone swing by 5 dB and more with a few milliseconds of sequence,
// so the mean over the tones is the guide). Tempo alone: a long sequence with quick seek is the
// cleanest on every tone (mean -60.7 dB against -49.2 for the settings before) and the cheapest;
// its price is a wider spread of hits at slow tempo. Transposing: 82 ms sequences with a 20 ms
// overlap, searched in full; quick seek loses 5 to 10 dB here. A seek window below 18 ms costs
// less but pulls the pitch down by more than 0.2 cent (SoundTouch favours the middle of the
// window, more steeply the shorter it is); 28 ms costs twice the CPU for 0.1 dB.
const SoundTouchEngine::Tuning SoundTouchEngine::kTempoOnly{100, 15, 20, 64, true};
const SoundTouchEngine::Tuning SoundTouchEngine::kTransposing{82, 18, 20, 64, false};

SoundTouchEngine::SoundTouchEngine(int rate, int channels, const Tuning& tempoOnly,
                                   const Tuning& transposing)
    : rate_(rate), tempoOnly_(tempoOnly), transposing_(transposing) {
    processor_.setSampleRate(static_cast<unsigned>(rate));
    processor_.setChannels(static_cast<unsigned>(channels));
    processor_.setSetting(SETTING_USE_AA_FILTER, 0);
    apply(tempoOnly_);
}

void SoundTouchEngine::apply(const Tuning& tuning) {
    if (tuning == applied_)
        return;
    applied_ = tuning;
    if (tuning.antiAliasLength > 0)
        processor_.setSetting(SETTING_AA_FILTER_LENGTH, tuning.antiAliasLength);
    processor_.setSetting(SETTING_USE_QUICKSEEK, tuning.quickSeek ? 1 : 0);
    // 0 leaves sequence and seek window to SoundTouch's tempo-dependent choice.
    processor_.setSetting(SETTING_SEQUENCE_MS, tuning.sequenceMs);
    processor_.setSetting(SETTING_SEEKWINDOW_MS, tuning.seekWindowMs);
    processor_.setSetting(SETTING_OVERLAP_MS, tuning.overlapMs);
}

void SoundTouchEngine::setSettings(const StretchSettings& settings) {
    settings_ = settings;
    const double transpose = settings.pitchScale * settings.rate;
    apply(transpose == 1.0 ? tempoOnly_ : transposing_);
    processor_.setTempo(settings.tempo);
    processor_.setPitch(settings.pitchScale);
    processor_.setRate(settings.rate);
    // Only transposing down needs it (at 1 it would cost a filter pass for nothing). Switched
    // on or off, it moves the output by half its length, once: next to where SoundTouch itself
    // reorders its stages, which moves it too.
    processor_.setSetting(SETTING_USE_AA_FILTER,
                          transpose < 1.0 && applied_.antiAliasLength > 0 ? 1 : 0);
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
