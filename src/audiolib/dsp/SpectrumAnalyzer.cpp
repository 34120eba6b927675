#include "audiolib/dsp/SpectrumAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

extern "C" {
#include <libavutil/tx.h>
}

namespace audiolib {

void SpectrumAnalyzer::TxDeleter::operator()(AVTXContext* context) const {
    av_tx_uninit(&context);
}

SpectrumAnalyzer::SpectrumAnalyzer() {
    for (int i = 0; i < kSize; ++i) {
        // Periodic Hann: its coherent gain is exactly 1/2, which the scale above relies on.
        window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kSize));
    }
    AVTXContext* raw = nullptr;
    av_tx_fn fn = nullptr;
    const float scale = 1.0F;
    if (av_tx_init(&raw, &fn, AV_TX_FLOAT_RDFT, 0, kSize, &scale, AV_TX_UNALIGNED) == 0) {
        context_.reset(raw);
        transform_ = fn;
    }
}

SpectrumAnalyzer::~SpectrumAnalyzer() = default;

void SpectrumAnalyzer::magnitudes(const float* mono, float* out) {
    if (!context_) {
        std::fill(out, out + kBins, 0.0F);
        return;
    }
    for (int i = 0; i < kSize; ++i)
        input_[i] = mono[i] * window_[i];
    transform_(context_.get(), output_.data(), input_.data(), sizeof(float));
    constexpr float kScale = 2.0F / kSize;
    for (int k = 0; k < kBins; ++k) {
        const float re = output_[2 * k];
        const float im = output_[2 * k + 1];
        out[k] = std::sqrt(re * re + im * im) * kScale;
    }
}

}  // namespace audiolib
