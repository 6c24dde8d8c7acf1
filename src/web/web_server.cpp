#include "web/web_server.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QUrlQuery>

namespace web {

WebServer::WebServer(WebApi& api, QObject* parent) : QAbstractHttpServer(parent), m_api(api) {}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    WebRequest r;
    switch (request.method()) {
        case QHttpServerRequest::Method::Get:
            r.method = "GET";
            break;
        case QHttpServerRequest::Method::Head:
            r.method = "HEAD";
            break;
        default:
            r.method = "OTHER";
            break;
    }
    const QUrl url = request.url();
    r.path = url.path(QUrl::FullyDecoded);
    for (const auto& [name, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        r.query.append({name, value});
    }
    r.authorization = request.value("Authorization");
    const WebAnswer answer = m_api.Answer(r);

    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(answer.status));
    if (!answer.contentType.isEmpty()) {
        responder.writeHeader("Content-Type", answer.contentType);
    }
    bool lengthGiven = false;
    for (const auto& [key, value] : answer.headers) {
        lengthGiven = lengthGiven || key == "Content-Length";
        responder.writeHeader(key, value);
    }
    if (!lengthGiven) {
        responder.writeHeader("Content-Length", QByteArray::number(answer.body.size()));
    }
    responder.writeBody(answer.body);
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

}  // namespace web
