#include "web/web_server.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QUrlQuery>

#include "web/archive_reader.h"

namespace web {

// One thread's reader and API.
class WebWorker : public QObject {
    Q_OBJECT
public:
    QString Open(const QString& archive, const Access& access) {
        const QString error = m_reader.Open(archive);
        if (error.isEmpty()) {
            m_api = std::make_unique<WebApi>(m_reader, access);
        }
        return error;
    }
    WebAnswer Answer(const WebRequest& request) { return m_api->Answer(request); }

private:
    ArchiveReader m_reader;
    std::unique_ptr<WebApi> m_api;
};

namespace {

QByteArray ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Payload Too Large";
        default:
            return "Internal Server Error";
    }
}

}  // namespace

QByteArray HttpResponse(const WebAnswer& answer) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                     ReasonPhrase(answer.status) + "\r\n";
    if (!answer.contentType.isEmpty()) {
        out += "Content-Type: " + answer.contentType + "\r\n";
    }
    bool lengthGiven = false;
    for (const auto& [key, value] : answer.headers) {
        lengthGiven = lengthGiven || key == "Content-Length";
        out += key + ": " + value + "\r\n";
    }
    if (!lengthGiven) {
        out += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    }
    return out + "\r\n" + answer.body;
}

WebServer::WebServer(QObject* parent) : QAbstractHttpServer(parent) {}

WebServer::~WebServer() {
    for (const auto& thread : m_threads) {
        thread->quit();
        thread->wait();
    }
}

QString WebServer::Start(const QString& archive, const Access& access, int workers) {
    for (int i = 0; i < workers; ++i) {
        auto thread = std::make_unique<QThread>();
        auto* worker = new WebWorker;
        worker->moveToThread(thread.get());
        connect(thread.get(), &QThread::finished, worker, &QObject::deleteLater);
        thread->start();
        QString error;
        // At start, before any request: the connection must be made in the thread that uses it.
        QMetaObject::invokeMethod(
            worker, [&] { error = worker->Open(archive, access); }, Qt::BlockingQueuedConnection);
        m_threads.push_back(std::move(thread));
        m_workers.push_back(worker);
        if (!error.isEmpty()) {
            return error;
        }
    }
    return {};
}

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

    Connection& c = m_connections[socket];
    if (c.socket.isNull()) {
        c.socket = socket;
        connect(socket, &QObject::destroyed, this,
                [this, socket] { m_connections.remove(socket); });
    }
    const quint64 id = m_nextId++;
    c.queue.push_back(
        {id, std::nullopt, request.value("Connection").compare("close", Qt::CaseInsensitive) == 0});
    WebWorker* worker = m_workers[m_next++ % m_workers.size()];
    QPointer<WebServer> self(this);
    QMetaObject::invokeMethod(worker, [self, worker, socket, id, r] {
        const WebAnswer answer = worker->Answer(r);
        QMetaObject::invokeMethod(self, [self, socket, id, answer] {
            if (self) {
                self->Deliver(socket, id, answer);
            }
        });
    });
    return true;
}

void WebServer::Deliver(QTcpSocket* key, quint64 id, const WebAnswer& answer) {
    const auto it = m_connections.find(key);
    if (it == m_connections.end()) {
        return;  // the client went away
    }
    Connection& c = *it;
    for (Pending& p : c.queue) {
        if (p.id == id) {
            p.answer = answer;
        }
    }
    // Answers leave in the order the requests came on this connection.
    while (!c.queue.empty() && c.queue.front().answer && !c.socket.isNull()) {
        c.socket->write(HttpResponse(*c.queue.front().answer));
        const bool close = c.queue.front().close;
        c.queue.pop_front();
        if (close) {
            c.socket->disconnectFromHost();
            break;
        }
    }
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

}  // namespace web

#include "web_server.moc"
