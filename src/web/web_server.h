#pragma once

#include <QAbstractHttpServer>
#include <QHash>
#include <QPointer>
#include <QTcpSocket>

#include <deque>
#include <memory>
#include <optional>

#include "web/web_api.h"

namespace web {

class WebWorkers;

// Carries HTTP requests to WebApi instances on worker threads (each with its own read-only
// connection to the archive, so that slow queries of one client do not hold up the others and
// every core is used) and writes their answers back in the order each connection asked. The
// workers take requests from one queue: a quick request never waits behind a slow one while
// another worker is free.
class WebServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    explicit WebServer(QObject* parent = nullptr);
    ~WebServer() override;

    // Opens the archive once per worker; empty on success, else the first error.
    QString Start(const QString& archive, const Access& access, int workers);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Pending {
        quint64 id = 0;
        std::optional<WebAnswer> answer;
        bool close = false;
    };
    struct Connection {
        QPointer<QTcpSocket> socket;
        std::deque<Pending> queue;
    };
    void Deliver(QTcpSocket* key, quint64 id, const WebAnswer& answer);

    std::unique_ptr<WebWorkers> m_workers;
    quint64 m_nextId = 1;
    QHash<QTcpSocket*, Connection> m_connections;
};

// The bytes of an HTTP/1.1 response carrying an answer.
QByteArray HttpResponse(const WebAnswer& answer);

}  // namespace web
