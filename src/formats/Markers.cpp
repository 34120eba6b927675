#include "formats/Markers.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace markers {

namespace {

// A press of PgDn right on a marker moves on to the next one; a press of PgUp this soon after a
// marker (as the music plays on from it) goes to the one before.
constexpr double kSameTime = 0.05;
constexpr double kJustPassed = 0.75;

bool earlier(const Marker& a, const Marker& b) {
    return a.seconds < b.seconds;
}

}  // namespace

QString defaultName(const std::vector<Marker>& list) {
    const QString word = QCoreApplication::translate("Markers", "Marker");
    const QRegularExpression numbered(
        QStringLiteral("^%1 (\\d{1,6})$").arg(QRegularExpression::escape(word)));
    int highest = 0;
    for (const Marker& marker : list) {
        const QRegularExpressionMatch match = numbered.match(marker.name);
        if (match.hasMatch())
            highest = std::max(highest, match.captured(1).toInt());
    }
    return QStringLiteral("%1 %2").arg(word).arg(highest + 1);
}

std::size_t insert(std::vector<Marker>& list, Marker marker) {
    const auto at = std::upper_bound(list.begin(), list.end(), marker, earlier);
    return static_cast<std::size_t>(list.insert(at, std::move(marker)) - list.begin());
}

void tidy(std::vector<Marker>& list) {
    std::erase_if(list,
                  [](const Marker& m) { return !(m.seconds >= 0.0) || !std::isfinite(m.seconds); });
    std::stable_sort(list.begin(), list.end(), earlier);
    if (list.size() > kMostMarkers)
        list.resize(kMostMarkers);
}

std::optional<std::size_t> nextAfter(const std::vector<Marker>& list, double seconds) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].seconds > seconds + kSameTime)
            return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> previousBefore(const std::vector<Marker>& list, double seconds) {
    for (std::size_t i = list.size(); i-- > 0;) {
        if (list[i].seconds < seconds - kJustPassed)
            return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> startingAt(const std::vector<Marker>& list, double seconds) {
    if (list.empty())
        return std::nullopt;
    for (std::size_t i = list.size(); i-- > 0;) {
        if (list[i].seconds <= seconds + kSameTime)
            return i;
    }
    return 0;
}

std::optional<LoopRange> loopFrom(const std::vector<Marker>& list, std::size_t index,
                                  double length) {
    if (index >= list.size())
        return std::nullopt;
    const double start = list[index].seconds;
    // Markers at the same time make no passage: the next one later than this one ends it.
    double end = length;
    for (std::size_t i = index + 1; i < list.size(); ++i) {
        if (list[i].seconds > start + kSameTime) {
            end = list[i].seconds;
            break;
        }
    }
    if (!(end > start + kSameTime))
        return std::nullopt;
    return LoopRange{start, end, true};
}

}  // namespace markers
