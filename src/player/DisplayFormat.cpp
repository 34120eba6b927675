#include "player/DisplayFormat.h"

#include <QLocale>
#include <cmath>
#include <cstdint>
#include <limits>

namespace display {

QString formatNumber(float value) {
    if (std::isnan(value)) {
        return QStringLiteral("NaN");
    }
    if (std::isinf(value)) {
        return value < 0 ? QStringLiteral("-\u221E") : QStringLiteral("\u221E");
    }
    const double magnitude = std::fabs(static_cast<double>(value));
    QString digits;
    if (magnitude >= 1e15) {
        // Floats this large are whole numbers, hence already multiples of 0.05; the count of
        // twentieths below would not fit 64 bits.
        digits = QString::number(magnitude, 'f', 0) + QStringLiteral(",00");
    } else {
        // A float times 20 needs at most 24 + 3 significant bits, so the product is exact in
        // double and ceil() finds the multiple without any decimal rounding error.
        const auto twentieths = static_cast<std::int64_t>(std::ceil(magnitude * 20.0));
        const std::int64_t whole = twentieths / 20;
        const int hundredths = static_cast<int>(twentieths % 20) * 5;
        digits = QString::number(whole) + QLatin1Char(',') +
                 QStringLiteral("%1").arg(hundredths, 2, 10, QLatin1Char('0'));
    }
    // The sign follows the input, so -0.01 is written "-0,05"; -0 and 0 both give "0,00".
    return value < 0 ? QLatin1Char('-') + digits : digits;
}

std::optional<float> parseNumber(const QString& text) {
    QString t = text.trimmed();
    if (t.isEmpty() || t.count(QLatin1Char(',')) + t.count(QLatin1Char('.')) > 1) {
        return std::nullopt;
    }
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double d = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(d) ||
        std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max())) {
        return std::nullopt;
    }
    return static_cast<float>(d);
}

namespace {

std::uint32_t playingSeconds(double fileSeconds, float ratio) {
    const double s = std::trunc(fileSeconds / static_cast<double>(ratio));
    if (!(s > 0.0)) {
        return 0;
    }
    constexpr double kMax = std::numeric_limits<std::uint32_t>::max();
    return s >= kMax ? std::numeric_limits<std::uint32_t>::max() : static_cast<std::uint32_t>(s);
}

}  // namespace

std::optional<QString> playingTimeText(double positionSeconds, double lengthSeconds,
                                       float tempoRatio) {
    if (!(tempoRatio > 0.0F)) {
        return std::nullopt;
    }
    const std::uint32_t c = playingSeconds(positionSeconds, tempoRatio);
    const std::uint32_t t = playingSeconds(lengthSeconds, tempoRatio);
    return QString::asprintf("%02u:%02u / %02u:%02u", c / 60, c % 60, t / 60, t % 60);
}

RateRange rateRange(float fileRate) {
    const float low = 0.7F * fileRate;
    const float high = 1.3F * fileRate;
    const auto toInt = [](float v) {
        if (!(v > 0.0F)) {
            return 0;
        }
        if (v >= static_cast<float>(std::numeric_limits<int>::max())) {
            return std::numeric_limits<int>::max();
        }
        return static_cast<int>(v);  // truncates toward zero
    };
    return {toInt(low), toInt(high)};
}

}  // namespace display
