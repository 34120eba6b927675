#include "audiolib/dsp/TuningEstimate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

extern "C" {
#include <libavutil/tx.h>
}

namespace audiolib {

namespace {

constexpr int kSize = 8192;  // about 5 Hz per bin at 44.1 kHz: a few cents in the bass
constexpr int kHop = kSize / 2;
constexpr int kBins = kSize / 2 + 1;
constexpr double kLowestHz = 80.0;
constexpr double kHighestHz = 5000.0;
constexpr std::size_t kPeaksPerFrame = 12;
// A peak has to stand this far above the frame's median bin to count as a tone; the peaks
// of white noise reach it practically never.
constexpr float kAboveMedian = 10.0F;
constexpr std::size_t kMinPeaks = 20;
constexpr double kMinConfidence = 0.1;

struct TxDeleter {
    void operator()(AVTXContext* context) const { av_tx_uninit(&context); }
};

struct Peak {
    float magnitude;
    int bin;
};

}  // namespace

std::optional<Tuning> estimateTuning(const float* mono, std::size_t frames, int rate) {
    if (!mono || rate <= 0 || frames < static_cast<std::size_t>(rate))
        return std::nullopt;

    AVTXContext* raw = nullptr;
    av_tx_fn transform = nullptr;
    const float scale = 1.0F;
    if (av_tx_init(&raw, &transform, AV_TX_FLOAT_RDFT, 0, kSize, &scale, 0) != 0)
        return std::nullopt;
    const std::unique_ptr<AVTXContext, TxDeleter> context(raw);

    std::vector<float> window(kSize);
    for (int i = 0; i < kSize; ++i)
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kSize));
    // The transform's SIMD code needs its buffers aligned as an allocator need not give them.
    struct Buffers {
        alignas(64) std::array<float, kSize> time;
        alignas(64) std::array<AVComplexFloat, kBins> spectrum;
    };
    const auto buffers = std::make_unique<Buffers>();
    auto& time = buffers->time;
    auto& spectrum = buffers->spectrum;
    std::vector<float> magnitude(kBins);
    std::vector<float> sorted(kBins);
    std::vector<Peak> peaks;
    peaks.reserve(kBins / 2);

    const double binHz = static_cast<double>(rate) / kSize;
    const int first = std::max(1, static_cast<int>(std::ceil(kLowestHz / binHz)));
    const int last = std::min(kBins - 2, static_cast<int>(std::floor(kHighestHz / binHz)));

    double sumSin = 0.0;
    double sumCos = 0.0;
    double sumWeight = 0.0;
    std::size_t peakCount = 0;

    // At low rates a second is shorter than a frame: the one frame is then padded with silence.
    for (std::size_t start = 0; start == 0 || start + kSize <= frames; start += kHop) {
        for (std::size_t i = 0; i < kSize; ++i) {
            const float sample = start + i < frames ? mono[start + i] : 0.0F;
            time[i] = std::isfinite(sample) ? sample * window[i] : 0.0F;
        }
        transform(context.get(), spectrum.data(), time.data(), sizeof(float));
        for (int k = 0; k < kBins; ++k)
            magnitude[k] = std::hypot(spectrum[k].re, spectrum[k].im);

        sorted = magnitude;
        std::nth_element(sorted.begin(), sorted.begin() + kBins / 2, sorted.end());
        const float floor = kAboveMedian * sorted[kBins / 2];

        peaks.clear();
        for (int k = first; k <= last; ++k) {
            const float m = magnitude[k];
            if (m > floor && m > magnitude[k - 1] && m >= magnitude[k + 1])
                peaks.push_back({m, k});
        }
        const std::size_t keep = std::min(kPeaksPerFrame, peaks.size());
        std::partial_sort(peaks.begin(), peaks.begin() + keep, peaks.end(),
                          [](const Peak& a, const Peak& b) { return a.magnitude > b.magnitude; });

        for (std::size_t p = 0; p < keep; ++p) {
            const int k = peaks[p].bin;
            // The log of a Hann main lobe is close to a parabola, so its vertex finds the
            // true frequency to a small fraction of a bin.
            const double a = std::log(std::max(magnitude[k - 1], 1e-30F));
            const double b = std::log(magnitude[k]);
            const double c = std::log(std::max(magnitude[k + 1], 1e-30F));
            const double curvature = a - 2.0 * b + c;
            const double offset = curvature < 0.0 ? 0.5 * (a - c) / curvature : 0.0;
            const double hz = (k + std::clamp(offset, -0.5, 0.5)) * binHz;

            double deviation = std::fmod(1200.0 * std::log2(hz / 440.0), 100.0);
            if (deviation <= -50.0)
                deviation += 100.0;
            else if (deviation > 50.0)
                deviation -= 100.0;
            const double angle = 2.0 * std::numbers::pi * deviation / 100.0;
            const double weight = peaks[p].magnitude;
            sumSin += weight * std::sin(angle);
            sumCos += weight * std::cos(angle);
            sumWeight += weight;
            ++peakCount;
        }
    }

    if (peakCount < kMinPeaks || !(sumWeight > 0.0))
        return std::nullopt;
    const double confidence = std::hypot(sumSin, sumCos) / sumWeight;
    if (!(confidence >= kMinConfidence))
        return std::nullopt;
    return Tuning{std::atan2(sumSin, sumCos) * 100.0 / (2.0 * std::numbers::pi), confidence};
}

}  // namespace audiolib
