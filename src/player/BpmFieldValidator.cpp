#include "player/BpmFieldValidator.h"

#include <QRegularExpression>
#include <algorithm>

namespace {

// Sign, whole digits, then an optional separator with its fraction digits.
const QRegularExpression& numberShape() {
    static const QRegularExpression shape(QStringLiteral("^([+-]?)(\\d*)(?:[.,]\\d*)?$"));
    return shape;
}

}  // namespace

BpmFieldValidator::BpmFieldValidator(int minimum, int maximum, QObject* parent)
    : QIntValidator(minimum, maximum, parent) {}

QValidator::State BpmFieldValidator::validate(QString& input, int& /*pos*/) const {
    const QRegularExpressionMatch match = numberShape().match(input);
    if (!match.hasMatch()) {
        return Invalid;
    }
    const QString digits = match.captured(2);
    if (!match.captured(1).isEmpty() || digits.isEmpty() || digits.size() != input.size()) {
        return Intermediate;  // a sign or a fraction: fixup() writes the whole number
    }
    bool ok = false;
    const qlonglong value = digits.toLongLong(&ok);
    return ok && value >= bottom() && value <= top() ? Acceptable : Intermediate;
}

void BpmFieldValidator::fixup(QString& input) const {
    const QRegularExpressionMatch match = numberShape().match(input.trimmed());
    const QString digits = match.hasMatch() ? match.captured(2) : QString();
    if (digits.isEmpty()) {
        input = QString::number(bottom());
        return;
    }
    const bool negative = match.captured(1) == QLatin1String("-");
    bool ok = false;
    const qlonglong magnitude = digits.toLongLong(&ok);
    if (!ok) {
        // All digits, yet too long for a number: far beyond either end.
        input = QString::number(negative ? bottom() : top());
        return;
    }
    input =
        QString::number(std::clamp<qlonglong>(negative ? -magnitude : magnitude, bottom(), top()));
}
