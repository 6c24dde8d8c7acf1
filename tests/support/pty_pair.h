#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal for tests: the slave stands in for a serial device the program opens, the
// test reads and writes the master end as the device would. POSIX only.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool IsValid() const { return m_master >= 0; }
    QString SlavePath() const { return m_slavePath; }
    // The master shares the line settings the program applied to the slave.
    int MasterFd() const { return m_master; }

    bool WriteMaster(const QByteArray& bytes);
    // Reads until `count` bytes came or `timeoutMs` passed, whichever is first.
    QByteArray ReadMaster(int count, int timeoutMs);
    // Hangs up: closes the master, so the slave side sees the line go away.
    void CloseMaster();

private:
    int m_master = -1;
    int m_slaveKeep = -1;  // keeps the slave alive until the program has opened it
    QString m_slavePath;
};
