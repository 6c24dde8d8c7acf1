#pragma once

#include <QAbstractHttpServer>

#include "web/web_api.h"

namespace web {

// Carries HTTP requests to the WebApi and its answers back; nothing else.
class WebServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    explicit WebServer(WebApi& api, QObject* parent = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    WebApi& m_api;
};

}  // namespace web
