// Test signals of the stretch benchmarks that the shared test fixtures do not make.
#ifndef TONVERA_BENCH_MEASURES_TESTSIGNALS_H
#define TONVERA_BENCH_MEASURES_TESTSIGNALS_H

#include <vector>

namespace measures {

// Noise with every bin between lowHz and highHz at equal level and random phase (periodic, so
// it can be tiled), normalised to -6 dBFS peak.
std::vector<float> bandNoise(double lowHz, double highHz, double seconds, int rate);
// A mono signal on both channels, interleaved.
std::vector<float> stereo(const std::vector<float>& mono);

}  // namespace measures

#endif
