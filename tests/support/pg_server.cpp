#include "support/pg_server.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <unistd.h>

namespace {

// The newest server version installed: /usr/lib/postgresql/<version>/bin.
QString ServerBinFolder() {
    QDir root(QStringLiteral("/usr/lib/postgresql"));
    QStringList versions = root.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(), numeric);
    for (auto it = versions.crbegin(); it != versions.crend(); ++it) {
        const QString bin = root.filePath(*it + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb"))) {
            return bin;
        }
    }
    return {};
}

}  // namespace

PgServer::PgServer() : m_dir(QStringLiteral("/tmp/kp650-pg-XXXXXX")) {}

PgServer::~PgServer() {
    Stop();
}

bool PgServer::Run(const QString& program, const QStringList& args, int timeoutMs) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(m_dir.path());
    if (geteuid() == 0) {
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                  QStringLiteral("--"), m_bin + QLatin1Char('/') + program} +
                          args);
    } else {
        process.start(m_bin + QLatin1Char('/') + program, args);
    }
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        m_error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAll());
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    return true;
}

bool PgServer::Start(bool durable) {
    m_bin = ServerBinFolder();
    if (m_bin.isEmpty()) {
        m_error =
            QStringLiteral("no PostgreSQL server under /usr/lib/postgresql (package postgresql)");
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString path = m_dir.path();
    if (geteuid() == 0 && ::chown(QFile::encodeName(path).constData(), 0, 0) == 0) {
        // The server's user must own its data folder and reach the socket folder.
        QFile::setPermissions(
            path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                      QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther |
                      QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup);
    }
    const QString data = path + QStringLiteral("/data");
    if (!Run(QStringLiteral("initdb"),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("kp650"),
              QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
              QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync")},
             60000)) {
        return false;
    }
    QString options = QStringLiteral("-c listen_addresses= -k %1 -c max_connections=300").arg(path);
    if (!durable) {
        options += QStringLiteral(" -F");
    }
    if (!Run(
            QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), data, QStringLiteral("-l"), path + QStringLiteral("/server.log"),
             QStringLiteral("-o"), options, QStringLiteral("-w"), QStringLiteral("-t"),
             QStringLiteral("60"), QStringLiteral("start")},
            70000)) {
        return false;
    }
    m_running = true;
    return Run(QStringLiteral("createdb"),
               {QStringLiteral("-h"), path, QStringLiteral("-U"), QStringLiteral("kp650"),
                QStringLiteral("kp650")},
               30000);
}

void PgServer::Stop() {
    if (!m_running) {
        return;
    }
    m_running = false;
    Run(QStringLiteral("pg_ctl"),
        {QStringLiteral("-D"), m_dir.path() + QStringLiteral("/data"), QStringLiteral("-m"),
         QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")},
        30000);
}

QString PgServer::Url() const {
    return QStringLiteral("postgresql://kp650@/kp650?host=") + m_dir.path();
}
