#include "crashreport/CrashReportFormat.h"

#include <QStringList>
#include <limits>

namespace crashformat {

QString crashLogSection(const QString& fileText) {
    const QString separator = QString::fromLatin1(kSectionSeparator);
    const qsizetype at = fileText.lastIndexOf(separator);
    return at < 0 ? fileText : fileText.mid(at + separator.size());
}

QString consoleExcerpt(const QString& logText, const QString& applicationName) {
    const QString marker = applicationName + QLatin1Char('[');
    const QStringList lines = logText.split(QLatin1Char('\n'));
    QString excerpt;
    int taken = 0;
    for (qsizetype i = lines.size() - 1; i >= 0 && taken < kConsoleMaxLines; --i) {
        if (lines[i].contains(marker)) {
            excerpt += lines[i];
            excerpt += QLatin1Char('\n');
            ++taken;
        }
    }
    if (excerpt.size() > kConsoleMaxCharacters) {
        excerpt = excerpt.mid(excerpt.size() - kConsoleMaxCharacters - 1, kConsoleMaxCharacters);
    }
    return excerpt;
}

QString descriptionText(const QString& comments, const QString& console) {
    return QStringLiteral("Comments:\n%1\n\nConsole:\n%2").arg(comments, console);
}

QString cdataSafe(const QString& text) {
    QString safe = text;
    return safe.replace(QLatin1String("]]>"), QLatin1String("]]]]><![CDATA[>"));
}

QString crashElement(const CrashFields& f) {
    // Concatenated rather than arg()-filled, so a "%1" in a user's text stays as typed.
    return QStringLiteral("<crash><applicationname>") + f.applicationName +
           QStringLiteral("</applicationname><bundleidentifier>") + f.bundleIdentifier +
           QStringLiteral("</bundleidentifier><systemversion>") + f.systemVersion +
           QStringLiteral("</systemversion><senderversion>") + f.applicationVersion +
           QStringLiteral("</senderversion><version>") + f.applicationVersion +
           QStringLiteral("</version><platform>") + f.platform +
           QStringLiteral(
               "</platform><userid></userid><contact></contact>"
               "<description><![CDATA[") +
           cdataSafe(f.description) + QStringLiteral("]]></description><log><![CDATA[") +
           cdataSafe(f.log) + QStringLiteral("]]></log></crash>");
}

QString uploadedText(const QString& crashElement) {
    return QStringLiteral("<crashes>") + crashElement + QStringLiteral("</crashes>");
}

QByteArray multipartBody(const QString& uploaded, bool withAppIdentifier) {
    QByteArray body;
    body += "--";
    body += kBoundary;
    body += "\r\n";
    if (withAppIdentifier) {
        body += "Content-Disposition: form-data; name=\"xml\"; filename=\"crash.xml\"\r\n";
        body += "Content-Type: text/xml\r\n\r\n";
    } else {
        body += "Content-Disposition: form-data; name=\"xmlstring\"\r\n\r\n";
    }
    body += uploaded.toUtf8();
    body += "\r\n--";
    body += kBoundary;
    body += "--\r\n";
    return body;
}

int leadingInteger(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        if (value > std::numeric_limits<int>::max()) {
            return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
        }
    }
    return static_cast<int>(negative ? -value : value);
}

}  // namespace crashformat
