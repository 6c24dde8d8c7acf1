#include "archive/archive.h"

#include <QAtomicInt>
#include <QDate>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTime>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

namespace archive {

namespace {

QAtomicInt g_connectionCounter;

const QString kLocalFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

// The oldest schema whose tables and columns the reading calls know.
constexpr int kOldestReadableSchema = 2;

QString UtcText(const QDateTime& time) {
    // Fixed width ("2024-03-05T10:00:00.500Z"), so that text order is time order.
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

QDateTime FromUtcText(const QVariant& value) {
    if (value.isNull()) {
        return {};
    }
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs).toUTC();
}

// Qt binds a null text as SQL NULL; the NOT NULL text columns take an empty one.
QString Text(const QString& text) {
    return text.isNull() ? QStringLiteral("") : text;
}

// The record's time as sortable local text, or null when its fields are no calendar time.
QVariant EventTimeText(const EventRecord& r) {
    const QDate date(r.year.toInt(), r.month.toInt(), r.day.toInt());
    const QTime time(r.hour.toInt(), r.minute.toInt(), r.second.toInt(), r.msecond.toInt());
    if (!date.isValid() || !time.isValid()) {
        return QVariant(QMetaType(QMetaType::QString));
    }
    // From the fields themselves: the device's clock knows no zone, and a local QDateTime
    // would look the zone up (a stat of /etc/localtime) for every record.
    return date.toString(u"yyyy-MM-dd") + QLatin1Char('T') + time.toString(u"HH:mm:ss.zzz");
}

// One migration: the statements that bring the schema from version - 1 to version. "%ID%"
// stands for each dialect's own auto-numbered key, "%BIN%" for a large integer.
struct Migration {
    int version;
    QStringList statements;
};

const std::vector<Migration>& Migrations() {
    static const std::vector<Migration> migrations = {
        {1,
         {QStringLiteral("CREATE TABLE devices (id %ID%, name TEXT NOT NULL UNIQUE,"
                         " station TEXT NOT NULL DEFAULT '', channel TEXT NOT NULL DEFAULT '',"
                         " port TEXT NOT NULL DEFAULT '', variant INTEGER, id_version TEXT,"
                         " id_date TEXT, id_checksum TEXT,"
                         " generation INTEGER NOT NULL DEFAULT 0)"),
          QStringLiteral("CREATE TABLE reads (id %ID%,"
                         " device_id %BIN% NOT NULL REFERENCES devices(id),"
                         " collector TEXT NOT NULL, host TEXT NOT NULL,"
                         " started_at TEXT NOT NULL, finished_at TEXT NOT NULL,"
                         " clock_offset_ms %BIN%, outcome TEXT NOT NULL,"
                         " record_count INTEGER NOT NULL, new_records INTEGER NOT NULL,"
                         " generation INTEGER NOT NULL)"),
          QStringLiteral("CREATE TABLE events (id %ID%,"
                         " device_id %BIN% NOT NULL REFERENCES devices(id),"
                         " generation INTEGER NOT NULL, position INTEGER NOT NULL,"
                         " year INTEGER NOT NULL, month INTEGER NOT NULL, day INTEGER NOT NULL,"
                         " hour INTEGER NOT NULL, minute INTEGER NOT NULL,"
                         " second INTEGER NOT NULL, msecond INTEGER NOT NULL,"
                         " event TEXT NOT NULL, code INTEGER, at TEXT,"
                         " read_id %BIN% NOT NULL REFERENCES reads(id),"
                         " UNIQUE (device_id, generation, position))"),
          QStringLiteral("CREATE INDEX events_device_at ON events (device_id, at)"),
          QStringLiteral("CREATE TABLE parameter_sets (id %ID%,"
                         " device_id %BIN% NOT NULL REFERENCES devices(id),"
                         " seen_at TEXT NOT NULL, frame TEXT NOT NULL)"),
          QStringLiteral("CREATE TABLE leases (device TEXT PRIMARY KEY,"
                         " collector TEXT NOT NULL, expires_at %BIN% NOT NULL)")}},
        {2,
         {QStringLiteral("ALTER TABLE devices ADD COLUMN last_success TEXT"),
          QStringLiteral("ALTER TABLE devices ADD COLUMN last_error TEXT"),
          QStringLiteral("ALTER TABLE devices ADD COLUMN last_error_at TEXT"),
          QStringLiteral("ALTER TABLE devices ADD COLUMN next_poll TEXT"),
          QStringLiteral("ALTER TABLE devices ADD COLUMN collector TEXT"),
          QStringLiteral("CREATE INDEX reads_device ON reads (device_id, id)")}},
        // The journals of writes of every computer: each entry and each completion once, known
        // by the entry's uid.
        {3,
         {QStringLiteral("CREATE TABLE journal_entries (id %ID%, uid TEXT NOT NULL UNIQUE,"
                         " utc TEXT NOT NULL, local TEXT NOT NULL, os_user TEXT NOT NULL,"
                         " host TEXT NOT NULL, program TEXT NOT NULL, port TEXT NOT NULL,"
                         " device TEXT NOT NULL, identification TEXT NOT NULL, kind TEXT NOT NULL,"
                         " sent_fields TEXT NOT NULL, sent_bytes TEXT NOT NULL,"
                         " before_fields TEXT NOT NULL, archive_file TEXT NOT NULL,"
                         " pushed_at TEXT NOT NULL)"),
          QStringLiteral("CREATE TABLE journal_completions (entry_uid TEXT PRIMARY KEY"
                         " REFERENCES journal_entries(uid), utc TEXT NOT NULL,"
                         " outcome TEXT NOT NULL, after_fields TEXT NOT NULL,"
                         " detail TEXT NOT NULL, pushed_at TEXT NOT NULL)"),
          QStringLiteral("CREATE INDEX journal_entries_device ON journal_entries (device, utc)")}},
    };
    return migrations;
}

QString Dialected(QString sql, Dialect dialect) {
    sql.replace(QStringLiteral("%ID%"), dialect == Dialect::Postgres
                                            ? QStringLiteral("BIGSERIAL PRIMARY KEY")
                                            : QStringLiteral("INTEGER PRIMARY KEY"));
    sql.replace(QStringLiteral("%BIN%"), QStringLiteral("BIGINT"));
    return sql;
}

QString ErrorOf(const QSqlQuery& query, const QString& what) {
    return what + QStringLiteral(": ") + query.lastError().text();
}

// Runs a prepared statement with its values; false leaves the error in `error`.
bool Run(QSqlQuery& query, const QString& sql, const QVariantList& values, QString* error) {
    if (!query.prepare(sql)) {
        *error = ErrorOf(query, sql.left(60));
        return false;
    }
    for (const QVariant& v : values) {
        query.addBindValue(v);
    }
    if (!query.exec()) {
        *error = ErrorOf(query, sql.left(60));
        return false;
    }
    return true;
}

// A transaction that rolls back unless committed. SQLite takes its write lock at the start, so
// that two writers never deadlock upgrading their locks. Inside an archive's batch it is a
// savepoint: atomic on its own, made durable by the batch's one commit.
class Transaction {
public:
    Transaction(QSqlDatabase db, Dialect dialect, bool inBatch = false) : m_db(std::move(db)) {
        if (inBatch) {
            m_savepoint = true;
            QSqlQuery q(m_db);
            m_open = q.exec(QStringLiteral("SAVEPOINT store"));
            m_error = m_open ? QString() : ErrorOf(q, QStringLiteral("SAVEPOINT"));
        } else if (dialect == Dialect::Sqlite) {
            QSqlQuery q(m_db);
            m_open = q.exec(QStringLiteral("BEGIN IMMEDIATE"));
            m_error = m_open ? QString() : ErrorOf(q, QStringLiteral("BEGIN"));
            m_manual = true;
        } else {
            m_open = m_db.transaction();
            m_error = m_open ? QString() : m_db.lastError().text();
        }
    }
    ~Transaction() {
        if (m_open) {
            Rollback();
        }
    }
    bool Ok() const { return m_open; }
    QString Error() const { return m_error; }
    QString Commit() {
        m_open = false;
        if (m_savepoint || m_manual) {
            QSqlQuery q(m_db);
            const QString sql =
                m_savepoint ? QStringLiteral("RELEASE SAVEPOINT store") : QStringLiteral("COMMIT");
            return q.exec(sql) ? QString() : ErrorOf(q, sql);
        }
        return m_db.commit() ? QString() : m_db.lastError().text();
    }

private:
    void Rollback() {
        m_open = false;
        if (m_savepoint) {
            QSqlQuery q(m_db);
            q.exec(QStringLiteral("ROLLBACK TO SAVEPOINT store"));
            q.exec(QStringLiteral("RELEASE SAVEPOINT store"));
        } else if (m_manual) {
            QSqlQuery q(m_db);
            q.exec(QStringLiteral("ROLLBACK"));
        } else {
            m_db.rollback();
        }
    }

    QSqlDatabase m_db;
    bool m_open = false;
    bool m_manual = false;
    bool m_savepoint = false;
    QString m_error;
};

EventRecord RecordFromQuery(const QSqlQuery& q, int first) {
    EventRecord r;
    for (int i = 0; i < 7; ++i) {
        r.Field(i) = QString::number(q.value(first + i).toLongLong());
    }
    r.event = q.value(first + 7).toString();
    return r;
}

}  // namespace

bool ParseLocation(const QString& text, Location* out, QString* error) {
    Location loc;
    if (text.startsWith(QStringLiteral("postgresql://")) ||
        text.startsWith(QStringLiteral("postgres://"))) {
        const QUrl url(text, QUrl::StrictMode);
        if (!url.isValid()) {
            *error = text + QStringLiteral(": not a postgresql:// address (") + url.errorString() +
                     QLatin1Char(')');
            return false;
        }
        loc.dialect = Dialect::Postgres;
        loc.host = url.host();
        loc.port = url.port(-1);
        loc.user = url.userName();
        loc.password = url.password();
        loc.database = url.path().mid(1);
        const QUrlQuery query(url);
        if (query.hasQueryItem(QStringLiteral("host"))) {
            loc.host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
        }
        if (loc.database.isEmpty()) {
            *error = text + QStringLiteral(": the address names no database");
            return false;
        }
    } else {
        loc.dialect = Dialect::Sqlite;
        loc.path = text.startsWith(QStringLiteral("sqlite:")) ? text.mid(7) : text;
        if (loc.path.isEmpty()) {
            *error = QStringLiteral("the archive names no file");
            return false;
        }
    }
    *out = loc;
    return true;
}

Archive::Archive() = default;

Archive::~Archive() {
    Close();
}

void Archive::Close() {
    m_inBatch = false;  // closing undoes an open batch
    m_statements.clear();
    if (m_connectionName.isEmpty()) {
        return;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    m_connectionName.clear();
}

bool Archive::IsOpen() const {
    return !m_connectionName.isEmpty() && QSqlDatabase::database(m_connectionName, false).isOpen();
}

int Archive::LatestSchemaVersion() {
    return Migrations().back().version;
}

QString Archive::Open(const QString& location) {
    return OpenAtVersion(location, LatestSchemaVersion());
}

QString Archive::Open(const Location& location) {
    return Connect(location, false);
}

QString Archive::OpenReadOnly(const QString& text) {
    Location location;
    QString error;
    if (!ParseLocation(text, &location, &error)) {
        return error;
    }
    // A read-only open never creates the file, nor a journal beside it.
    if (location.dialect == Dialect::Sqlite && !QFileInfo(location.path).isFile()) {
        return location.path + QStringLiteral(": no such archive file");
    }
    if (!(error = Connect(location, true)).isEmpty()) {
        return error;
    }
    const int version = SchemaVersion();
    if (version < kOldestReadableSchema) {
        Close();
        return version < 0 ? QStringLiteral("not a fleet archive (no schema version)")
                           : QStringLiteral(
                                 "the archive's schema (version %1) is older than this"
                                 " program reads")
                                 .arg(version);
    }
    if (version > LatestSchemaVersion()) {
        Close();
        return QStringLiteral("the archive's schema (version %1) is newer than this program knows")
            .arg(version);
    }
    return {};
}

QString Archive::Connect(const Location& location, bool readOnly) {
    Close();
    m_location = location;
    m_connectionName =
        QStringLiteral("kp650-archive-%1").arg(g_connectionCounter.fetchAndAddRelaxed(1));
    QSqlDatabase db;
    if (location.dialect == Dialect::Sqlite) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(location.path);
        db.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;"
                                                       "QSQLITE_BUSY_TIMEOUT=5000")
                                      : QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        db.setHostName(location.host);
        if (location.port > 0) {
            db.setPort(location.port);
        }
        db.setUserName(location.user);
        db.setPassword(location.password);
        db.setDatabaseName(location.database);
        db.setConnectOptions(QStringLiteral("connect_timeout=5"));
    }
    if (!db.isValid()) {
        const QString text = QStringLiteral("no Qt SQL driver for this archive");
        Close();
        return text;
    }
    if (!db.open()) {
        const QString text = db.lastError().text();
        Close();
        return text.isEmpty() ? QStringLiteral("the archive could not be opened") : text;
    }
    QStringList setup;
    if (location.dialect == Dialect::Sqlite && readOnly) {
        // Pages mapped instead of copied by a system call each: readers of a large archive
        // share the system's cache and step through it at memory speed.
        setup << QStringLiteral("PRAGMA mmap_size=1073741824");
    } else if (location.dialect == Dialect::Sqlite) {
        // WAL: readers never block the writer; FULL: a committed read survives a power cut
        // before the device is cleared.
        setup << QStringLiteral("PRAGMA journal_mode=WAL")
              << QStringLiteral("PRAGMA synchronous=FULL")
              << QStringLiteral("PRAGMA foreign_keys=ON");
    } else if (readOnly) {
        // Every transaction of this session is read-only; a statement that writes fails.
        setup << QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
    }
    QSqlQuery q(db);
    for (const QString& statement : setup) {
        if (!q.exec(statement)) {
            const QString text = ErrorOf(q, statement);
            Close();
            return text;
        }
    }
    return {};
}

QString Archive::OpenAtVersion(const QString& location, int version) {
    Location loc;
    QString error;
    if (!ParseLocation(location, &loc, &error)) {
        return error;
    }
    if (!(error = Open(loc)).isEmpty()) {
        return error;
    }
    error = Migrate(version);
    if (!error.isEmpty()) {
        Close();
    }
    return error;
}

QString Archive::Migrate(int upTo) {
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QString error;
    // An archive already at the version needs no write: a read-only replica opens too.
    const int found = SchemaVersion();
    if (found >= std::min(upTo, LatestSchemaVersion()) && found <= LatestSchemaVersion()) {
        return {};
    }
    Transaction tx(db, m_location.dialect);
    if (!tx.Ok()) {
        return tx.Error();
    }
    QSqlQuery q(db);
    // Two collectors starting together migrate one after the other (SQLite: the write lock
    // taken at the transaction's start).
    if (m_location.dialect == Dialect::Postgres &&
        !q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(650650)"))) {
        return ErrorOf(q, QStringLiteral("migration lock"));
    }
    if (!q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version"
                               " (version INTEGER NOT NULL, applied_at TEXT NOT NULL)"))) {
        return ErrorOf(q, QStringLiteral("schema_version"));
    }
    if (!q.exec(QStringLiteral("SELECT COALESCE(MAX(version), 0) FROM schema_version")) ||
        !q.next()) {
        return ErrorOf(q, QStringLiteral("schema_version"));
    }
    const int current = q.value(0).toInt();
    if (current > LatestSchemaVersion()) {
        return QStringLiteral("the archive's schema (version %1) is newer than this program's (%2)")
            .arg(current)
            .arg(LatestSchemaVersion());
    }
    for (const Migration& m : Migrations()) {
        if (m.version <= current || m.version > upTo) {
            continue;
        }
        for (const QString& statement : m.statements) {
            if (!q.exec(Dialected(statement, m_location.dialect))) {
                return ErrorOf(q, QStringLiteral("migration %1").arg(m.version));
            }
        }
        if (!Run(q,
                 QStringLiteral("INSERT INTO schema_version (version, applied_at) VALUES (?, ?)"),
                 {m.version, UtcText(QDateTime::currentDateTimeUtc())}, &error)) {
            return error;
        }
    }
    return tx.Commit();
}

int Archive::SchemaVersion() const {
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) || !q.next()) {
        return -1;
    }
    return q.value(0).toInt();
}

QString Archive::NowMsSql() const {
    return m_location.dialect == Dialect::Postgres
               ? QStringLiteral("CAST(EXTRACT(EPOCH FROM clock_timestamp()) * 1000 AS BIGINT)")
               : QStringLiteral("CAST((julianday('now') - 2440587.5) * 86400000.0 AS INTEGER)");
}

QString Archive::SaveDevice(const DeviceRow& d) {
    QString error;
    if (!Execute(
            QStringLiteral("INSERT INTO devices (name, station, channel, port) VALUES (?, ?, ?, ?)"
                           " ON CONFLICT (name) DO UPDATE SET station = excluded.station,"
                           " channel = excluded.channel, port = excluded.port"),
            {d.name, Text(d.station), Text(d.channel), Text(d.port)}, &error)) {
        return error;
    }
    if (d.variant >= 0 && !Execute(QStringLiteral("UPDATE devices SET variant = ? WHERE name = ?"),
                                   {d.variant, d.name}, &error)) {
        return error;
    }
    if (!d.idVersion.isEmpty() &&
        !Execute(QStringLiteral("UPDATE devices SET id_version = ?, id_date = ?, id_checksum = ?"
                                " WHERE name = ?"),
                 {d.idVersion, d.idDate, d.idChecksum, d.name}, &error)) {
        return error;
    }
    return {};
}

QString Archive::SaveStatus(const QString& device, const QString& collector,
                            const std::optional<QDateTime>& success, const QString& failure,
                            const QDateTime& nextPoll) {
    QString error;
    QString sql = QStringLiteral("UPDATE devices SET next_poll = ?, collector = ?");
    QVariantList values{UtcText(nextPoll), collector};
    if (success) {
        sql += QStringLiteral(", last_success = ?");
        values << UtcText(*success);
    }
    if (!failure.isEmpty()) {
        sql += QStringLiteral(", last_error = ?, last_error_at = ?");
        values << failure << UtcText(QDateTime::currentDateTimeUtc());
    }
    sql += QStringLiteral(" WHERE name = ?");
    values << device;
    Execute(sql, values, &error);
    return error;
}

StoreResult Archive::StoreRead(const ReadToStore& read) {
    StoreResult result;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    Transaction tx(db, m_location.dialect, m_inBatch);
    if (!tx.Ok()) {
        result.error = tx.Error();
        return result;
    }
    QString& error = result.error;
    QSqlQuery* q = nullptr;
    if (read.leaseMs > 0) {
        // Fencing: a collector that lost the device's lease (paused past its expiry) stores
        // nothing, so a device is never archived by two at once.
        q = Execute(QStringLiteral("UPDATE leases SET expires_at = %1 + ? WHERE device = ? AND"
                                   " collector = ?")
                        .arg(NowMsSql()),
                    {read.leaseMs, read.device, read.collector}, &error);
        if (!q) {
            return result;
        }
        if (q->numRowsAffected() != 1) {
            error = read.device + QStringLiteral(": the lease was lost; nothing stored");
            return result;
        }
    }
    const QString lockSuffix =
        m_location.dialect == Dialect::Postgres ? QStringLiteral(" FOR UPDATE") : QString();
    q = Execute(QStringLiteral("SELECT id, generation FROM devices WHERE name = ?") + lockSuffix,
                {read.device}, &error);
    if (!q) {
        return result;
    }
    if (!q->next()) {
        q->finish();
        error = read.device + QStringLiteral(": no such device in the archive");
        return result;
    }
    const qint64 deviceId = q->value(0).toLongLong();
    int generation = q->value(1).toInt();
    q->finish();
    q = Execute(QStringLiteral("SELECT year, month, day, hour, minute, second, msecond, event"
                               " FROM events WHERE device_id = ? AND generation = ?"
                               " ORDER BY position"),
                {deviceId, generation}, &error);
    if (!q) {
        return result;
    }
    std::vector<EventRecord> stored;
    while (q->next()) {
        stored.push_back(RecordFromQuery(*q, 0));
    }
    q->finish();  // SQLite commits only once no statement is left running
    const std::size_t common = std::min(stored.size(), read.records.size());
    bool agree = true;
    for (std::size_t i = 0; i < common && agree; ++i) {
        agree = stored[i] == read.records[i];
    }
    std::size_t first = stored.size();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!agree || (read.complete && read.records.size() < stored.size())) {
        ++generation;
        first = 0;
        result.newGeneration = true;
    }
    q = Execute(QStringLiteral("INSERT INTO reads (device_id, collector, host, started_at,"
                               " finished_at, clock_offset_ms, outcome, record_count, new_records,"
                               " generation) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"),
                {deviceId, Text(read.collector), Text(read.host),
                 UtcText(read.started.isValid() ? read.started : now),
                 UtcText(read.finished.isValid() ? read.finished : now),
                 read.clockOffsetMs ? QVariant(*read.clockOffsetMs)
                                    : QVariant(QMetaType(QMetaType::LongLong)),
                 Text(read.outcome), static_cast<int>(read.records.size()),
                 static_cast<int>(read.records.size() > first ? read.records.size() - first : 0),
                 generation},
                &error);
    if (!q) {
        return result;
    }
    if (!q->next()) {
        error = ErrorOf(*q, QStringLiteral("reads"));
        q->finish();
        return result;
    }
    result.readId = q->value(0).toLongLong();
    q->finish();
    if (first < read.records.size()) {
        // Every new record in one statement, the rows as one JSON text: one round trip to a
        // server however long the log, and no statement of thousands of values (Qt hands
        // SQLite each "?" as a named placeholder, looked up by a linear search: such a
        // statement costs its square, most of the collector's time, measured).
        q = Execute(EventsInsertSql(),
                    {deviceId, generation, result.readId, EventsJson(read, first)}, &error);
        if (!q) {
            return result;
        }
        result.newRecords = static_cast<int>(read.records.size() - first);
    }
    if (result.newGeneration &&
        !Execute(QStringLiteral("UPDATE devices SET generation = ? WHERE id = ?"),
                 {generation, deviceId}, &error)) {
        return result;
    }
    result.generation = generation;
    error = tx.Commit();
    return result;
}

QString Archive::EventsInsertSql() const {
    // Fields of each row: position, the seven numbers, the event text, its code, its time text.
    static const char* const kColumns[] = {"position", "year",    "month", "day",  "hour", "minute",
                                           "second",   "msecond", "event", "code", "at"};
    QStringList fields;
    for (int i = 0; i < 11; ++i) {
        const bool text = i == 8 || i == 10;
        fields << (m_location.dialect == Dialect::Postgres
                       ? (text ? QStringLiteral("e->>%1").arg(i)
                               : QStringLiteral("CAST(e->>%1 AS INTEGER)").arg(i))
                       : QStringLiteral("json_extract(e.value, '$[%1]')").arg(i));
    }
    QStringList columns;
    for (const char* c : kColumns) {
        columns << QString::fromLatin1(c);
    }
    const QString rows = m_location.dialect == Dialect::Postgres
                             ? QStringLiteral("json_array_elements(CAST(? AS json)) AS e")
                             : QStringLiteral("json_each(?) AS e");
    return QStringLiteral(
               "INSERT INTO events (device_id, generation, read_id, %1) SELECT"
               " CAST(? AS BIGINT), CAST(? AS INTEGER), CAST(? AS BIGINT), %2 FROM %3")
        .arg(columns.join(QStringLiteral(", ")), fields.join(QStringLiteral(", ")), rows);
}

QString Archive::EventsJson(const ReadToStore& read, std::size_t first) {
    QJsonArray rows;
    for (std::size_t i = first; i < read.records.size(); ++i) {
        const EventRecord& r = read.records[i];
        QJsonArray row{static_cast<qint64>(i)};
        for (int f = 0; f < 7; ++f) {
            row.append(r.Field(f).toInt());
        }
        row.append(Text(r.event));
        row.append(i < read.codes.size() ? QJsonValue(read.codes[i]) : QJsonValue());
        const QVariant at = EventTimeText(r);
        row.append(at.isNull() ? QJsonValue() : QJsonValue(at.toString()));
        rows.append(row);
    }
    return QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Compact));
}

QSqlQuery* Archive::Execute(const QString& sql, const QVariantList& values, QString* error) {
    std::unique_ptr<QSqlQuery>& slot = m_statements[sql];
    if (!slot) {
        auto query = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connectionName, false));
        if (!query->prepare(sql)) {
            *error = ErrorOf(*query, sql.left(60));
            m_statements.erase(sql);
            return nullptr;
        }
        slot = std::move(query);
    }
    QSqlQuery* query = slot.get();
    for (const QVariant& v : values) {
        query->addBindValue(v);
    }
    if (!query->exec()) {
        *error = ErrorOf(*query, sql.left(60));
        query->finish();
        return nullptr;
    }
    return query;
}

QString Archive::BeginBatch() {
    if (m_inBatch) {
        return QStringLiteral("a batch is open already");
    }
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery q(db);
    const bool begun = m_location.dialect == Dialect::Sqlite
                           ? q.exec(QStringLiteral("BEGIN IMMEDIATE"))
                           : db.transaction();
    if (!begun) {
        return m_location.dialect == Dialect::Sqlite ? ErrorOf(q, QStringLiteral("BEGIN"))
                                                     : db.lastError().text();
    }
    m_inBatch = true;
    return {};
}

QString Archive::CommitBatch() {
    if (!m_inBatch) {
        return {};
    }
    m_inBatch = false;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (m_location.dialect == Dialect::Sqlite) {
        QSqlQuery q(db);
        if (q.exec(QStringLiteral("COMMIT"))) {
            return {};
        }
        const QString error = ErrorOf(q, QStringLiteral("COMMIT"));
        q.exec(QStringLiteral("ROLLBACK"));
        return error;
    }
    if (db.commit()) {
        return {};
    }
    const QString error = db.lastError().text();
    db.rollback();
    return error;
}

QString Archive::MarkCleared(const QString& device) {
    QString error;
    QSqlQuery* q =
        Execute(QStringLiteral("UPDATE devices SET generation = generation + 1 WHERE name = ?"),
                {device}, &error);
    if (!q) {
        return error;
    }
    return q->numRowsAffected() == 1 ? QString()
                                     : device + QStringLiteral(": no such device in the archive");
}

QString Archive::SaveParameterSet(const QString& device, const QString& frameHex,
                                  const QDateTime& seen, bool* stored) {
    if (stored) {
        *stored = false;
    }
    QString error;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    Transaction tx(db, m_location.dialect, m_inBatch);
    if (!tx.Ok()) {
        return tx.Error();
    }
    QSqlQuery* q =
        Execute(QStringLiteral("SELECT id FROM devices WHERE name = ?"), {device}, &error);
    if (!q) {
        return error;
    }
    if (!q->next()) {
        q->finish();
        return device + QStringLiteral(": no such device in the archive");
    }
    const qint64 id = q->value(0).toLongLong();
    q->finish();
    q = Execute(QStringLiteral("SELECT frame FROM parameter_sets WHERE device_id = ?"
                               " ORDER BY id DESC LIMIT 1"),
                {id}, &error);
    if (!q) {
        return error;
    }
    const bool same = q->next() && q->value(0).toString() == frameHex;
    q->finish();
    if (same) {
        return {};
    }
    if (!Execute(QStringLiteral(
                     "INSERT INTO parameter_sets (device_id, seen_at, frame) VALUES (?, ?, ?)"),
                 {id, UtcText(seen), frameHex}, &error)) {
        return error;
    }
    error = tx.Commit();
    if (error.isEmpty() && stored) {
        *stored = true;
    }
    return error;
}

std::vector<QString> Archive::ParameterSets(const QString& device, QString* error) const {
    std::vector<QString> frames;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    QString e;
    if (!Run(q,
             QStringLiteral("SELECT p.frame FROM parameter_sets p JOIN devices d"
                            " ON d.id = p.device_id WHERE d.name = ? ORDER BY p.id"),
             {device}, &e)) {
        if (error) {
            *error = e;
        }
        return frames;
    }
    while (q.next()) {
        frames.push_back(q.value(0).toString());
    }
    return frames;
}

LeaseResult Archive::AcquireLease(const QString& device, const QString& collector, int ttlMs) {
    LeaseResult result;
    const QString now = NowMsSql();
    QSqlQuery* q = Execute(
        QStringLiteral("INSERT INTO leases (device, collector, expires_at) VALUES (?, ?, %1 + ?)"
                       " ON CONFLICT (device) DO UPDATE SET collector = excluded.collector,"
                       " expires_at = excluded.expires_at WHERE leases.collector ="
                       " excluded.collector OR leases.expires_at < %1 RETURNING collector")
            .arg(now),
        {device, collector, ttlMs}, &result.error);
    if (!q) {
        return result;
    }
    result.held = q->next() && q->value(0).toString() == collector;
    q->finish();
    if (!result.held) {
        q = Execute(QStringLiteral("SELECT collector FROM leases WHERE device = ?"), {device},
                    &result.error);
        if (q && q->next()) {
            result.holder = q->value(0).toString();
        }
        if (q) {
            q->finish();
        }
    }
    return result;
}

QString Archive::ReleaseLease(const QString& device, const QString& collector) {
    QString error;
    Execute(QStringLiteral("DELETE FROM leases WHERE device = ? AND collector = ?"),
            {device, collector}, &error);
    return error;
}

namespace {

// Reading calls give their error through an optional pointer.
bool Read(QSqlQuery& q, const QString& sql, const QVariantList& values, QString* error) {
    q.setForwardOnly(true);
    QString e;
    if (Run(q, sql, values, &e)) {
        return true;
    }
    if (error) {
        *error = e;
    }
    return false;
}

std::optional<qint64> OptionalNumber(const QVariant& value) {
    if (value.isNull()) {
        return std::nullopt;
    }
    return value.toLongLong();
}

const QString kDeviceColumns = QStringLiteral(
    "SELECT d.id, d.name, d.station, d.channel, d.port, d.variant, d.id_version, d.id_date,"
    " d.id_checksum, d.generation, d.last_success, d.last_error_at, d.last_error, d.next_poll,"
    " d.collector");

DeviceRow DeviceFromQuery(const QSqlQuery& q) {
    DeviceRow d;
    d.id = q.value(0).toLongLong();
    d.name = q.value(1).toString();
    d.station = q.value(2).toString();
    d.channel = q.value(3).toString();
    d.port = q.value(4).toString();
    d.variant = q.value(5).isNull() ? -1 : q.value(5).toInt();
    d.idVersion = q.value(6).toString();
    d.idDate = q.value(7).toString();
    d.idChecksum = q.value(8).toString();
    d.generation = q.value(9).toInt();
    d.lastSuccess = FromUtcText(q.value(10));
    d.lastErrorAt = FromUtcText(q.value(11));
    d.lastError = q.value(12).toString();
    d.nextPoll = FromUtcText(q.value(13));
    d.collector = q.value(14).toString();
    return d;
}

// A device's events in a range: the WHERE clause and its values.
QString EventsWhere(const EventQuery& query, QVariantList* values) {
    QString sql = QStringLiteral(" WHERE e.device_id = (SELECT id FROM devices WHERE name = ?)");
    *values << query.device;
    // A start key within the range replaces the lower bound, so that the index is entered at
    // the key instead of at the range's start.
    if (query.start && !query.start->at.isEmpty()) {
        sql += QStringLiteral(" AND e.at >= ? AND (e.at > ? OR e.id >= ?)");
        *values << query.start->at << query.start->at << query.start->id;
    } else {
        if (query.from.isValid()) {
            sql += QStringLiteral(" AND e.at >= ?");
            *values << query.from.toString(kLocalFormat);
        }
        if (query.start) {
            sql += QStringLiteral(" AND (e.at IS NOT NULL OR e.id >= ?)");
            *values << query.start->id;
        }
    }
    if (query.to.isValid()) {
        sql += QStringLiteral(" AND e.at < ?");
        *values << query.to.toString(kLocalFormat);
    }
    return sql;
}

QString TimeOrder(Dialect dialect) {
    // The (device, time) index holds the rows in this order; PostgreSQL puts a missing time
    // last unless told.
    return dialect == Dialect::Postgres ? QStringLiteral(" ORDER BY e.at NULLS FIRST, e.id")
                                        : QStringLiteral(" ORDER BY e.at, e.id");
}

}  // namespace

std::vector<DeviceRow> Archive::Devices(QString* error) const {
    std::vector<DeviceRow> rows;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    // Counts come from the reads (each says how many records it added), so the fleet costs one
    // look per device instead of a count over every event.
    if (!Read(q,
              kDeviceColumns +
                  QStringLiteral(
                      ", (SELECT COALESCE(SUM(r.new_records), 0) FROM reads r"
                      "  WHERE r.device_id = d.id),"
                      " (SELECT COUNT(*) FROM reads r WHERE r.device_id = d.id),"
                      " (SELECT COUNT(*) FROM reads r WHERE r.device_id = d.id"
                      "  AND r.outcome <> 'ok'),"
                      " (SELECT r.started_at FROM reads r WHERE r.device_id = d.id"
                      "  ORDER BY r.id DESC LIMIT 1),"
                      " (SELECT r.outcome FROM reads r WHERE r.device_id = d.id"
                      "  ORDER BY r.id DESC LIMIT 1),"
                      " (SELECT r.clock_offset_ms FROM reads r WHERE r.device_id = d.id AND"
                      "  r.clock_offset_ms IS NOT NULL ORDER BY r.id DESC LIMIT 1)"
                      " FROM devices d ORDER BY d.name"),
              {}, error)) {
        return rows;
    }
    while (q.next()) {
        DeviceRow d = DeviceFromQuery(q);
        d.records = q.value(15).toLongLong();
        d.reads = q.value(16).toLongLong();
        d.failedReads = q.value(17).toLongLong();
        d.lastReadAt = FromUtcText(q.value(18));
        d.lastReadOutcome = q.value(19).toString();
        d.clockOffsetMs = OptionalNumber(q.value(20));
        rows.push_back(d);
    }
    return rows;
}

std::optional<DeviceRow> Archive::Device(const QString& name, QString* error) const {
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!Read(q, kDeviceColumns + QStringLiteral(" FROM devices d WHERE d.name = ?"), {name},
              error) ||
        !q.next()) {
        return std::nullopt;
    }
    return DeviceFromQuery(q);
}

std::vector<ReadRow> Archive::Reads(const QString& device, qint64 offset, int limit, QString* error,
                                    ReadOrder order) const {
    std::vector<ReadRow> rows;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!Read(q,
              QStringLiteral("SELECT r.id, d.name, r.collector, r.host, r.started_at,"
                             " r.finished_at, r.clock_offset_ms, r.outcome, r.record_count,"
                             " r.new_records, r.generation FROM reads r JOIN devices d"
                             " ON d.id = r.device_id WHERE d.name = ? OR ? = ''"
                             " ORDER BY r.id") +
                  (order == ReadOrder::Newest ? QStringLiteral(" DESC") : QString()) +
                  QStringLiteral(" LIMIT ? OFFSET ?"),
              {Text(device), Text(device), limit, offset}, error)) {
        return rows;
    }
    while (q.next()) {
        ReadRow r;
        r.id = q.value(0).toLongLong();
        r.device = q.value(1).toString();
        r.collector = q.value(2).toString();
        r.host = q.value(3).toString();
        r.started = FromUtcText(q.value(4));
        r.finished = FromUtcText(q.value(5));
        r.clockOffsetMs = OptionalNumber(q.value(6));
        r.outcome = q.value(7).toString();
        r.recordCount = q.value(8).toInt();
        r.newRecords = q.value(9).toInt();
        r.generation = q.value(10).toInt();
        rows.push_back(r);
    }
    return rows;
}

std::optional<qint64> Archive::ReadCount(const QString& device, QString* error) const {
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!Read(q,
              QStringLiteral("SELECT COUNT(*) FROM reads r WHERE r.device_id ="
                             " (SELECT id FROM devices WHERE name = ?)"),
              {device}, error) ||
        !q.next()) {
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

std::optional<qint64> Archive::Version(QString* error) const {
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!Read(q, QStringLiteral("SELECT COALESCE(MAX(id), 0) FROM reads"), {}, error) ||
        !q.next()) {
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

std::vector<EventRow> Archive::Events(const EventQuery& query, QString* error) const {
    std::vector<EventRow> rows;
    QVariantList values;
    const QString sql =
        QStringLiteral(
            "SELECT e.id, e.generation, e.position, e.year, e.month, e.day, e.hour,"
            " e.minute, e.second, e.msecond, e.event, e.code, e.read_id, e.at"
            " FROM events e") +
        EventsWhere(query, &values) +
        (query.order == EventOrder::Time ? TimeOrder(m_location.dialect)
                                         : QStringLiteral(" ORDER BY e.generation, e.position")) +
        QStringLiteral(" LIMIT ? OFFSET ?");
    values << query.limit << query.offset;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!Read(q, sql, values, error)) {
        return rows;
    }
    rows.reserve(static_cast<std::size_t>(std::max(0, query.limit)));
    while (q.next()) {
        EventRow r;
        r.id = q.value(0).toLongLong();
        r.device = query.device;
        r.generation = q.value(1).toInt();
        r.position = q.value(2).toInt();
        r.record = RecordFromQuery(q, 3);
        r.code = q.value(11).isNull() ? -1 : q.value(11).toInt();
        r.readId = q.value(12).toLongLong();
        r.at = q.value(13).toString();
        rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<EventRow> Archive::Events(const QString& device, const QDateTime& from,
                                      const QDateTime& to, int offset, int limit,
                                      QString* error) const {
    EventQuery query;
    query.device = device;
    query.from = from;
    query.to = to;
    query.offset = offset;
    query.limit = limit;
    return Events(query, error);
}

std::optional<EventIndex> Archive::IndexEvents(const EventQuery& query, int every,
                                               QString* error) const {
    EventIndex index;
    index.every = std::max(1, every);
    EventQuery whole = query;
    whole.start.reset();
    QVariantList values;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    // The index alone answers this: no event row is read.
    if (!Read(q,
              QStringLiteral("SELECT e.at, e.id FROM events e") + EventsWhere(whole, &values) +
                  TimeOrder(m_location.dialect),
              values, error)) {
        return std::nullopt;
    }
    while (q.next()) {
        if (index.count % index.every == 0) {
            index.keys.push_back({q.value(0).toString(), q.value(1).toLongLong()});
        }
        ++index.count;
    }
    return index;
}

JournalPushResult Archive::PushJournal(const std::vector<journal::Entry>& entries) {
    JournalPushResult result;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    Transaction tx(db, m_location.dialect);
    if (!tx.Ok()) {
        result.error = tx.Error();
        return result;
    }
    QSqlQuery q(db);
    const QString now = UtcText(QDateTime::currentDateTimeUtc());
    for (const journal::Entry& e : entries) {
        const journal::PlannedWrite& w = e.write;
        if (!Run(q,
                 QStringLiteral(
                     "INSERT INTO journal_entries (uid, utc, local, os_user, host, program, port,"
                     " device, identification, kind, sent_fields, sent_bytes, before_fields,"
                     " archive_file, pushed_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
                     " ?, ?) ON CONFLICT (uid) DO NOTHING"),
                 {e.uid, UtcText(e.utc), Text(e.local), Text(e.origin.user), Text(e.origin.host),
                  Text(e.origin.program), Text(w.port), Text(w.device), Text(w.identification),
                  journal::KindName(w.kind), journal::FieldsText(w.sent), Text(w.sentBytes),
                  journal::FieldsText(w.before), Text(w.archiveFile), now},
                 &result.error)) {
            return {result.error, 0, 0};
        }
        result.entries += std::max(0, q.numRowsAffected());
        if (!e.completedUtc.isValid()) {
            continue;  // no outcome yet: a later push brings it
        }
        if (!Run(q,
                 QStringLiteral("INSERT INTO journal_completions (entry_uid, utc, outcome,"
                                " after_fields, detail, pushed_at) VALUES (?, ?, ?, ?, ?, ?)"
                                " ON CONFLICT (entry_uid) DO NOTHING"),
                 {e.uid, UtcText(e.completedUtc), journal::OutcomeName(e.outcome),
                  journal::FieldsText(e.after), Text(e.detail), now},
                 &result.error)) {
            return {result.error, 0, 0};
        }
        result.completions += std::max(0, q.numRowsAffected());
    }
    result.error = tx.Commit();
    if (!result.error.isEmpty()) {
        return {result.error, 0, 0};
    }
    return result;
}

std::vector<journal::Entry> Archive::JournalEntries(QString* error) const {
    std::vector<journal::Entry> entries;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!Read(q,
              QStringLiteral(
                  "SELECT e.id, e.uid, e.utc, e.local, e.os_user, e.host, e.program, e.port,"
                  " e.device, e.identification, e.kind, e.sent_fields, e.sent_bytes,"
                  " e.before_fields, e.archive_file, c.utc, c.outcome, c.after_fields, c.detail"
                  " FROM journal_entries e LEFT JOIN journal_completions c"
                  " ON c.entry_uid = e.uid ORDER BY e.utc, e.uid"),
              {}, error)) {
        return entries;
    }
    while (q.next()) {
        journal::Entry e;
        e.id = q.value(0).toLongLong();
        e.uid = q.value(1).toString();
        e.utc = FromUtcText(q.value(2));
        e.local = q.value(3).toString();
        e.origin = {q.value(4).toString(), q.value(5).toString(), q.value(6).toString()};
        e.write.port = q.value(7).toString();
        e.write.device = q.value(8).toString();
        e.write.identification = q.value(9).toString();
        e.write.kind = journal::KindFromName(q.value(10).toString())
                           .value_or(journal::WriteKind::ParameterWrite);
        e.write.sent = journal::FieldsFromText(q.value(11).toString());
        e.write.sentBytes = q.value(12).toString();
        e.write.before = journal::FieldsFromText(q.value(13).toString());
        e.write.archiveFile = q.value(14).toString();
        if (!q.value(15).isNull()) {
            e.completedUtc = FromUtcText(q.value(15));
            e.outcome = journal::OutcomeFromName(q.value(16).toString());
            e.after = journal::FieldsFromText(q.value(17).toString());
            e.detail = q.value(18).toString();
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

QStringList Archive::IntegrityProblems() const {
    QStringList problems;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (m_location.dialect == Dialect::Sqlite) {
        if (!q.exec(QStringLiteral("PRAGMA integrity_check"))) {
            return {ErrorOf(q, QStringLiteral("integrity_check"))};
        }
        while (q.next()) {
            if (q.value(0).toString() != QLatin1String("ok")) {
                problems << q.value(0).toString();
            }
        }
        if (q.exec(QStringLiteral("PRAGMA foreign_key_check")) && q.next()) {
            problems << QStringLiteral("a row refers to a missing row of ") + q.value(2).toString();
        }
    }
    // Each generation's positions run 0, 1, 2 ... without a gap.
    if (!q.exec(
            QStringLiteral("SELECT d.name, e.generation, COUNT(*), MAX(e.position)"
                           " FROM events e JOIN devices d ON d.id = e.device_id"
                           " GROUP BY d.name, e.generation"
                           " HAVING COUNT(*) <> MAX(e.position) + 1 OR MIN(e.position) <> 0"))) {
        return problems << ErrorOf(q, QStringLiteral("positions"));
    }
    while (q.next()) {
        problems << QStringLiteral("%1: generation %2 holds %3 records up to position %4")
                        .arg(q.value(0).toString())
                        .arg(q.value(1).toInt())
                        .arg(q.value(2).toInt())
                        .arg(q.value(3).toInt());
    }
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM events e WHERE NOT EXISTS"
                               " (SELECT 1 FROM reads r WHERE r.id = e.read_id)")) ||
        !q.next()) {
        return problems << ErrorOf(q, QStringLiteral("reads"));
    }
    if (q.value(0).toLongLong() > 0) {
        problems << QStringLiteral("%1 events without their read").arg(q.value(0).toLongLong());
    }
    return problems;
}

}  // namespace archive
