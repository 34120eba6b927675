#include "engine/VisualData.h"

#include <algorithm>
#include <cmath>

namespace visualdata {

std::vector<int> scaleSpectrum(const float (&bins)[kFftBins], int size, int height) {
    std::vector<int> values;
    const int count = std::min(size / 2, kFftBins - 1);
    // A negative height has no drawing meaning and would overflow the integer conversion.
    if (count <= 0 || height < 0)
        return values;
    values.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double magnitude = bins[i + 1];
        // A negative or NaN magnitude cannot come from an FFT; read it as silence, not as NaN.
        const double root = magnitude > 0.0 ? std::sqrt(magnitude) : 0.0;
        const double scaled = root * 3.0 * height - 4.0;
        values.push_back(scaled >= static_cast<double>(height) ? height : static_cast<int>(scaled));
    }
    return values;
}

std::vector<std::vector<int>> traceWaveform(const float* interleaved, int channels, int frames,
                                            int scale, int height) {
    std::vector<std::vector<int>> traces;
    if (channels <= 0)
        return traces;
    traces.resize(static_cast<std::size_t>(channels));
    if (frames <= 0 || height <= 0 || interleaved == nullptr)
        return traces;

    const float fscale = static_cast<float>(scale);
    for (int c = 0; c < channels; ++c) {
        std::vector<int>& trace = traces[static_cast<std::size_t>(c)];
        trace.reserve(static_cast<std::size_t>(frames) * 2);
        int level = 0;
        for (int i = 0; i < frames; ++i) {
            float s = interleaved[static_cast<std::size_t>(i) * channels + c];
            if (!std::isfinite(s))
                s = 0.0F;
            // Single precision on purpose: the drawing positions follow float arithmetic.
            const float y = ((1.0F - s) * fscale) * 0.5F;
            int target;
            if (!(y >= 0.0F)) {
                target = 0;
            } else if (y >= static_cast<float>(height)) {
                target = height - 1;
            } else {
                target = static_cast<int>(y);
            }
            if (i == 0)
                level = target;
            if (level == target) {
                trace.push_back(level);
                continue;
            }
            const int step = target > level ? 1 : -1;
            while (level != target) {
                level += step;
                trace.push_back(level);
            }
        }
    }
    return traces;
}

}  // namespace visualdata
