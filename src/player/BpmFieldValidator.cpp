#include "player/BpmFieldValidator.h"

#include <QLocale>
#include <algorithm>

BpmFieldValidator::BpmFieldValidator(int minimum, int maximum, QObject* parent)
    : QIntValidator(minimum, maximum, parent) {
    // Whatever the user's language: a group separator would let "1,20" through as 120.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    setLocale(c);
}

QValidator::State BpmFieldValidator::validate(QString& input, int& pos) const {
    for (const QChar ch : input) {
        if (!ch.isDigit()) {
            return Invalid;
        }
    }
    return QIntValidator::validate(input, pos);
}

void BpmFieldValidator::fixup(QString& input) const {
    bool ok = false;
    const qlonglong value = input.toLongLong(&ok);
    if (!ok) {
        // All digits, yet too long for a number: far above any range.
        const bool digits = !input.isEmpty() && std::all_of(input.cbegin(), input.cend(),
                                                            [](QChar ch) { return ch.isDigit(); });
        input = QString::number(digits ? top() : bottom());
        return;
    }
    input = QString::number(std::clamp<qlonglong>(value, bottom(), top()));
}
