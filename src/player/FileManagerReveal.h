// Shows a file in the desktop's file manager with the file selected (the freedesktop
// FileManager1 D-Bus interface). When no file manager answers on the session bus, the file is
// opened with the desktop's default application for it; when that fails too, the caller is told,
// so it can say where the file is.
#ifndef TONVERA_PLAYER_FILEMANAGERREVEAL_H
#define TONVERA_PLAYER_FILEMANAGERREVEAL_H

#include <QDBusConnection>
#include <QObject>
#include <QUrl>
#include <functional>

class FileManagerReveal : public QObject {
    Q_OBJECT

  public:
    // Opens the file when the file manager cannot be asked; true when something was started.
    using FileOpener = std::function<bool(const QUrl& file)>;
    // Neither way showed the file.
    using NotShown = std::function<void(const QString& filePath)>;

    // `bus` is the session bus in the program; tests hand in a private bus or a disconnected one.
    explicit FileManagerReveal(QDBusConnection bus = QDBusConnection::sessionBus(),
                               QObject* parent = nullptr);
    void setFileOpener(FileOpener opener) { fileOpener_ = std::move(opener); }
    void setNotShown(NotShown notShown) { notShown_ = std::move(notShown); }

    // Returns at once; the D-Bus answer (or its failure, at the latest after the call timeout)
    // arrives on the event loop, and the fallback runs from there.
    void reveal(const QString& filePath);

    static constexpr int kCallTimeoutMs = 5000;

  private:
    void openFile(const QString& filePath);

    QDBusConnection bus_;
    FileOpener fileOpener_;
    NotShown notShown_;
};

#endif
