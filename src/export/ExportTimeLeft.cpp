#include "export/ExportTimeLeft.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

namespace exporttimeleft {

namespace {

constexpr double kFirstEstimateSeconds = 1.0;
constexpr double kFirstEstimateFraction = 0.03;

QString timeLeftTr(const char* text) {
    return QCoreApplication::translate("ExportWindow", text);
}

}  // namespace

std::optional<double> secondsLeft(double elapsedSeconds, double fractionDone) {
    if (!(fractionDone > 0.0) || !(elapsedSeconds > 0.0))
        return std::nullopt;
    if (elapsedSeconds < kFirstEstimateSeconds && fractionDone < kFirstEstimateFraction)
        return std::nullopt;
    if (fractionDone >= 1.0)
        return 0.0;
    return elapsedSeconds * (1.0 - fractionDone) / fractionDone;
}

QString text(double secondsLeft) {
    // Up to a minute and a half in steps of 5 s, rounded up so the count never promises less
    // than it takes; beyond that in whole minutes.
    if (secondsLeft < 90.0) {
        const auto seconds = std::max(5, static_cast<int>(std::ceil(secondsLeft / 5.0)) * 5);
        return timeLeftTr("About %1 s left").arg(seconds);
    }
    return timeLeftTr("About %1 min left").arg(std::lround(secondsLeft / 60.0));
}

}  // namespace exporttimeleft
