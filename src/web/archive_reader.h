#pragma once

#include <QString>

#include <optional>
#include <vector>

#include "records/event_record.h"

// The fleet archive as the web page reads it: opened read-only (SQLite with its read-only open
// flag, PostgreSQL in read-only transactions), so nothing the page or the API is asked can
// change it. Times the collector keeps (last success, reads) are UTC texts as stored
// ("yyyy-MM-ddTHH:mm:ss.zzzZ"); an event's time is the device clock's local text
// ("yyyy-MM-ddTHH:mm:ss.zzz"), empty when its fields are no calendar time. Errors are values.

namespace web {

struct FleetDevice {
    QString name;
    QString station;
    QString channel;
    QString port;
    int variant = -1;  // 0 = A, 1 = B, -1 not known yet
    QString idVersion;
    QString idDate;
    QString idChecksum;
    QString lastSuccess;
    QString lastError;
    QString lastErrorAt;
    QString nextPoll;
    QString collector;
    qint64 records = 0;  // events archived
    qint64 reads = 0;
    qint64 failedReads = 0;
    QString lastReadAt;                   // start of the latest read
    QString lastReadOutcome;              // "ok" or what went wrong
    std::optional<qint64> clockOffsetMs;  // device minus host, at the latest read that had one
};

struct ReadEntry {
    qint64 id = 0;
    QString collector;
    QString host;
    QString started;
    QString finished;
    std::optional<qint64> clockOffsetMs;
    QString outcome;
    int recordCount = 0;
    int newRecords = 0;
    int generation = 0;
};

struct EventEntry {
    qint64 id = 0;
    int generation = 0;
    int position = 0;
    EventRecord record;
    int code = -1;  // -1 where the device's code is not known
    qint64 readId = 0;
    QString at;  // local time text, empty when none
};

// [from, to) on the events' local time texts; an empty bound is open. Records without a
// calendar time are listed only when both bounds are open.
struct TimeRange {
    QString from;
    QString to;
};

class ArchiveReader {
public:
    ArchiveReader();
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Opens an archive location (a file, sqlite:PATH or postgresql://...) for reading only. Empty
    // on success; an archive that does not exist or has no fleet tables is an error, never created.
    QString Open(const QString& location);
    void Close();

    // Every device, by name, with its counts and its latest read.
    std::optional<std::vector<FleetDevice>> Fleet(QString* error) const;
    // The device's variant (-1 unknown); nothing when the device is not in the archive (error
    // empty) or the query failed (error set).
    std::optional<int> DeviceVariant(const QString& device, QString* error) const;
    std::optional<qint64> ReadCount(const QString& device, QString* error) const;
    // Reads of a device, newest first.
    std::optional<std::vector<ReadEntry>> Reads(const QString& device, qint64 offset, int limit,
                                                QString* error) const;
    // Changes whenever events are added: every read the collector stores gets a new number.
    std::optional<qint64> ArchiveVersion(QString* error) const;
    std::optional<qint64> EventCount(const QString& device, const TimeRange& range,
                                     QString* error) const;
    // Events of a device in time order (records without a time first), ties in archive order;
    // so pages of one range never repeat or skip an event.
    std::optional<std::vector<EventEntry>> Events(const QString& device, const TimeRange& range,
                                                  qint64 offset, int limit, QString* error) const;

private:
    QString m_connectionName;
};

}  // namespace web
