#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "archive/archive.h"
#include "archive/device_events.h"

class QThread;

namespace archive {

// Opens a fleet archive read-only and reads from it on a thread of its own, so that a window
// never waits for a database: a PostgreSQL server that does not answer takes seconds to fail,
// and a large archive's device list or a year of events takes a while to read. Answers are
// signals in the thread that made the reader; an answer to a request that a newer one replaced
// is dropped. A reader destroyed while its thread still waits for a database leaves that thread
// to finish on its own, unreported.
class BackgroundReader : public QObject {
    Q_OBJECT
public:
    explicit BackgroundReader(QObject* parent = nullptr);
    ~BackgroundReader() override;

    // Closes what was open and opens `location` (a file or postgresql://...); Opened follows.
    void Open(const QString& location);
    // The query's records out of the archive Open opened; RecordsRead follows.
    void ReadRecords(const DeviceEventsQuery& query);
    bool Busy() const { return m_pending > 0; }

Q_SIGNALS:
    // Empty `error`: the archive is open, with its devices.
    void Opened(const QString& error, const std::vector<archive::DeviceRow>& devices);
    void RecordsRead(const QString& error, const std::vector<EventRecord>& records);

private:
    struct Shared;
    // Runs `work` on the reader's thread with its archive; `work` returns what to run here.
    void Post(std::function<std::function<void()>(Archive&)> work);

    QThread* m_thread = nullptr;  // ends and deletes itself after the reader is gone
    QObject* m_worker = nullptr;  // lives on m_thread, holds the archive; deleted there
    std::shared_ptr<Shared> m_shared;
    quint64 m_serial = 0;  // the newest request
    int m_pending = 0;
};

}  // namespace archive
