#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>

#include <cstdio>

#include "common/program_version.h"
#include "web/web_options.h"
#include "web/web_server.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kp650"));
    const web::ParsedWebOptions parsed = web::ParseWebOptions(
        QCoreApplication::arguments(), qEnvironmentVariable("KP650_WEB_TOKEN"));
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "kp650-web: %s (see kp650-web --help)\n",
                     parsed.error.toUtf8().constData());
        return 2;
    }
    const web::WebOptions& o = parsed.options;
    if (o.help) {
        std::fputs(web::WebHelpText().toUtf8().constData(), stdout);
        return 0;
    }
    if (o.version) {
        std::printf("kp650-web %s\n", ProgramVersion().toUtf8().constData());
        return 0;
    }
    web::WebServer server;
    const QString error = server.Start(o.archive, o.access, o.threads);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "kp650-web: %s: %s\n", o.archive.toUtf8().constData(),
                     error.toUtf8().constData());
        return 7;
    }
    const QHostAddress address(o.listen == QLatin1String("localhost") ? QStringLiteral("127.0.0.1")
                                                                      : o.listen);
    const quint16 port = server.Listen(address, static_cast<quint16>(o.port));
    if (port == 0) {
        std::fprintf(stderr, "kp650-web: cannot listen on %s port %d\n",
                     o.listen.toUtf8().constData(), o.port);
        return 3;
    }
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
                             : address.toString();
    // Scripts and tests read the address (with the port chosen for --port 0) from this line.
    std::printf("kp650-web: serving http://%s:%d/\n", host.toUtf8().constData(), port);
    std::fflush(stdout);
    return QCoreApplication::exec();
}
