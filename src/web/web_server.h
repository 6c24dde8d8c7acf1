#pragma once

#include <QHostAddress>
#include <QString>

#include <memory>

#include "web/web_api.h"

namespace web {

class HttpServer;

// The archive's page and API over HTTP. The server itself (Qt's HTTP server, and the worker
// threads that answer for it) lives in the source file, so this header needs no HTTP module.
class WebServer {
public:
    WebServer();
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Opens the archive once per worker; empty on success, else the first error.
    QString Start(const QString& archive, const Access& access, int workers);
    // The port served on (the one chosen for 0), or 0 when the address cannot be bound.
    quint16 Listen(const QHostAddress& address, quint16 port);

private:
    std::unique_ptr<HttpServer> m_http;
};

// The bytes of an HTTP/1.1 response carrying an answer.
QByteArray HttpResponse(const WebAnswer& answer);

}  // namespace web
