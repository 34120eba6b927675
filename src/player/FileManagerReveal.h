// Shows a file in the desktop's file manager with the file selected (the freedesktop
// FileManager1 D-Bus interface), and opens the file's folder instead when no file manager answers
// on the session bus.
#ifndef TONVERA_PLAYER_FILEMANAGERREVEAL_H
#define TONVERA_PLAYER_FILEMANAGERREVEAL_H

#include <QDBusConnection>
#include <QObject>
#include <QUrl>
#include <functional>

class FileManagerReveal : public QObject {
    Q_OBJECT

  public:
    // Opens a folder when the file manager cannot be asked; true when something was started.
    using FolderOpener = std::function<bool(const QUrl& folder)>;

    // `bus` is the session bus in the program; tests hand in a private bus or a disconnected one.
    explicit FileManagerReveal(QDBusConnection bus = QDBusConnection::sessionBus(),
                               QObject* parent = nullptr);
    void setFolderOpener(FolderOpener opener) { folderOpener_ = std::move(opener); }

    // Returns at once; the D-Bus answer (or its failure, at the latest after the call timeout)
    // arrives on the event loop, and the fallback runs from there.
    void reveal(const QString& filePath);

    static constexpr int kCallTimeoutMs = 5000;

  private:
    void openFolderOf(const QString& filePath);

    QDBusConnection bus_;
    FolderOpener folderOpener_;
};

#endif
