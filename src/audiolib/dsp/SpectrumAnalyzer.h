// Magnitude spectrum of 2048 samples through libavutil's real FFT.
//
// Scale: a Hann window is applied and every bin is reported as |X[k]| * 2 / N. The window's
// coherent gain is 1/2, so a full-scale sine (amplitude 1.0) that falls on a bin reads about 0.5
// there, and half of that energy leaks into each neighbouring bin. Element 0 is the DC bin.
#ifndef TONVERA_AUDIOLIB_DSP_SPECTRUMANALYZER_H
#define TONVERA_AUDIOLIB_DSP_SPECTRUMANALYZER_H

#include <array>
#include <memory>

struct AVTXContext;

namespace audiolib {

class SpectrumAnalyzer {
  public:
    static constexpr int kSize = 2048;
    static constexpr int kBins = kSize / 2;

    SpectrumAnalyzer();
    ~SpectrumAnalyzer();
    SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
    SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

    // False when libavutil could not set up the transform (then magnitudes() writes zeros).
    bool valid() const { return context_ != nullptr; }
    // mono: kSize samples, oldest first; out: kBins magnitudes.
    void magnitudes(const float* mono, float* out);

  private:
    struct TxDeleter {
        void operator()(AVTXContext* context) const;
    };
    std::unique_ptr<AVTXContext, TxDeleter> context_;
    void (*transform_)(AVTXContext*, void*, void*, std::ptrdiff_t) = nullptr;
    std::array<float, kSize> window_{};
    alignas(64) std::array<float, kSize> input_{};
    alignas(64) std::array<float, kSize + 2> output_{};  // kBins + 1 complex values
};

}  // namespace audiolib

#endif
