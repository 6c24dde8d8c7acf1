#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

#include "records/event_record.h"
#include "support/sim_process.h"

// A fleet of kp650-sim devices over tcp:// for the collector's tests and benchmarks: each device
// serves a log made by MakeLogFile (clean records, so noise cannot shift one into another), and
// can be started again on its port with a longer or a fresh log.
class SimFleet {
public:
    struct Setup {
        QString name;
        int variant = 0;
        int records = 0;
        QStringList extra;        // further kp650-sim options (faults, --baud)
        QString fleetFields;      // further fleet file fields, e.g. "\"clear_after_archive\": true"
        bool giveVariant = true;  // false: the collector tells it by the identification reply
    };

    SimFleet();
    ~SimFleet();

    // Starts every device; false with ErrorText().
    bool Start(const std::vector<Setup>& setups);
    // Starts device `i` again on its port, its log now `records` long (the first ones as before).
    bool Restart(int i, int records);
    int Size() const { return static_cast<int>(m_devices.size()); }
    const Setup& At(int i) const { return m_devices[static_cast<std::size_t>(i)]->setup; }
    QString Port(int i) const { return m_devices[static_cast<std::size_t>(i)]->port; }
    // The records a device's log holds now.
    std::vector<EventRecord> Log(int i) const;

    // A fleet file over every device; `top` goes in as further top-level fields.
    QByteArray FleetJson(const QString& archive, double intervalS, const QString& top = {}) const;
    QString ErrorText() const { return m_error; }
    QString Folder() const { return m_dir.path(); }

private:
    struct Device {
        Setup setup;
        int records = 0;
        QString port;
        std::unique_ptr<SimProcess> sim;
    };
    bool Launch(Device& d, int tcpPort);

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<Device>> m_devices;
    QString m_error;
};
