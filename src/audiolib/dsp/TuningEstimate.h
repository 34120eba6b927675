// How far a recording sits from concert pitch (A = 440 Hz): the strongest spectral peaks of
// the music, each measured to a fraction of a bin, fall a little off the equal-tempered grid;
// their deviations, weighted by level and averaged on the circle of ±50 cents, give the offset.
#ifndef TONVERA_AUDIOLIB_DSP_TUNINGESTIMATE_H
#define TONVERA_AUDIOLIB_DSP_TUNINGESTIMATE_H

#include <cstddef>
#include <optional>

namespace audiolib {

struct Tuning {
    double cents = 0.0;       // how far the recording is sharp (+) or flat (−) of A = 440
    double confidence = 0.0;  // 0..1: how well the peaks agree
};

// Mono frames at `rate`. Nullopt when there is too little tonal music to tell (silence,
// noise, less than about a second).
std::optional<Tuning> estimateTuning(const float* mono, std::size_t frames, int rate);

}  // namespace audiolib

#endif
