#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs kp650-sim for an end-to-end test: a fresh link under a temporary directory, started and
// waited for until the link exists, stopped (SIGTERM) when the object goes.
//
//   SimProcess sim; QVERIFY(sim.Start({"--variant", "B", "--baud", "0"}));
//   SetPortDeviceOverride(1, sim.LinkPath());
class SimProcess {
public:
    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the simulator with `args` plus "--link <unique path>". False when it could not be
    // started, exited early or made no link within `timeoutMs`; ErrorText() then says why.
    bool Start(const QStringList& args, int timeoutMs = 5000);
    // Ends the simulator and waits for it; the simulator removes its link on the way out.
    void Stop();

    bool IsRunning() const { return m_process.state() != QProcess::NotRunning; }
    QString LinkPath() const { return m_linkPath; }
    // With "--tcp PORT" among the arguments: the device's TCP address, tcp://127.0.0.1:PORT.
    QString TcpDevice() const { return m_tcpDevice; }
    QString ErrorText() const { return m_error; }
    // Whatever the simulator wrote to stderr so far.
    QString StandardError();
    // Exit code of a finished run (-1 while running or after a crash).
    int ExitCode() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_linkPath;
    QString m_tcpDevice;
    QString m_error;
    QByteArray m_stderr;
};
