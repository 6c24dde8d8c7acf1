#include "web/web_options.h"

#include <QCommandLineParser>
#include <QFile>
#include <QHostAddress>

namespace web {

namespace {

// The first line of a secret file, or an error.
QString ReadSecret(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return {};
    }
    const QString line = QString::fromUtf8(file.readLine(4096)).trimmed();
    if (line.isEmpty()) {
        *error = path + QStringLiteral(": the file is empty");
    }
    return line;
}

}  // namespace

bool IsLoopbackAddress(const QString& address) {
    if (address == QLatin1String("localhost")) {
        return true;
    }
    const QHostAddress a(address);
    return !a.isNull() && a.isLoopback();
}

ParsedWebOptions ParseWebOptions(const QStringList& arguments, const QString& environmentToken) {
    ParsedWebOptions parsed;
    WebOptions& o = parsed.options;
    QCommandLineParser parser;
    const QCommandLineOption archive(QStringLiteral("archive"), QString(),
                                     QStringLiteral("LOCATION"));
    const QCommandLineOption listen(QStringLiteral("listen"), QString(), QStringLiteral("ADDRESS"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("N"));
    const QCommandLineOption threads(QStringLiteral("threads"), QString(), QStringLiteral("N"));
    const QCommandLineOption tokenFile(QStringLiteral("token-file"), QString(),
                                       QStringLiteral("FILE"));
    const QCommandLineOption userFile(QStringLiteral("user-file"), QString(),
                                      QStringLiteral("FILE"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    parser.addOptions({archive, listen, port, threads, tokenFile, userFile, help, version});
    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    o.help = parser.isSet(help);
    o.version = parser.isSet(version);
    if (o.help || o.version) {
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty()) {
        parsed.error =
            QStringLiteral("unexpected argument ") + parser.positionalArguments().first();
        return parsed;
    }
    o.archive = parser.value(archive);
    if (o.archive.isEmpty()) {
        parsed.error = QStringLiteral("--archive LOCATION is required");
        return parsed;
    }
    if (parser.isSet(listen)) {
        o.listen = parser.value(listen);
        if (!IsLoopbackAddress(o.listen) && QHostAddress(o.listen).isNull()) {
            parsed.error = o.listen + QStringLiteral(": not an IP address");
            return parsed;
        }
    }
    if (parser.isSet(port)) {
        bool ok = false;
        o.port = parser.value(port).toInt(&ok);
        if (!ok || o.port < 0 || o.port > 65535) {
            parsed.error = QStringLiteral("--port must be a number from 0 to 65535");
            return parsed;
        }
    }
    if (parser.isSet(threads)) {
        bool ok = false;
        o.threads = parser.value(threads).toInt(&ok);
        if (!ok || o.threads < 1 || o.threads > 16) {
            parsed.error = QStringLiteral("--threads must be a number from 1 to 16");
            return parsed;
        }
    }
    o.access.token = environmentToken.trimmed();
    if (parser.isSet(tokenFile)) {
        o.access.token = ReadSecret(parser.value(tokenFile), &parsed.error);
        if (!parsed.error.isEmpty()) {
            return parsed;
        }
    }
    if (parser.isSet(userFile)) {
        const QString pair = ReadSecret(parser.value(userFile), &parsed.error);
        if (!parsed.error.isEmpty()) {
            return parsed;
        }
        const qsizetype colon = pair.indexOf(QLatin1Char(':'));
        if (colon <= 0 || colon == pair.size() - 1) {
            parsed.error = parser.value(userFile) + QStringLiteral(": expected NAME:PASSWORD");
            return parsed;
        }
        o.access.user = pair.left(colon);
        o.access.password = pair.mid(colon + 1);
    }
    // Beyond this machine the archive is shown only to those who sign in.
    if (!IsLoopbackAddress(o.listen) && !o.access.Required()) {
        parsed.error =
            QStringLiteral(
                "listening on %1 needs --token-file, --user-file or KP650_WEB_TOKEN (only the"
                " loopback address may go without)")
                .arg(o.listen);
    }
    return parsed;
}

QString WebHelpText() {
    return QStringLiteral(
        "Usage: kp650-web --archive LOCATION [options]\n"
        "The fleet archive read-only in a browser, as JSON under /api, and as /metrics.\n"
        "\n"
        "  --archive LOCATION  the archive: a SQLite file (or sqlite:PATH) or\n"
        "                      postgresql://[USER[:PASSWORD]@][HOST][:PORT]/DATABASE[?host=DIR]\n"
        "  --listen ADDRESS    the address to serve on (default 127.0.0.1)\n"
        "  --port N            the port (default 8650; 0 picks a free one)\n"
        "  --threads N         workers answering requests, each with its own connection to the\n"
        "                      archive (default 2)\n"
        "  --token-file FILE   require \"Authorization: Bearer TOKEN\", TOKEN the file's first "
        "line\n"
        "                      (or set KP650_WEB_TOKEN)\n"
        "  --user-file FILE    require basic authentication, the file holding NAME:PASSWORD\n"
        "  -h, --help          this text\n"
        "  --version           the program's version\n"
        "An address other than the loopback one needs a token or a user.\n"
        "\n"
        "Exit codes: 2 usage error, 3 the address could not be bound,\n"
        "7 the archive could not be opened.\n");
}

}  // namespace web
