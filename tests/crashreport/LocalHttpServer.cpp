#include "LocalHttpServer.h"

#include <QTcpSocket>

LocalHttpServer::LocalHttpServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        }
    });
}

QByteArray LocalHttpServer::baseUrl() const {
    return "http://127.0.0.1:" + QByteArray::number(port()) + "/";
}

void LocalHttpServer::readFrom(QTcpSocket* socket) {
    QByteArray& data = pending_[socket];
    data += socket->readAll();
    const qsizetype headEnd = data.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        return;
    }
    ReceivedRequest request;
    const QList<QByteArray> lines = data.left(headEnd).split('\n');
    request.requestLine = lines.value(0).trimmed();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0) {
            request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                   lines[i].mid(colon + 1).trimmed());
        }
    }
    const qsizetype length = request.headers.value("content-length").toLongLong();
    if (data.size() < headEnd + 4 + length) {
        return;
    }
    request.body = data.mid(headEnd + 4, length);
    data.clear();
    requests_.append(request);
    if (silent_) {
        return;
    }
    QByteArray reply = "HTTP/1.1 " + QByteArray::number(status_) + " Answer\r\n";
    reply += "Content-Type: text/xml\r\nContent-Length: " + QByteArray::number(body_.size());
    reply += "\r\nConnection: close\r\n\r\n" + body_;
    socket->write(reply);
    socket->disconnectFromHost();
}
