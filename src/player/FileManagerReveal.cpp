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
      fileOpener_([](const QUrl& file) { return QDesktopServices::openUrl(file); }) {}

void FileManagerReveal::reveal(const QString& filePath) {
    if (!bus_.isConnected()) {
        openFile(filePath);
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
                        "file",
                        qUtf8Printable(reply.error().message()));
                    openFile(filePath);
                }
            });
}

void FileManagerReveal::openFile(const QString& filePath) {
    // Without a file manager, a folder would open in nothing; the file itself opens in whatever
    // the desktop reads text with.
    const QUrl file = QUrl::fromLocalFile(QFileInfo(filePath).absoluteFilePath());
    if (fileOpener_ && fileOpener_(file)) {
        return;
    }
    console("FileManagerReveal: cannot open %s", qUtf8Printable(file.toLocalFile()));
    if (notShown_) {
        notShown_(file.toLocalFile());
    }
}
