#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "journal/journal.h"
#include "records/event_record.h"

// The fleet archive: every device's event log, the reads that brought it, the parameter sets
// seen and the leases that give each device to one collector at a time. One schema on SQLite
// (one file, WAL) and on PostgreSQL, created and migrated by the program. Errors are values:
// every call says what failed instead of showing anything.
//
// How a record is told from its twin: a device's log is read whole from its start, so a record
// is known by its position in the log since the last clear. The archive keeps, per device, a log
// generation; an event is (device, generation, position) plus its fields. A read whose records
// agree with the stored ones position by position adds only those beyond them; a read that
// disagrees, or a whole log shorter than the stored one, means the device was cleared (by this
// program or by hand) and starts the next generation, keeping the old one.

class QSqlQuery;

namespace archive {

enum class Dialect { Sqlite, Postgres };

// Where an archive lives: a file path (or sqlite:PATH) or
// postgresql://[USER[:PASSWORD]@][HOST][:PORT]/DATABASE[?host=SOCKET_DIR].
struct Location {
    Dialect dialect = Dialect::Sqlite;
    QString path;  // SQLite
    QString host;  // PostgreSQL: a name, an address or a Unix socket folder
    int port = -1;
    QString user;
    QString password;
    QString database;
};
// False with a message naming what is wrong.
bool ParseLocation(const QString& text, Location* out, QString* error);

struct DeviceRow {
    qint64 id = 0;
    QString name;
    QString station;
    QString channel;
    QString port;
    int variant = -1;  // 0 = A, 1 = B, -1 not yet known
    QString idVersion;
    QString idDate;
    QString idChecksum;
    int generation = 0;
    // Status kept by the collector that polls it.
    QDateTime lastSuccess;
    QDateTime lastErrorAt;
    QString lastError;
    QDateTime nextPoll;
    QString collector;
    qint64 records = 0;  // events archived, all generations
    // From the reads that reached the log (Devices() only).
    qint64 reads = 0;
    qint64 failedReads = 0;               // reads whose outcome is not "ok"
    QDateTime lastReadAt;                 // start of the latest read
    QString lastReadOutcome;              //
    std::optional<qint64> clockOffsetMs;  // at the latest read that measured it
};

struct ReadRow {
    qint64 id = 0;
    QString device;
    QString collector;
    QString host;
    QDateTime started;
    QDateTime finished;
    std::optional<qint64> clockOffsetMs;  // device clock minus host clock
    QString outcome;                      // "ok", or what went wrong
    int recordCount = 0;                  // records the read brought
    int newRecords = 0;                   // of them, not archived before
    int generation = 0;
};

struct EventRow {
    qint64 id = 0;
    QString device;
    int generation = 0;
    int position = 0;  // in the device's log since the clear that began the generation
    EventRecord record;
    int code = -1;  // the device's event code, -1 where unknown
    qint64 readId = 0;
    QString at;  // the record's time as text ("2024-03-05T10:00:00.500"), empty when none
};

// An event's place in time order: its time text (empty: no calendar time) and its id.
struct EventKey {
    QString at;
    qint64 id = 0;
};

// Log order: by generation and position (as the device logged them). Time order: by time,
// records without a calendar time first, ties in archive order, so that pages of one range
// never repeat or skip an event.
enum class EventOrder { Log, Time };

struct EventQuery {
    QString device;
    // [from, to) on the device clock's readings; an invalid bound is open. Records without a
    // calendar time are listed only when both bounds are open.
    QDateTime from;
    QDateTime to;
    EventOrder order = EventOrder::Log;
    std::optional<EventKey> start;  // time order: begin at this event, `offset` counts from it
    qint64 offset = 0;
    int limit = 100;
};

// A range's events counted, and the key of every `every`-th of them in time order (the first
// at 0): a page far into the range starts at the key before it instead of stepping over all
// the events before it.
struct EventIndex {
    qint64 count = 0;
    int every = 1;
    std::vector<EventKey> keys;
};

enum class ReadOrder { Oldest, Newest };

// One read of a device's log, to be stored in one transaction.
struct ReadToStore {
    QString device;  // the device's name
    QString collector;
    QString host;
    QDateTime started;
    QDateTime finished;
    std::optional<qint64> clockOffsetMs;
    QString outcome;
    bool complete = false;  // the log was read to its end
    std::vector<EventRecord> records;
    std::vector<int> codes;  // same length as records, or empty
    int leaseMs = 0;         // > 0: stored only while `collector` holds the device's lease,
                             // which is renewed for this long
};

struct StoreResult {
    QString error;  // empty on success
    qint64 readId = 0;
    int newRecords = 0;
    int generation = 0;
    bool newGeneration = false;
};

// What a journal push added: entries the archive lacked, and completions of entries (an entry
// pushed while its outcome was unknown gets its completion at a later push).
struct JournalPushResult {
    QString error;  // empty on success; nothing is stored when set
    int entries = 0;
    int completions = 0;
};

struct LeaseResult {
    QString error;
    bool held = false;
    QString holder;  // who holds it now, when not us
};

class Archive {
public:
    Archive();
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Opens (an SQLite file is created) and brings the schema to the newest version. Empty on
    // success, else what failed.
    QString Open(const QString& location);
    QString Open(const Location& location);
    // Opens an existing archive for reading only, as the web page and reports do: SQLite with
    // its read-only flag (a missing file is an error, never created), PostgreSQL with every
    // transaction of the session read-only (a replica works). The schema is not migrated.
    QString OpenReadOnly(const QString& location);
    void Close();
    bool IsOpen() const;
    Dialect DialectInUse() const { return m_location.dialect; }

    // The version the schema is at; -1 when unknown.
    int SchemaVersion() const;
    // The newest version this program knows.
    static int LatestSchemaVersion();
    // Migrates only up to `version` (tests of the migration path).
    QString OpenAtVersion(const QString& location, int version);

    // The writes between BeginBatch and CommitBatch go into one transaction: one sync to disk
    // for all of them instead of one each. Every call stays atomic on its own within it (its
    // failure undoes only its own part); nothing of the batch counts before CommitBatch, and
    // a failed commit (or closing the archive) undoes the whole batch. One batch at a time.
    QString BeginBatch();
    QString CommitBatch();
    bool InBatch() const { return m_inBatch; }

    // Inserts the device or updates its description (station, channel, port); identity fields
    // and the variant are updated only when given (non-empty, >= 0).
    QString SaveDevice(const DeviceRow& device);
    QString SaveStatus(const QString& device, const QString& collector,
                       const std::optional<QDateTime>& success, const QString& error,
                       const QDateTime& nextPoll);
    // Stores a read and the records it brought that the archive lacks; see the top of the file.
    StoreResult StoreRead(const ReadToStore& read);
    // The device's log was cleared: the next record read starts the next generation.
    QString MarkCleared(const QString& device);
    // Stores the parameter frame (hex text) when it differs from the last one stored for the
    // device; `stored` says whether a row was added.
    QString SaveParameterSet(const QString& device, const QString& frameHex, const QDateTime& seen,
                             bool* stored = nullptr);
    std::vector<QString> ParameterSets(const QString& device, QString* error = nullptr) const;

    // Copies the journal entries and completions the archive lacks, known by their uid, in one
    // transaction: pushing the same journal again adds nothing, and journals of several
    // computers meet in one archive.
    JournalPushResult PushJournal(const std::vector<journal::Entry>& entries);
    // The entries pushed, by time (UTC), then uid; ids are the archive's own.
    std::vector<journal::Entry> JournalEntries(QString* error = nullptr) const;

    // A lease on a device for `ttlMs` from the database's clock: taken when free, expired or
    // ours already (then renewed).
    LeaseResult AcquireLease(const QString& device, const QString& collector, int ttlMs);
    QString ReleaseLease(const QString& device, const QString& collector);

    // Reading. Every device by name, with the counts of its reads.
    std::vector<DeviceRow> Devices(QString* error = nullptr) const;
    // One device without counts; nothing when it is not in the archive (error left empty).
    std::optional<DeviceRow> Device(const QString& name, QString* error = nullptr) const;
    // Reads of a device (an empty name: of all), paged.
    std::vector<ReadRow> Reads(const QString& device, qint64 offset, int limit,
                               QString* error = nullptr, ReadOrder order = ReadOrder::Oldest) const;
    std::optional<qint64> ReadCount(const QString& device, QString* error = nullptr) const;
    // Changes whenever events are added: every read stored gets a new number.
    std::optional<qint64> Version(QString* error = nullptr) const;
    std::vector<EventRow> Events(const EventQuery& query, QString* error = nullptr) const;
    // Events of a device within [from, to), in log order.
    std::vector<EventRow> Events(const QString& device, const QDateTime& from, const QDateTime& to,
                                 int offset, int limit, QString* error = nullptr) const;
    std::optional<EventIndex> IndexEvents(const EventQuery& query, int every,
                                          QString* error = nullptr) const;
    // Empty when the archive is sound: the database's own check, no gap in any generation's
    // positions, every event's read present.
    QStringList IntegrityProblems() const;

private:
    // Runs a statement of the write path with its values, preparing it once per connection:
    // PostgreSQL then takes one round trip per use instead of three (prepare, execute,
    // deallocate), SQLite parses it once. Null with `error` set on failure. A query that
    // returned rows is finished by its user (SQLite commits only with none left running).
    QSqlQuery* Execute(const QString& sql, const QVariantList& values, QString* error);
    QString EventsInsertSql() const;
    // The records of `read` from `first` on as rows of a JSON array, for EventsInsertSql.
    static QString EventsJson(const ReadToStore& read, std::size_t first);
    QString Migrate(int upTo);
    QString NowMsSql() const;

    QString Connect(const Location& location, bool readOnly);

    Location m_location;
    QString m_connectionName;
    bool m_inBatch = false;
    std::map<QString, std::unique_ptr<QSqlQuery>> m_statements;
};

// A batch for the length of a scope: begun when made, committed by Commit or at the scope's end.
// When the batch cannot begin, every call commits on its own as without one.
class Batch {
public:
    explicit Batch(Archive& archive) : m_archive(archive), m_open(archive.BeginBatch().isEmpty()) {}
    ~Batch() { Commit(); }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
    // Empty on success (or when there was no batch).
    QString Commit() {
        if (!m_open) {
            return {};
        }
        m_open = false;
        return m_archive.CommitBatch();
    }

private:
    Archive& m_archive;
    bool m_open;
};

}  // namespace archive
