#include "crashreport/SystemInfo.h"

#include <sys/utsname.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

namespace systeminfo {

namespace {

QString firstLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readLine()).trimmed();
}

QString osReleaseValue(const QString& path, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    const QString prefix = key + QLatin1Char('=');
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(prefix)) {
            QString value = line.mid(prefix.size());
            if (value.size() >= 2 &&
                (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\''))) {
                value = value.mid(1, value.size() - 2);
            }
            return value;
        }
    }
    return {};
}

}  // namespace

QString modelName() {
    const QString vendor = firstLine(QStringLiteral("/sys/class/dmi/id/sys_vendor"));
    const QString product = firstLine(QStringLiteral("/sys/class/dmi/id/product_name"));
    const QString model = QStringList{vendor, product}.join(QLatin1Char(' ')).trimmed();
    if (!model.isEmpty()) {
        return model;
    }
    utsname names{};
    if (::uname(&names) == 0) {
        return QString::fromUtf8(names.machine);
    }
    return {};
}

OsVersion osVersion(const QString& osReleasePath) {
    OsVersion version;
    const QStringList parts =
        osReleaseValue(osReleasePath, QStringLiteral("VERSION_ID")).split(QLatin1Char('.'));
    int* fields[] = {&version.major, &version.minor, &version.fix};
    for (int i = 0; i < 3 && i < parts.size(); ++i) {
        bool ok = false;
        const int value = parts[i].toInt(&ok);
        *fields[i] = ok ? value : 0;
    }
    return version;
}

QString osDescription() {
    QString text = osReleaseValue(QStringLiteral("/etc/os-release"), QStringLiteral("PRETTY_NAME"));
    utsname names{};
    if (::uname(&names) == 0) {
        const QString kernel =
            QStringLiteral("%1 %2 %3")
                .arg(QString::fromUtf8(names.sysname), QString::fromUtf8(names.release),
                     QString::fromUtf8(names.machine));
        text = text.isEmpty() ? kernel : text + QStringLiteral(", ") + kernel;
    }
    return text;
}

QString systemLogText(const QString& identifier) {
    QFile syslog(QStringLiteral("/var/log/syslog"));
    if (syslog.open(QIODevice::ReadOnly)) {
        return QString::fromUtf8(syslog.readAll());
    }
    // Only this identifier's entries: the whole journal can be far larger than anything shown.
    QProcess journal;
    journal.start(QStringLiteral("journalctl"),
                  {QStringLiteral("-o"), QStringLiteral("short"), QStringLiteral("--no-pager"),
                   QStringLiteral("-q"), QStringLiteral("-n"), QStringLiteral("2000"),
                   QStringLiteral("-t"), identifier});
    if (!journal.waitForStarted(2000)) {
        return {};
    }
    journal.closeWriteChannel();
    if (!journal.waitForFinished(5000)) {
        journal.kill();
        journal.waitForFinished(1000);
        return {};
    }
    return QString::fromUtf8(journal.readAllStandardOutput());
}

}  // namespace systeminfo
