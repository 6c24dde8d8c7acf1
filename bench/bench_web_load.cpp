// Load on kp650-web over the loopback address: CLIENTS concurrent keep-alive clients for SECONDS,
// each alternating the fleet table's data (/api/devices) and one page of 100 events of a random
// device at a random offset, against an archive of EVENTS events. Prints the median, p99 and
// maximum latency of each kind and every error (a status other than 200, a broken connection).
//
//   bench_web_load [--events 1000000] [--devices 16] [--clients 50] [--seconds 30]
//                  [--threads N]      (kp650-web's workers)
//                  [--archive FILE]   (kept and reused when given, else a temporary one)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "support/archive_fill.h"

namespace {

struct Kind {
    const char* name;
    std::vector<double> ms;
    int errors = 0;
};

struct Client {
    std::unique_ptr<QTcpSocket> socket;
    QByteArray buffer;
    QElapsedTimer timer;
    int kind = 0;
    bool busy = false;
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0.0;
    }
    std::sort(v.begin(), v.end());
    const std::size_t i =
        std::min(v.size() - 1, static_cast<std::size_t>(p * (v.size() - 1) + 0.5));
    return v[i];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int events = 1000000;
    int devices = 16;
    int clients = 50;
    int seconds = 30;
    QString archivePath;
    QString threads = QStringLiteral("2");
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const QString& a = args[i];
        const QString& v = args[i + 1];
        if (a == QLatin1String("--events")) {
            events = v.toInt();
        } else if (a == QLatin1String("--devices")) {
            devices = v.toInt();
        } else if (a == QLatin1String("--clients")) {
            clients = v.toInt();
        } else if (a == QLatin1String("--seconds")) {
            seconds = std::min(300, v.toInt());
        } else if (a == QLatin1String("--threads")) {
            threads = v;
        } else if (a == QLatin1String("--archive")) {
            archivePath = v;
        }
    }
    QTemporaryDir dir;
    if (archivePath.isEmpty()) {
        archivePath = dir.filePath(QStringLiteral("archive.db"));
    }
    const int perDevice = events / devices;
    if (!QFileInfo::exists(archivePath)) {
        QElapsedTimer fill;
        fill.start();
        const QString error = FillArchive(archivePath, devices, perDevice);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "fill: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("archive: %d devices x %d events filled in %.1f s\n", devices, perDevice,
                    fill.elapsed() / 1000.0);
    }

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral(KP650_WEB_PATH),
                 {QStringLiteral("--archive"), archivePath, QStringLiteral("--port"),
                  QStringLiteral("0"), QStringLiteral("--threads"), threads});
    if (!server.waitForReadyRead(10000)) {
        std::fprintf(stderr, "kp650-web did not start\n");
        return 1;
    }
    const QByteArray line = server.readLine().trimmed();
    const int port = line.mid(line.lastIndexOf(':') + 1).chopped(1).toInt();
    std::printf("%s\n", line.constData());

    std::vector<Kind> kinds = {{"fleet /api/devices", {}, 0}, {"events page", {}, 0}};
    int brokenConnections = 0;
    std::vector<Client> pool(static_cast<std::size_t>(clients));
    QElapsedTimer clock;
    clock.start();
    const qint64 deadline = qint64(seconds) * 1000;
    int open = clients;

    const auto send = [&](Client& c, int index) {
        c.kind = 1 - c.kind;
        QByteArray target = "/api/devices";
        if (c.kind == 1) {
            const int device = 1 + static_cast<int>(QRandomGenerator::global()->bounded(devices));
            const int offset =
                static_cast<int>(QRandomGenerator::global()->bounded(std::max(1, perDevice - 100)));
            target = QStringLiteral(
                         "/api/events?device=dev-%1&from=2026-01-01&to=2026-12-31"
                         "&offset=%2&limit=100")
                         .arg(device, 2, 10, QLatin1Char('0'))
                         .arg(offset)
                         .toLatin1();
        }
        Q_UNUSED(index);
        c.buffer.clear();
        c.busy = true;
        c.timer.start();
        c.socket->write("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    };
    const auto finish = [&](Client& c) {
        c.busy = false;
        c.socket->disconnectFromHost();
        if (--open == 0) {
            QCoreApplication::quit();
        }
    };

    for (int i = 0; i < clients; ++i) {
        Client& c = pool[static_cast<std::size_t>(i)];
        c.kind = i % 2;
        c.socket = std::make_unique<QTcpSocket>();
        QObject::connect(c.socket.get(), &QTcpSocket::connected,
                         [&, i] { send(pool[static_cast<std::size_t>(i)], i); });
        QObject::connect(c.socket.get(), &QTcpSocket::errorOccurred, [&, i] {
            Client& me = pool[static_cast<std::size_t>(i)];
            if (me.busy) {
                ++brokenConnections;
                ++kinds[static_cast<std::size_t>(me.kind)].errors;
                finish(me);
            }
        });
        QObject::connect(c.socket.get(), &QTcpSocket::readyRead, [&, i] {
            Client& me = pool[static_cast<std::size_t>(i)];
            me.buffer += me.socket->readAll();
            const qsizetype headEnd = me.buffer.indexOf("\r\n\r\n");
            if (headEnd < 0) {
                return;
            }
            const QByteArray head = me.buffer.left(headEnd).toLower();
            const qsizetype at = head.indexOf("content-length:");
            const qsizetype length =
                at < 0 ? 0
                       : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toLongLong();
            if (me.buffer.size() < headEnd + 4 + length) {
                return;
            }
            Kind& kind = kinds[static_cast<std::size_t>(me.kind)];
            kind.ms.push_back(me.timer.nsecsElapsed() / 1e6);
            if (!me.buffer.startsWith("HTTP/1.1 200")) {
                ++kind.errors;
            }
            if (clock.elapsed() >= deadline) {
                finish(me);
            } else {
                send(me, i);
            }
        });
        c.socket->connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    }
    // A bound on the whole run even if a client hangs.
    QTimer::singleShot(deadline + 30000, &app, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double elapsed = clock.elapsed() / 1000.0;
    // The server's own CPU time, which the machine's other load does not inflate as it does
    // the latencies.
    double serverCpu = 0.0;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(server.processId()));
    if (stat.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = stat.readAll().split(' ');
        if (fields.size() > 15) {
            serverCpu = (fields[13].toDouble() + fields[14].toDouble()) / 100.0;
        }
    }
    server.terminate();
    server.waitForFinished(5000);

    std::printf("%d clients, %.1f s\n", clients, elapsed);
    int errors = brokenConnections;
    for (const Kind& k : kinds) {
        std::printf("%-20s %7zu requests  median %7.1f ms  p99 %7.1f ms  max %7.1f ms  errors %d\n",
                    k.name, k.ms.size(), Percentile(k.ms, 0.5), Percentile(k.ms, 0.99),
                    k.ms.empty() ? 0.0 : *std::max_element(k.ms.begin(), k.ms.end()), k.errors);
        errors += k.errors;
    }
    std::printf("broken connections %d\n", brokenConnections);
    const std::size_t answered = kinds[0].ms.size() + kinds[1].ms.size();
    std::printf("kp650-web CPU %.1f s (user+system), %.2f ms per request\n", serverCpu,
                answered ? serverCpu * 1000.0 / static_cast<double>(answered) : 0.0);
    return errors == 0 ? 0 : 1;
}
