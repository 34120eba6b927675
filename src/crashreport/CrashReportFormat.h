// The texts of a crash report: the crash log's last section, the console excerpt, the report
// document, the multipart body and the reply's result numbers. Pure functions, no I/O.
#ifndef TONVERA_CRASHREPORT_CRASHREPORTFORMAT_H
#define TONVERA_CRASHREPORT_CRASHREPORTFORMAT_H

#include <QByteArray>
#include <QString>

namespace crashformat {

inline constexpr char kSectionSeparator[] = "**********\n\n";
inline constexpr int kConsoleMaxLines = 99;
inline constexpr int kConsoleMaxCharacters = 50000;
inline constexpr char kBoundary[] = "----FOO";

// The part after the last section separator; the whole text when there is none.
QString crashLogSection(const QString& fileText);

// The lines of `logText` that contain "<applicationName>[", newest first, each followed by a
// line feed, at most kConsoleMaxLines of them; when that is longer than kConsoleMaxCharacters,
// the kConsoleMaxCharacters characters that end just before its final line feed.
QString consoleExcerpt(const QString& logText, const QString& applicationName);

// "Comments:\n<comments>\n\nConsole:\n<console>".
QString descriptionText(const QString& comments, const QString& console);

// Splits every "]]>" so the text can stand inside a CDATA section: "]]" ends one section and
// ">" opens the next, and a reader joining the sections gets the text back unchanged.
QString cdataSafe(const QString& text);

struct CrashFields {
    QString applicationName;
    QString bundleIdentifier;
    QString systemVersion;  // "major.minor.fix"
    QString applicationVersion;
    QString platform;  // the hardware model
    QString description;
    QString log;
};
// The report's <crash> element; the description and the log go into CDATA sections.
QString crashElement(const CrashFields& fields);

// "<crashes>…</crashes>" around the element.
QString uploadedText(const QString& crashElement);

// The multipart/form-data body: a "crash.xml" file part named "xml" when the service's
// identifier is used, else a plain field "xmlstring".
QByteArray multipartBody(const QString& uploaded, bool withAppIdentifier);

// The integer at the start of `text`: leading white space, an optional sign, decimal digits;
// 0 when there is no number, clamped to the int range.
int leadingInteger(const QString& text);

}  // namespace crashformat

#endif
