#include "web/web_server.h"

#include <QAbstractHttpServer>
#include <QHash>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>
#include <QThread>
#include <QUrlQuery>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "archive/archive.h"

namespace web {

// Threads that each open the archive once and answer requests from one shared queue.
class WebWorkers {
public:
    using Deliver = std::function<void(QTcpSocket*, quint64, const WebAnswer&)>;

    ~WebWorkers() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (const auto& thread : m_threads) {
            thread->wait();
        }
    }

    // Starts `count` threads; empty once every one has opened the archive, else the first error.
    QString Start(const QString& archive, const Access& access, int count, Deliver deliver) {
        m_deliver = std::move(deliver);
        std::vector<QString> errors(static_cast<std::size_t>(count));
        int opened = 0;
        const auto indexes = std::make_shared<EventIndexCache>();
        std::mutex startMutex;
        std::condition_variable started;
        for (int i = 0; i < count; ++i) {
            // The connection is made in the thread that uses it.
            m_threads.emplace_back(QThread::create(
                [this, archive, access, indexes, i, &errors, &opened, &startMutex, &started] {
                    archive::Archive reader;
                    QString error = reader.OpenReadOnly(archive);
                    {
                        // Notified under the lock: Start's locals live until it wakes.
                        const std::lock_guard<std::mutex> lock(startMutex);
                        errors[static_cast<std::size_t>(i)] = error;
                        ++opened;
                        started.notify_one();
                    }
                    if (error.isEmpty()) {
                        WebApi api(reader, access, indexes);
                        Serve(api);
                    }
                }));
            m_threads.back()->start();
        }
        std::unique_lock<std::mutex> lock(startMutex);
        started.wait(lock, [&] { return opened == count; });
        for (const QString& error : errors) {
            if (!error.isEmpty()) {
                return error;
            }
        }
        return {};
    }

    void Post(QTcpSocket* socket, quint64 id, WebRequest request) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_jobs.push_back({socket, id, std::move(request)});
        }
        m_wake.notify_one();
    }

private:
    struct Job {
        QTcpSocket* socket = nullptr;
        quint64 id = 0;
        WebRequest request;
    };

    void Serve(WebApi& api) {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
                if (m_stopping) {
                    return;
                }
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            m_deliver(job.socket, job.id, api.Answer(job.request));
        }
    }

    std::vector<std::unique_ptr<QThread>> m_threads;
    Deliver m_deliver;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
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

// Carries HTTP requests to WebApi instances on worker threads (each with its own read-only
// connection to the archive, so that slow queries of one client do not hold up the others and
// every core is used) and writes their answers back in the order each connection asked. The
// workers take requests from one queue: a quick request never waits behind a slow one while
// another worker is free.
class HttpServer : public QAbstractHttpServer {
public:
    HttpServer() = default;
    ~HttpServer() override;

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

HttpServer::~HttpServer() {
    // The workers stop first (their answers in flight are dropped), while every member they
    // deliver to still exists.
    m_workers.reset();
}

QString HttpServer::Start(const QString& archive, const Access& access, int workers) {
    m_workers = std::make_unique<WebWorkers>();
    return m_workers->Start(
        archive, access, workers, [this](QTcpSocket* socket, quint64 id, const WebAnswer& answer) {
            // Back on the server's thread, which owns the sockets.
            QMetaObject::invokeMethod(this,
                                      [this, socket, id, answer] { Deliver(socket, id, answer); });
        });
}

bool HttpServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
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
    m_workers->Post(socket, id, std::move(r));
    return true;
}

void HttpServer::Deliver(QTcpSocket* key, quint64 id, const WebAnswer& answer) {
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

void HttpServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

WebServer::WebServer() : m_http(std::make_unique<HttpServer>()) {}

WebServer::~WebServer() = default;

QString WebServer::Start(const QString& archive, const Access& access, int workers) {
    return m_http->Start(archive, access, workers);
}

quint16 WebServer::Listen(const QHostAddress& address, quint16 port) {
    return m_http->listen(address, port);
}

}  // namespace web
