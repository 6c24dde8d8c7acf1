#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

#include "archive/archive.h"
#include "archive/archive_writer.h"
#include "collector/device_poller.h"
#include "collector/fleet_file.h"

// The fleet collector: every device of the fleet file polled on its own schedule, all at once on
// one thread; each poll's records committed into the archive (written on a thread of its own, so
// no commit holds up a line), the clear (when asked for) only after that commit. A device that
// fails is tried again after its interval doubled per failure in a row (up to 32 intervals); it
// never holds up the others. A lease in the archive gives each device to one collector at a time;
// leases held are renewed while the collector lives and given up when it stops.

namespace collector {

class Collector : public QObject {
    Q_OBJECT
public:
    // `archive` is open; `collectorId` names this collector in leases and reads.
    Collector(const Fleet& fleet, archive::ArchiveWriter& archive, const QString& collectorId,
              QObject* parent = nullptr);
    ~Collector() override;

    // Every device stops after this many polls (tests and one-shot runs); 0 = no end.
    void SetRounds(int rounds) { m_rounds = rounds; }
    // One line per event (stderr by default).
    void SetLog(std::function<void(const QString&)> log) { m_log = std::move(log); }

    // Registers the devices in the archive and starts polling; false when the archive refuses.
    bool Start(QString* error);
    // Lets each poll in flight finish its exchange, commits what it read, gives up the leases
    // and ends with Finished.
    void Stop();

Q_SIGNALS:
    void Finished();

private:
    struct Slot;
    void PollNow(Slot& slot);
    void OnLease(Slot& slot, const archive::LeaseResult& lease);
    void OnPolled(Slot& slot, const PollOutcome& outcome);
    struct Stored;
    void OnStored(Slot& slot, const PollOutcome& outcome, const Stored& stored);
    void OnCleared(Slot& slot, bool ok, const QString& error);
    void Done(Slot& slot, bool success, const QString& error);
    void RenewLeases();
    void FinishIfIdle();
    void Log(const QString& text) { m_log(text); }

    Fleet m_fleet;
    archive::ArchiveWriter& m_archive;
    QString m_id;
    QString m_host;
    int m_rounds = 0;
    bool m_stopping = false;
    bool m_finished = false;
    std::vector<std::unique_ptr<Slot>> m_slots;
    QTimer m_leaseTimer;
    std::function<void(const QString&)> m_log;
};

}  // namespace collector
