#include "player/FileManagerReveal.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>

#include "logging/Console.h"

FileManagerReveal::FileManagerReveal(QDBusConnection bus, QObject* parent)
    : QObject(parent),
      bus_(std::move(bus)),
      folderOpener_([](const QUrl& folder) { return QDesktopServices::openUrl(folder); }) {}

void FileManagerReveal::reveal(const QString& filePath) {
    if (!bus_.isConnected()) {
        openFolderOf(filePath);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(QFileInfo(filePath).absoluteFilePath()).toString()}
         << QString();  // no start-up notification id
    // Asynchronous: a file manager that is slow to start must not freeze the window.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, filePath](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<> reply = *w;
                if (reply.isError()) {
                    console(
                        "FileManagerReveal: file manager did not answer (%s), opening the "
                        "folder",
                        qUtf8Printable(reply.error().message()));
                    openFolderOf(filePath);
                }
            });
}

void FileManagerReveal::openFolderOf(const QString& filePath) {
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(filePath).absolutePath());
    if (!folderOpener_ || !folderOpener_(folder)) {
        console("FileManagerReveal: cannot open the folder %s",
                qUtf8Printable(folder.toLocalFile()));
    }
}
