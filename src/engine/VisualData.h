// The arithmetic that turns raw channel data into drawing units for the visualisation. Kept apart
// from the engine so it can be checked on data fed to it directly.
#ifndef TONVERA_ENGINE_VISUALDATA_H
#define TONVERA_ENGINE_VISUALDATA_H

#include <cstddef>
#include <vector>

namespace visualdata {

// Magnitudes a 2048-point FFT gives (bins 0..1023; 0 is DC).
constexpr int kFftBins = 1024;
// The most frames one waveform request reads; larger requests keep their scale but read this many.
constexpr int kMaxWaveFrames = 1 << 16;

// Bins 1..size/2 as trunc(sqrt(m) * 3.0 * height - 4.0), capped at height with no lower bound.
// size/2 is bounded to the 1023 bins the FFT has above DC; a size below 2 gives an empty list.
std::vector<int> scaleSpectrum(const float (&bins)[kFftBins], int size, int height);

// One connected trace per channel: frame i of channel c targets trunc((1 - s) * scale * 0.5),
// bounded to 0..height-1, and the running level walks to each target in unit steps.
// `interleaved` holds frames * channels floats; `scale` is the caller's size argument.
std::vector<std::vector<int>> traceWaveform(const float* interleaved, int channels, int frames,
                                            int scale, int height);

}  // namespace visualdata

#endif
