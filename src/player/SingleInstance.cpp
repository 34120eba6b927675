#include "player/SingleInstance.h"

#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QPointer>
#include <QtEndian>

#include "logging/Console.h"

namespace {

constexpr char kAck = 'k';
constexpr int kHeaderBytes = 4;

// A big-endian 32-bit byte count, then the paths in UTF-8, each ended by a NUL (which no path
// holds). Hand-made rather than QDataStream, whose list reader reserves whatever count a peer
// claims before reading a single element.
QByteArray encode(const QStringList& paths) {
    QByteArray body;
    for (const QString& p : paths) {
        body += p.toUtf8();
        body += '\0';
    }
    QByteArray message(kHeaderBytes, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(body.size()), message.data());
    return message + body;
}

QStringList decode(const QByteArray& body) {
    QStringList paths;
    for (const QByteArray& part : body.split('\0')) {
        if (!part.isEmpty()) {
            paths << QString::fromUtf8(part);
        }
    }
    return paths;
}

}  // namespace

QString SingleInstance::defaultServerName() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) {
        return QDir(runtime).filePath(QStringLiteral("tonvera.sock"));
    }
    return QStringLiteral("tonvera-%1").arg(static_cast<qulonglong>(::getuid()));
}

SingleInstance::SingleInstance(QString serverName, QObject* parent)
    : QObject(parent), serverName_(std::move(serverName)) {}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::handOver(const QStringList& paths, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;  // nobody listens (or a stale socket): this process is the first
    }
    QStringList absolute;
    for (const QString& p : paths) {
        absolute << QFileInfo(p).absoluteFilePath();
    }
    socket.write(encode(absolute));
    if (!socket.waitForBytesWritten(timeoutMs) && socket.bytesToWrite() > 0) {
        return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            console("SingleInstance: the running program did not answer; starting another one");
            return false;
        }
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == kAck;
}

bool SingleInstance::listen() {
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverName_)) {
        if (server_->serverError() == QAbstractSocket::AddressInUseError) {
            // handOver() found nobody answering there, so the socket is a crashed run's remains.
            QLocalServer::removeServer(serverName_);
        }
        if (!server_->listen(serverName_)) {
            console("SingleInstance: cannot listen on %s: %s", qUtf8Printable(serverName_),
                    qUtf8Printable(server_->errorString()));
            server_.reset();
            return false;
        }
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return true;
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() < kHeaderBytes) {
                return;
            }
            char header[kHeaderBytes];
            socket->peek(header, kHeaderBytes);
            const quint32 size = qFromBigEndian<quint32>(header);
            if (size > kMaxMessageBytes) {
                console("SingleInstance: dropping an oversized message (%u bytes)", size);
                socket->abort();
                return;
            }
            if (socket->bytesAvailable() < kHeaderBytes + static_cast<qint64>(size)) {
                return;  // the rest is still on its way
            }
            socket->skip(kHeaderBytes);
            const QStringList paths = decode(socket->read(size));
            socket->putChar(kAck);
            socket->flush();
            socket->disconnectFromServer();
            // Receivers may spin an event loop (a dialog) and so outlive this object.
            QPointer<SingleInstance> self(this);
            emit activationRequested();
            for (const QString& p : paths) {
                if (!self)
                    return;
                emit openRequested(p);
            }
        });
    }
}
