#include "player/practice/TrainerStatus.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

namespace practicesetup {

namespace {

// Tempo changes as musicians write them: a sign, no needless decimals.
QString tempoText(float tempo) {
    const float shown = std::round(tempo * 10.0F) / 10.0F;
    if (shown == 0.0F)
        return QStringLiteral("0 %");
    const QString number = QString::number(static_cast<double>(std::fabs(shown)), 'f',
                                           shown == std::round(shown) ? 0 : 1);
    return (shown < 0.0F ? QStringLiteral("\u2212") : QStringLiteral("+")) + number +
           QStringLiteral(" %");
}

}  // namespace

QString trainerStatus(const TrainerPlan& plan, unsigned passes, float tempo) {
    const unsigned every = static_cast<unsigned>(std::max(1, plan.passesPerStep));
    const unsigned pass = passes % every + 1;
    if (std::fabs(tempo - plan.target) < 0.05F) {
        return QCoreApplication::translate("PracticeTools", "at the target, %1")
            .arg(tempoText(tempo));
    }
    return QCoreApplication::translate("PracticeTools", "pass %1 of %2 at %3")
        .arg(pass)
        .arg(every)
        .arg(tempoText(tempo));
}

}  // namespace practicesetup
