#include "audiolib/dsp/CentreCancel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

extern "C" {
#include <libavutil/tx.h>
}

namespace audiolib {

namespace {

constexpr int kSize = 2048;
constexpr int kHop = kSize / 4;
constexpr int kBins = kSize / 2 + 1;

// Below the voice band the bass and kick drum live in the centre too; above it the air and
// cymbals. Both are left alone, with soft edges so that no bin switches abruptly.
constexpr double kLowFadeStart = 100.0;
constexpr double kLowFull = 200.0;
constexpr double kHighFull = 6000.0;
constexpr double kHighFadeEnd = 10000.0;

double bandWeight(double hz) {
    if (hz <= kLowFadeStart || hz >= kHighFadeEnd)
        return 0.0;
    if (hz < kLowFull)
        return 0.5 -
               0.5 * std::cos(std::numbers::pi * (hz - kLowFadeStart) / (kLowFull - kLowFadeStart));
    if (hz <= kHighFull)
        return 1.0;
    return 0.5 + 0.5 * std::cos(std::numbers::pi * (hz - kHighFull) / (kHighFadeEnd - kHighFull));
}

struct TxDeleter {
    void operator()(AVTXContext* context) const { av_tx_uninit(&context); }
};
using TxContext = std::unique_ptr<AVTXContext, TxDeleter>;

}  // namespace

struct CentreCancel::State {
    TxContext forward;
    TxContext inverse;
    av_tx_fn forwardFn = nullptr;
    av_tx_fn inverseFn = nullptr;

    std::array<float, kSize> window{};
    std::array<float, kBins> weight{};

    // Per channel: the last kSize input samples, and the overlap-add sums for the next kSize
    // output samples. Both are rings indexed by the running frame count modulo kSize.
    std::array<std::array<float, kSize>, 2> input{};
    std::array<std::array<float, kSize>, 2> output{};
    std::size_t pos = 0;

    alignas(64) std::array<float, kSize> time{};
    alignas(64) std::array<AVComplexFloat, kBins> left{};
    alignas(64) std::array<AVComplexFloat, kBins> right{};

    void clear() {
        for (auto& channel : input)
            channel.fill(0.0F);
        for (auto& channel : output)
            channel.fill(0.0F);
        pos = 0;
    }

    void analyse(int channel, std::size_t start, AVComplexFloat* spectrum) {
        const auto& ring = input[static_cast<std::size_t>(channel)];
        for (std::size_t i = 0; i < kSize; ++i)
            time[i] = ring[(start + i) % kSize] * window[i];
        forwardFn(forward.get(), spectrum, time.data(), sizeof(float));
    }

    void synthesise(int channel, std::size_t start, AVComplexFloat* spectrum) {
        inverseFn(inverse.get(), time.data(), spectrum, sizeof(AVComplexFloat));
        auto& ring = output[static_cast<std::size_t>(channel)];
        for (std::size_t i = 0; i < kSize; ++i)
            ring[(start + i) % kSize] += time[i] * window[i];
    }

    // The frame made of the last kSize inputs, whose first sample sits at ring index `start`.
    void frame(std::size_t start) {
        analyse(0, start, left.data());
        analyse(1, start, right.data());
        for (std::size_t k = 0; k < kBins; ++k) {
            if (weight[k] <= 0.0F)
                continue;
            const float lr = left[k].re;
            const float li = left[k].im;
            const float rr = right[k].re;
            const float ri = right[k].im;
            const float power = lr * lr + li * li + rr * rr + ri * ri;
            if (!(power > 1e-30F))
                continue;
            const float likeness = std::clamp(2.0F * (lr * rr + li * ri) / power, 0.0F, 1.0F);
            // Squared so that bins which only partly agree (reverb tails, wide stereo
            // instruments sharing the bin with the voice) lose much less than true centre.
            const float g = weight[k] * likeness * likeness;
            const float mr = 0.5F * (lr + rr) * g;
            const float mi = 0.5F * (li + ri) * g;
            left[k].re = lr - mr;
            left[k].im = li - mi;
            right[k].re = rr - mr;
            right[k].im = ri - mi;
        }
        synthesise(0, start, left.data());
        synthesise(1, start, right.data());
    }
};

CentreCancel::CentreCancel(int rate) : state_(std::make_unique<State>()) {
    State& s = *state_;
    for (int i = 0; i < kSize; ++i) {
        // Periodic sqrt-Hann at both ends: their product is a Hann window, which sums to
        // exactly 2 over four frames at a quarter-frame hop.
        s.window[static_cast<std::size_t>(i)] =
            static_cast<float>(std::sqrt(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kSize)));
    }
    for (int k = 0; k < kBins; ++k) {
        const double hz = rate > 0 ? static_cast<double>(k) * rate / kSize : 0.0;
        s.weight[static_cast<std::size_t>(k)] = static_cast<float>(bandWeight(hz));
    }
    AVTXContext* raw = nullptr;
    av_tx_fn fn = nullptr;
    const float forwardScale = 1.0F;
    if (av_tx_init(&raw, &fn, AV_TX_FLOAT_RDFT, 0, kSize, &forwardScale, 0) == 0) {
        s.forward.reset(raw);
        s.forwardFn = fn;
    }
    raw = nullptr;
    fn = nullptr;
    const float inverseScale = 1.0F / (2.0F * kSize);  // the transform's length, and the overlap
    if (av_tx_init(&raw, &fn, AV_TX_FLOAT_RDFT, 1, kSize, &inverseScale, 0) == 0) {
        s.inverse.reset(raw);
        s.inverseFn = fn;
    }
    if (!s.forward || !s.inverse) {
        s.forward.reset();
        s.inverse.reset();
    }
}

CentreCancel::~CentreCancel() = default;

std::size_t CentreCancel::latency() const {
    return kSize;
}

void CentreCancel::reset() {
    state_->clear();
}

void CentreCancel::process(float* frames, std::size_t count) {
    State& s = *state_;
    const bool transform = static_cast<bool>(s.forward);
    for (std::size_t n = 0; n < count; ++n) {
        float* frame = frames + 2 * n;
        const std::size_t pos = s.pos;
        for (std::size_t c = 0; c < 2; ++c) {
            // The output slot is read before this input lands, so every sample has been through
            // all four frames that cover it: that is what makes the delay a whole frame.
            float out = 0.0F;
            if (transform) {
                out = s.output[c][pos];
                s.output[c][pos] = 0.0F;
            } else {
                out = s.input[c][pos];  // without a transform, still keep the same delay
            }
            s.input[c][pos] = frame[c];
            frame[c] = out;
        }
        s.pos = (pos + 1) % kSize;
        if (transform && s.pos % kHop == 0)
            s.frame(s.pos);
    }
}

}  // namespace audiolib
