#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

#include "support/sim_process.h"

// A fleet archive as users get one: simulators over tcp:// serving known logs, a fleet file
// naming them, and kp650-collector run for one round into an SQLite archive.
struct SimulatedDevice {
    QString name;
    QString station;
    QString channel;
    QString variant;        // "A" or "B"
    QByteArray log;         // the simulator's log, in the program's text record format
    QStringList extraArgs;  // faults
};

class CollectedFleet {
public:
    // False with the reason in `error`.
    bool Collect(const std::vector<SimulatedDevice>& devices, QString* error);
    QString ArchivePath() const { return m_dir.filePath(QStringLiteral("archive.db")); }
    QString Folder() const { return m_dir.path(); }
    // tcp://127.0.0.1:PORT of the named device's simulator.
    QString Address(const QString& name) const;

private:
    QTemporaryDir m_dir;
    std::vector<QString> m_names;
    std::vector<std::unique_ptr<SimProcess>> m_sims;
};

// The log text of records given as (year, month, day, hour, minute, second, ms, event text).
struct LogLine {
    int year, month, day, hour, minute, second, msecond;
    const char* event;
};
QByteArray LogOf(const std::vector<LogLine>& lines);
