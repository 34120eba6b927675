// One running program per user: a second start hands its file paths to the running program over
// a local socket and ends; the running one opens them (the desktop's "open with Tonvera").
//
// The message is a byte count and the absolute paths; the server answers with one byte once it
// has them. The socket is private to the user: it lives in
// $XDG_RUNTIME_DIR when there is one, and is created with user-only access.
#ifndef TONVERA_PLAYER_SINGLEINSTANCE_H
#define TONVERA_PLAYER_SINGLEINSTANCE_H

#include <QLocalServer>
#include <QObject>
#include <QStringList>
#include <memory>

class SingleInstance : public QObject {
    Q_OBJECT

  public:
    // "$XDG_RUNTIME_DIR/tonvera.sock", or "tonvera-<uid>" in the temporary folder.
    static QString defaultServerName();

    explicit SingleInstance(QString serverName = defaultServerName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Gives the paths (made absolute against this process's working folder) to a running
    // program. True when it confirmed them within the timeout: this process should then end.
    // False when none runs or it does not answer: this process goes on as the running one.
    bool handOver(const QStringList& paths, int timeoutMs = 3000);

    // Starts answering later starts. A socket left by a program that crashed is replaced. False
    // (logged) when the socket cannot be made; the program then simply runs alone.
    bool listen();

    // Larger messages are dropped: nothing legitimate comes near it.
    static constexpr qint64 kMaxMessageBytes = 1 << 20;

  signals:
    // One per path received, in order.
    void openRequested(const QString& path);
    // Every hand-over, also one without paths: the window should come to the front.
    void activationRequested();

  private:
    void acceptConnections();

    QString serverName_;
    std::unique_ptr<QLocalServer> server_;
};

#endif
