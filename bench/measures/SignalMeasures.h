// What the stretch benchmarks measure in a rendered signal: a tone's pitch and cleanliness, how
// evenly clicks come out, levels, and the onsets, envelopes and octave bands of a recording.
#ifndef TONVERA_BENCH_MEASURES_SIGNALMEASURES_H
#define TONVERA_BENCH_MEASURES_SIGNALMEASURES_H

#include <cmath>
#include <cstddef>
#include <vector>

namespace measures {

// Power spectrum of a Blackman-Harris window of n samples (a power of two) from the middle of x.
std::vector<double> powerSpectrum(const std::vector<float>& x, std::size_t n);
// The largest power of two up to 2^18 that `available` samples hold (at least 1024).
std::size_t spectrumSize(std::size_t available);

struct ToneFigures {
    double cents = NAN;
    double outOfBandDb = NAN;
};
// The tone's frequency (log-parabolic interpolation around the strongest bin) and the energy
// outside +-10 Hz of the expected frequency, with half a second left out at either end.
ToneFigures measureTone(const std::vector<float>& mono, double expectedHz, int rate);

// Onset of each click: the first sample after the expected place minus 100 ms that reaches
// 30 % of the strongest sample in that click's window. Returns output frames, one per click.
std::vector<double> clickOnsets(const std::vector<float>& mono, double interval, double ratio,
                                std::size_t clicksIn, int rate);

struct ClickFigures {
    double spreadMs = NAN;  // max - min of the onset offsets
    double offsetMs = NAN;  // median onset offset against source time / ratio
};
ClickFigures measureClicks(const std::vector<float>& mono, double interval, double ratio,
                           std::size_t clicksIn, int rate);

// Level of `out` against `in` (dB), half a second left out at either end.
double levelDb(const std::vector<float>& out, const std::vector<float>& in, int rate);

// Rises of a 5 ms RMS envelope (positive flux), one value per 5 ms hop.
std::vector<double> onsetStrength(const std::vector<float>& mono, int rate);
// Indices of local maxima above `threshold`, at least `gap` hops apart.
std::vector<std::size_t> peaks(const std::vector<double>& d, std::size_t from, std::size_t to,
                               double threshold, std::size_t gap);
// Octave-band levels (dB) of the long-term spectrum, 63 Hz to 16 kHz.
std::vector<double> octaveLevels(const std::vector<float>& mono, int rate);
// 10 ms RMS envelope every 2.5 ms (long enough not to ripple with the bass).
std::vector<double> envelope(const std::vector<float>& mono, int rate);

struct Hit {
    double attackMs = 0.0;   // time of the first attack peak after the window start
    double reattackMs = -1;  // a second attack (a dip of 6 dB, then back up by 6 dB or more)
};
// The attack in env[from, to): the first peak within 40 % of the window's top, then whether
// the envelope dips by 6 dB and rises again by 6 dB, to within 6 dB of that peak (a doubled
// hit).
Hit analyseHit(const std::vector<double>& env, std::size_t from, std::size_t to);

}  // namespace measures

#endif
