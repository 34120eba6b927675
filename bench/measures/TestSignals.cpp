#include "measures/TestSignals.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

extern "C" {
#include <libavutil/tx.h>
}

namespace measures {

std::vector<float> bandNoise(double lowHz, double highHz, double seconds, int rate) {
    const std::size_t n = 1 << 16;
    std::vector<AVComplexFloat> spectrum(n / 2 + 1, AVComplexFloat{0.0F, 0.0F});
    std::mt19937 random(3);
    std::uniform_real_distribution<float> phase(0.0F, 2.0F * std::numbers::pi_v<float>);
    for (std::size_t k = 0; k < spectrum.size(); ++k) {
        const double hz = static_cast<double>(k) * rate / n;
        if (hz >= lowHz && hz <= highHz) {
            const float p = phase(random);
            spectrum[k] = AVComplexFloat{std::cos(p), std::sin(p)};
        }
    }
    std::vector<float> period(n + 2);
    AVTXContext* tx = nullptr;
    av_tx_fn fn = nullptr;
    const float scale = 1.0F;
    av_tx_init(&tx, &fn, AV_TX_FLOAT_RDFT, 1, static_cast<int>(n), &scale, AV_TX_UNALIGNED);
    fn(tx, period.data(), spectrum.data(), sizeof(AVComplexFloat));
    av_tx_uninit(&tx);
    period.resize(n);
    float top = 0.0F;
    for (float v : period)
        top = std::max(top, std::fabs(v));
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<float> out(frames);
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = period[i % n] * 0.5F / top;
    return out;
}

std::vector<float> stereo(const std::vector<float>& mono) {
    std::vector<float> out(mono.size() * 2);
    for (std::size_t i = 0; i < mono.size(); ++i)
        out[2 * i] = out[2 * i + 1] = mono[i];
    return out;
}

}  // namespace measures
