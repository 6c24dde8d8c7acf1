#include "sim_process.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>

SimProcess::SimProcess() {
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

SimProcess::~SimProcess() {
    Stop();
}

bool SimProcess::Start(const QStringList& args, int timeoutMs) {
    Stop();
    m_error.clear();
    m_stderr.clear();
    m_tcpDevice.clear();
    QByteArray out;
    const bool tcp = args.contains(QStringLiteral("--tcp"));
#ifdef KP650_SIM_PATH
    const QString program = QStringLiteral(KP650_SIM_PATH);
#else
    const QString program;
#endif
    if (program.isEmpty()) {
        m_error = QStringLiteral("kp650-sim is not built on this platform");
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary directory: ") + m_dir.errorString();
        return false;
    }
    static int serial = 0;
    m_linkPath = m_dir.filePath(QStringLiteral("com%1").arg(++serial));
    m_process.start(program, QStringList(args) << QStringLiteral("--link") << m_linkPath);
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = program + QStringLiteral(": ") + m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    // The start-up line names the TCP address (the port may have been chosen by the system).
    static const QRegularExpression tcpAddress(QStringLiteral("tcp://127\\.0\\.0\\.1:\\d+"));
    while (!QFileInfo::exists(m_linkPath) || (tcp && m_tcpDevice.isEmpty())) {
        out += m_process.readAllStandardOutput();
        const auto match = tcpAddress.match(QString::fromLatin1(out));
        if (match.hasMatch()) {
            m_tcpDevice = match.captured();
        }
        // Doubles as a short sleep that notices an early exit (bad option, no pty).
        if (m_process.waitForFinished(10) || m_process.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("kp650-sim ended early: ") + StandardError();
            return false;
        }
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("kp650-sim made no link in time: ") + StandardError();
            Stop();
            return false;
        }
    }
    return true;
}

void SimProcess::Stop() {
    if (m_process.state() == QProcess::NotRunning) {
        return;
    }
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    StandardError();
}

QString SimProcess::StandardError() {
    m_stderr += m_process.readAllStandardError();
    return QString::fromLocal8Bit(m_stderr);
}

int SimProcess::ExitCode() const {
    if (m_process.state() != QProcess::NotRunning ||
        m_process.exitStatus() != QProcess::NormalExit) {
        return -1;
    }
    return m_process.exitCode();
}
