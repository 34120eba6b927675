#include "formats/NumberText.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <string>

namespace numbertext {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

qsizetype skipBlanks(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    return i;
}

}  // namespace

int integerValue(QStringView text) {
    qsizetype i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Accumulated as a negative number so INT_MIN itself fits.
    long long value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 - (text[i].unicode() - u'0');
        if (value < static_cast<long long>(INT_MIN) - 1) {
            value = static_cast<long long>(INT_MIN) - 1;  // saturated; further digits keep it
        }
    }
    if (negative) {
        return value < INT_MIN ? INT_MIN : static_cast<int>(value);
    }
    return -value > INT_MAX ? INT_MAX : static_cast<int>(-value);
}

double realValue(QStringView text) {
    qsizetype i = skipBlanks(text);
    std::string number;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            number += '-';
        ++i;
    }
    qsizetype digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++digits)
        number += char(text[i].unicode());
    if (i < text.size() && text[i] == u'.') {
        number += '.';
        for (++i; i < text.size() && isDigit(text[i]); ++i, ++digits) {
            number += char(text[i].unicode());
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    // An exponent counts only when digits follow it: "12e" is 12.
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        std::string exponent = "e";
        qsizetype j = i + 1;
        if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) {
            exponent += char(text[j].unicode());
            ++j;
        }
        const qsizetype firstDigit = j;
        for (; j < text.size() && isDigit(text[j]); ++j)
            exponent += char(text[j].unicode());
        if (j > firstDigit)
            number += exponent;
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves the value alone here; tell a huge magnitude from a tiny one.
        const auto e = number.find('e');
        const bool tiny = e != std::string::npos && number.size() > e + 1 && number[e + 1] == '-';
        const double magnitude = tiny ? 0.0 : std::numeric_limits<double>::infinity();
        return number[0] == '-' ? -magnitude : magnitude;
    }
    return value;
}

int wholeNumberPart(const QVariant& number) {
    switch (number.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
            return number.toInt();
        case QMetaType::UInt:
        case QMetaType::ULongLong: {
            const qulonglong v = number.toULongLong();
            return v > static_cast<qulonglong>(INT_MAX) ? INT_MAX : static_cast<int>(v);
        }
        case QMetaType::LongLong: {
            const long long v = number.toLongLong();
            return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
        }
        case QMetaType::Double:
        case QMetaType::Float: {
            const double v = number.toDouble();
            if (std::isnan(v))
                return 0;
            if (v >= static_cast<double>(INT_MAX))
                return INT_MAX;
            if (v <= static_cast<double>(INT_MIN))
                return INT_MIN;
            return static_cast<int>(v);  // truncates toward zero
        }
        default:
            return 0;
    }
}

float floatValue(const QVariant& number) {
    switch (number.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
            return static_cast<float>(number.toDouble());
        default:
            return std::numeric_limits<float>::quiet_NaN();
    }
}

}  // namespace numbertext
