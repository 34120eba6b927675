#include "ui/ResourcePaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace resources {

namespace {

bool holdsResources(const QString& folder) {
    return !folder.isEmpty() &&
           QFileInfo(QDir(folder).filePath(QString::fromLatin1(kMarkerFile))).isFile();
}

}  // namespace

QString locateFolder(const QString& override, const QString& executableDir,
                     const QString& installedDir) {
    QStringList candidates;
    if (!override.isEmpty()) {
        candidates << override;
    }
    if (!executableDir.isEmpty()) {
        const QDir exe(executableDir);
        candidates << exe.filePath(QStringLiteral("resources"))
                   << exe.filePath(QStringLiteral("../share/tonvera"));
    }
    candidates << installedDir;
    if (!executableDir.isEmpty()) {
        QDir up(executableDir);
        for (int level = 0; level < 3 && up.cdUp(); ++level) {
            candidates << up.filePath(QStringLiteral("resources"));
        }
    }
    for (const QString& folder : candidates) {
        if (holdsResources(folder)) {
            return QDir::cleanPath(QDir(folder).absolutePath());
        }
    }
    return installedDir;
}

QString folder() {
    const QString executableDir = QCoreApplication::instance() != nullptr
                                      ? QCoreApplication::applicationDirPath()
                                      : QString();
    return locateFolder(qEnvironmentVariable("TONVERA_RESOURCE_DIR"), executableDir,
                        QStringLiteral(TONVERA_RESOURCE_DIR));
}

QString path(const char* format) {
    return QString::fromLatin1(format).arg(folder());
}

}  // namespace resources
