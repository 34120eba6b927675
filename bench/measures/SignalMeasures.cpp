#include "measures/SignalMeasures.h"

#include <algorithm>
#include <numbers>

extern "C" {
#include <libavutil/tx.h>
}

#include "support/AudioFixtures.h"

namespace measures {

std::vector<double> powerSpectrum(const std::vector<float>& x, std::size_t n) {
    std::vector<double> power;
    if (x.size() < n)
        return power;
    const std::size_t start = (x.size() - n) / 2;
    std::vector<float> in(n + 2);
    std::vector<AVComplexFloat> out(n / 2 + 1);
    for (std::size_t i = 0; i < n; ++i) {
        const double p = 2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n);
        const double w =
            0.35875 - 0.48829 * std::cos(p) + 0.14128 * std::cos(2 * p) - 0.01168 * std::cos(3 * p);
        in[i] = static_cast<float>(x[start + i] * w);
    }
    AVTXContext* tx = nullptr;
    av_tx_fn fn = nullptr;
    const float scale = 1.0F;
    if (av_tx_init(&tx, &fn, AV_TX_FLOAT_RDFT, 0, static_cast<int>(n), &scale, AV_TX_UNALIGNED) < 0)
        return power;
    fn(tx, out.data(), in.data(), sizeof(float));
    av_tx_uninit(&tx);
    power.resize(out.size());
    for (std::size_t k = 0; k < out.size(); ++k)
        power[k] =
            static_cast<double>(out[k].re) * out[k].re + static_cast<double>(out[k].im) * out[k].im;
    return power;
}

std::size_t spectrumSize(std::size_t available) {
    std::size_t n = 1 << 18;
    while (n > 1024 && n > available)
        n >>= 1;
    return n;
}

ToneFigures measureTone(const std::vector<float>& mono, double expectedHz, int rate) {
    ToneFigures figures;
    const std::size_t edge = rate / 2;
    if (mono.size() < 4 * edge)
        return figures;
    const std::vector<float> middle(mono.begin() + edge, mono.end() - edge);
    const std::size_t n = spectrumSize(middle.size());
    const auto power = powerSpectrum(middle, n);
    if (power.empty())
        return figures;
    const double binHz = static_cast<double>(rate) / n;
    std::size_t best = 1;
    for (std::size_t k = 1; k + 1 < power.size(); ++k)
        best = power[k] > power[best] ? k : best;
    const double a = std::log(power[best - 1] + 1e-30);
    const double b = std::log(power[best] + 1e-30);
    const double c = std::log(power[best + 1] + 1e-30);
    const double offset = 0.5 * (a - c) / (a - 2 * b + c);
    figures.cents = 1200.0 * std::log2((best + offset) * binHz / expectedHz);
    double total = 0.0;
    double inside = 0.0;
    for (std::size_t k = 0; k < power.size(); ++k) {
        total += power[k];
        if (std::fabs(k * binHz - expectedHz) <= 10.0)
            inside += power[k];
    }
    figures.outOfBandDb = 10.0 * std::log10(std::max(total - inside, 1e-30) / total);
    return figures;
}

std::vector<double> clickOnsets(const std::vector<float>& mono, double interval, double ratio,
                                std::size_t clicksIn, int rate) {
    std::vector<double> onsets;
    const double spacing = interval * rate / ratio;
    for (std::size_t k = 1; k + 1 < clicksIn; ++k) {
        const double expected = k * spacing;
        const auto from = static_cast<std::size_t>(std::max(0.0, expected - 0.1 * rate));
        const auto to = std::min(mono.size(), static_cast<std::size_t>(expected + 0.6 * spacing));
        if (from >= to)
            break;
        float top = 0.0F;
        for (std::size_t i = from; i < to; ++i)
            top = std::max(top, std::fabs(mono[i]));
        for (std::size_t i = from; i < to; ++i) {
            if (top > 0.0F && std::fabs(mono[i]) >= 0.3F * top) {
                onsets.push_back(static_cast<double>(i));
                break;
            }
        }
    }
    return onsets;
}

ClickFigures measureClicks(const std::vector<float>& mono, double interval, double ratio,
                           std::size_t clicksIn, int rate) {
    ClickFigures figures;
    const auto onsets = clickOnsets(mono, interval, ratio, clicksIn, rate);
    if (onsets.size() < 3)
        return figures;
    std::vector<double> offsets;
    for (std::size_t k = 0; k < onsets.size(); ++k)
        offsets.push_back(onsets[k] - (k + 1) * interval * rate / ratio);
    std::sort(offsets.begin(), offsets.end());
    figures.spreadMs = (offsets.back() - offsets.front()) * 1000.0 / rate;
    figures.offsetMs = offsets[offsets.size() / 2] * 1000.0 / rate;
    return figures;
}

double levelDb(const std::vector<float>& out, const std::vector<float>& in, int rate) {
    const std::size_t edge = rate / 2;
    if (out.size() < 4 * edge || in.size() < 4 * edge)
        return NAN;
    const std::vector<float> o(out.begin() + edge, out.end() - edge);
    const std::vector<float> i(in.begin() + edge, in.end() - edge);
    return 20.0 * std::log10(std::max(testsupport::rms(o), 1e-12) / testsupport::rms(i));
}

std::vector<double> onsetStrength(const std::vector<float>& mono, int rate) {
    const auto hop = static_cast<std::size_t>(rate / 200);
    std::vector<double> flux;
    double previous = 0.0;
    for (std::size_t start = 0; start + hop <= mono.size(); start += hop) {
        double sum = 0.0;
        for (std::size_t i = start; i < start + hop; ++i)
            sum += static_cast<double>(mono[i]) * mono[i];
        const double level = std::sqrt(sum / hop);
        flux.push_back(std::max(0.0, level - previous));
        previous = level;
    }
    return flux;
}

std::vector<std::size_t> peaks(const std::vector<double>& d, std::size_t from, std::size_t to,
                               double threshold, std::size_t gap) {
    std::vector<std::size_t> found;
    for (std::size_t i = std::max<std::size_t>(from, 1); i + 1 < std::min(to, d.size()); ++i) {
        if (d[i] < threshold || d[i] < d[i - 1] || d[i] < d[i + 1])
            continue;
        if (!found.empty() && i - found.back() < gap) {
            if (d[i] > d[found.back()])
                found.back() = i;
            continue;
        }
        found.push_back(i);
    }
    return found;
}

std::vector<double> octaveLevels(const std::vector<float>& mono, int rate) {
    constexpr std::size_t n = 4096;
    std::vector<double> sum(n / 2 + 1, 0.0);
    for (std::size_t start = 0; start + n <= mono.size(); start += n / 2) {
        const std::vector<float> part(mono.begin() + static_cast<std::ptrdiff_t>(start),
                                      mono.begin() + static_cast<std::ptrdiff_t>(start + n));
        const auto power = powerSpectrum(part, n);
        for (std::size_t k = 0; k < power.size() && k < sum.size(); ++k)
            sum[k] += power[k];
    }
    std::vector<double> bands;
    double total = 0.0;
    for (double v : sum)
        total += v;
    for (double low = 44.0; low < 16000.0; low *= 2.0) {
        double band = 0.0;
        for (std::size_t k = 0; k < sum.size(); ++k) {
            const double hz = static_cast<double>(k) * rate / n;
            if (hz >= low && hz < 2 * low)
                band += sum[k];
        }
        bands.push_back(10.0 * std::log10(std::max(band, 1e-30) / total));
    }
    return bands;
}

std::vector<double> envelope(const std::vector<float>& mono, int rate) {
    const auto hop = static_cast<std::size_t>(rate / 400);
    std::vector<double> out;
    for (std::size_t start = 0; start + 4 * hop <= mono.size(); start += hop) {
        double sum = 0.0;
        for (std::size_t i = start; i < start + 4 * hop; ++i)
            sum += static_cast<double>(mono[i]) * mono[i];
        out.push_back(std::sqrt(sum / (4 * hop)));
    }
    return out;
}

Hit analyseHit(const std::vector<double>& env, std::size_t from, std::size_t to) {
    Hit hit;
    to = std::min(to, env.size());
    double top = 0.0;
    for (std::size_t i = from; i < to; ++i)
        top = std::max(top, env[i]);
    std::size_t attack = from;
    while (attack + 1 < to && (env[attack] < 0.6 * top || env[attack + 1] > env[attack]))
        ++attack;
    hit.attackMs = (static_cast<double>(attack) - static_cast<double>(from)) * 2.5;
    double dip = env[attack];
    for (std::size_t i = attack + 1; i < to; ++i) {
        dip = std::min(dip, env[i]);
        if (dip < env[attack] * 0.5 && env[i] >= env[attack] * 0.5 && env[i] > dip * 2.0) {
            hit.reattackMs = (static_cast<double>(i) - static_cast<double>(attack)) * 2.5;
            break;
        }
    }
    return hit;
}

}  // namespace measures
