#include "player/DisplayFormat.h"

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace display {

QString formatNumber(float value) {
    if (std::isnan(value)) {
        return QStringLiteral("NaN");
    }
    if (std::isinf(value)) {
        return value < 0 ? QStringLiteral("-\u221E") : QStringLiteral("\u221E");
    }
    // The shortest decimal text that reads back as this float is the value as the user set it
    // (a slider step of 0.1, a typed 12.3); the float's exact binary value lies a hair beside it
    // and would round on to the next twentieth.
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed);
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t point = text.find('.');
    std::string whole(text.substr(0, point));
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    int hundredths = 0;
    for (std::size_t i = 0; i < 2; ++i) {
        hundredths = hundredths * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    }
    const bool beyondHundredths = fraction.size() > 2;  // shortest form: no trailing zeros
    // Away from zero to the next multiple of 0.05 (a multiple stays).
    int twentieths = hundredths / 5;
    if (hundredths % 5 != 0 || beyondHundredths) {
        ++twentieths;
    }
    if (twentieths == 20) {
        twentieths = 0;
        // Carry into the whole part, as decimal text: floats beyond 2^64 have no integer type.
        std::size_t i = whole.size();
        while (i > 0 && whole[i - 1] == '9') {
            whole[--i] = '0';
        }
        if (i == 0) {
            whole.insert(whole.begin(), '1');
        } else {
            ++whole[i - 1];
        }
    }
    const QString digits = QString::fromStdString(whole) + QLatin1Char(',') +
                           QStringLiteral("%1").arg(twentieths * 5, 2, 10, QLatin1Char('0'));
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

QString secondsText(double seconds) {
    const double tenths = std::floor(std::max(0.0, seconds) * 10.0 + 1e-6) / 10.0;
    return QStringLiteral("%1 s").arg(tenths, 0, 'f', 1);
}

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
