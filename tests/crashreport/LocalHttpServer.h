// An HTTP server on 127.0.0.1 for the upload tests: it keeps each request's bytes and answers
// with a fixed status and body, or never answers at all.
#ifndef TONVERA_TESTS_CRASHREPORT_LOCALHTTPSERVER_H
#define TONVERA_TESTS_CRASHREPORT_LOCALHTTPSERVER_H

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QTcpServer>

struct ReceivedRequest {
    QByteArray requestLine;                // "POST /path HTTP/1.1"
    QMap<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray body;
};

class LocalHttpServer : public QObject {
    Q_OBJECT

  public:
    LocalHttpServer();
    quint16 port() const { return server_.serverPort(); }
    QByteArray baseUrl() const;  // "http://127.0.0.1:<port>/"
    void answer(int status, const QByteArray& body) {
        status_ = status;
        body_ = body;
        silent_ = false;
    }
    void neverAnswer() { silent_ = true; }
    const QList<ReceivedRequest>& requests() const { return requests_; }

  private:
    void readFrom(QTcpSocket* socket);

    QTcpServer server_;
    QMap<QTcpSocket*, QByteArray> pending_;
    QList<ReceivedRequest> requests_;
    int status_ = 200;
    QByteArray body_;
    bool silent_ = false;
};

#endif
