#include "player/recent/DesktopRecentList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QUrl>
#include <utility>

#include "formats/AtomicFileWrite.h"
#include "logging/Console.h"
#include "player/recent/XbelBookmarks.h"

DesktopRecentList::DesktopRecentList(QString listPath) : listPath_(std::move(listPath)) {}

QString DesktopRecentList::userListPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/recently-used.xbel");
}

bool DesktopRecentList::add(const QString& path, const QDateTime& when) const {
    const QString listPath = listPath_.isEmpty() ? userListPath() : listPath_;
    const QByteArray listName = listPath.toUtf8();

    QByteArray document;
    QFile file(listPath);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            console("recent files: cannot read %s: %s", listName.constData(),
                    file.errorString().toUtf8().constData());
            return false;
        }
        document = file.readAll();
        file.close();
    }

    const QString absolute = QFileInfo(path).absoluteFilePath();
    const XbelVisit visit{QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded),
                          absolute,
                          QMimeDatabase().mimeTypeForFile(absolute).name(),
                          QLatin1String(kApplicationName),
                          QLatin1String(kExec),
                          when};
    const XbelUpdate update = recordXbelVisit(document, visit);
    if (!update.error.isEmpty()) {
        // Another program's list that this code does not understand is not ours to repair.
        console("recent files: %s left as it is, it is not a well-formed XBEL list: %s",
                listName.constData(), update.error.toUtf8().constData());
        return false;
    }

    QDir().mkpath(QFileInfo(listPath).absolutePath());
    const QString error = writeFileAtomically(listPath, update.document);
    if (!error.isEmpty()) {
        console("recent files: cannot write %s: %s", listName.constData(),
                error.toUtf8().constData());
        return false;
    }
    return true;
}
