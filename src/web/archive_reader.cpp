#include "web/archive_reader.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "archive/archive.h"

namespace web {

namespace {

QAtomicInt g_readerCounter;

// The oldest archive schema whose tables and columns this reader knows.
constexpr int kOldestSchema = 2;

bool Run(QSqlQuery& query, const QString& sql, const QVariantList& values, QString* error) {
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        *error = query.lastError().text();
        return false;
    }
    for (const QVariant& v : values) {
        query.addBindValue(v);
    }
    if (!query.exec()) {
        *error = query.lastError().text();
        return false;
    }
    return true;
}

std::optional<qint64> OptionalNumber(const QVariant& value) {
    if (value.isNull()) {
        return std::nullopt;
    }
    return value.toLongLong();
}

// The WHERE clause of a device's events in a range, and its values after the device's name.
QString RangeClause(const TimeRange& range, QVariantList* values) {
    QString sql = QStringLiteral(" WHERE e.device_id = (SELECT id FROM devices WHERE name = ?)");
    if (!range.from.isEmpty()) {
        sql += QStringLiteral(" AND e.at >= ?");
        *values << range.from;
    }
    if (!range.to.isEmpty()) {
        sql += QStringLiteral(" AND e.at < ?");
        *values << range.to;
    }
    return sql;
}

}  // namespace

ArchiveReader::ArchiveReader() = default;

ArchiveReader::~ArchiveReader() {
    Close();
}

void ArchiveReader::Close() {
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

QString ArchiveReader::Open(const QString& location) {
    Close();
    archive::Location loc;
    QString error;
    if (!archive::ParseLocation(location, &loc, &error)) {
        return error;
    }
    m_connectionName =
        QStringLiteral("kp650-web-reader-%1").arg(g_readerCounter.fetchAndAddRelaxed(1));
    QSqlDatabase db;
    if (loc.dialect == archive::Dialect::Sqlite) {
        // A read-only open never creates the file, nor a journal in it.
        if (!QFileInfo(loc.path).isFile()) {
            Close();
            return loc.path + QStringLiteral(": no such archive file");
        }
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(loc.path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        db.setHostName(loc.host);
        if (loc.port > 0) {
            db.setPort(loc.port);
        }
        db.setUserName(loc.user);
        db.setPassword(loc.password);
        db.setDatabaseName(loc.database);
        db.setConnectOptions(QStringLiteral("connect_timeout=5"));
    }
    if (!db.isValid()) {
        Close();
        return QStringLiteral("no Qt SQL driver for this archive");
    }
    if (!db.open()) {
        error = db.lastError().text();
        Close();
        return error.isEmpty() ? QStringLiteral("the archive could not be opened") : error;
    }
    QSqlQuery q(db);
    if (loc.dialect == archive::Dialect::Postgres) {
        // Every transaction of this session is read-only; a statement that writes fails.
        if (!q.exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY")) ||
            !q.exec(QStringLiteral("SHOW transaction_read_only")) || !q.next() ||
            q.value(0).toString() != QLatin1String("on")) {
            error =
                QStringLiteral("the session could not be made read-only: ") + q.lastError().text();
            Close();
            return error;
        }
    }
    if (!q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) || !q.next()) {
        Close();
        return QStringLiteral("not a fleet archive (no schema version)");
    }
    const int version = q.value(0).toInt();
    if (version < kOldestSchema) {
        Close();
        return QStringLiteral("the archive's schema (version %1) is older than this reader knows")
            .arg(version);
    }
    return {};
}

std::optional<std::vector<FleetDevice>> ArchiveReader::Fleet(QString* error) const {
    // Counts come from the reads (each read says how many records it added), so the fleet
    // table costs one look per device instead of a count over every event.
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!Run(q,
             QStringLiteral(
                 "SELECT d.name, d.station, d.channel, d.port, d.variant, d.id_version,"
                 " d.id_date, d.id_checksum, d.last_success, d.last_error, d.last_error_at,"
                 " d.next_poll, d.collector,"
                 " (SELECT COALESCE(SUM(r.new_records), 0) FROM reads r WHERE r.device_id = d.id),"
                 " (SELECT COUNT(*) FROM reads r WHERE r.device_id = d.id),"
                 " (SELECT COUNT(*) FROM reads r WHERE r.device_id = d.id AND r.outcome <> 'ok'),"
                 " (SELECT r.started_at FROM reads r WHERE r.device_id = d.id"
                 "  ORDER BY r.id DESC LIMIT 1),"
                 " (SELECT r.outcome FROM reads r WHERE r.device_id = d.id"
                 "  ORDER BY r.id DESC LIMIT 1),"
                 " (SELECT r.clock_offset_ms FROM reads r WHERE r.device_id = d.id AND"
                 "  r.clock_offset_ms IS NOT NULL ORDER BY r.id DESC LIMIT 1)"
                 " FROM devices d ORDER BY d.name"),
             {}, error)) {
        return std::nullopt;
    }
    std::vector<FleetDevice> devices;
    while (q.next()) {
        FleetDevice d;
        d.name = q.value(0).toString();
        d.station = q.value(1).toString();
        d.channel = q.value(2).toString();
        d.port = q.value(3).toString();
        d.variant = q.value(4).isNull() ? -1 : q.value(4).toInt();
        d.idVersion = q.value(5).toString();
        d.idDate = q.value(6).toString();
        d.idChecksum = q.value(7).toString();
        d.lastSuccess = q.value(8).toString();
        d.lastError = q.value(9).toString();
        d.lastErrorAt = q.value(10).toString();
        d.nextPoll = q.value(11).toString();
        d.collector = q.value(12).toString();
        d.records = q.value(13).toLongLong();
        d.reads = q.value(14).toLongLong();
        d.failedReads = q.value(15).toLongLong();
        d.lastReadAt = q.value(16).toString();
        d.lastReadOutcome = q.value(17).toString();
        d.clockOffsetMs = OptionalNumber(q.value(18));
        devices.push_back(d);
    }
    return devices;
}

std::optional<int> ArchiveReader::DeviceVariant(const QString& device, QString* error) const {
    error->clear();
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!Run(q, QStringLiteral("SELECT variant FROM devices WHERE name = ?"), {device}, error) ||
        !q.next()) {
        return std::nullopt;
    }
    return q.value(0).isNull() ? -1 : q.value(0).toInt();
}

std::optional<qint64> ArchiveReader::ReadCount(const QString& device, QString* error) const {
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!Run(q,
             QStringLiteral("SELECT COUNT(*) FROM reads r WHERE r.device_id ="
                            " (SELECT id FROM devices WHERE name = ?)"),
             {device}, error) ||
        !q.next()) {
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

std::optional<std::vector<ReadEntry>> ArchiveReader::Reads(const QString& device, qint64 offset,
                                                           int limit, QString* error) const {
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!Run(q,
             QStringLiteral("SELECT r.id, r.collector, r.host, r.started_at, r.finished_at,"
                            " r.clock_offset_ms, r.outcome, r.record_count, r.new_records,"
                            " r.generation FROM reads r WHERE r.device_id ="
                            " (SELECT id FROM devices WHERE name = ?)"
                            " ORDER BY r.id DESC LIMIT ? OFFSET ?"),
             {device, limit, offset}, error)) {
        return std::nullopt;
    }
    std::vector<ReadEntry> reads;
    while (q.next()) {
        ReadEntry r;
        r.id = q.value(0).toLongLong();
        r.collector = q.value(1).toString();
        r.host = q.value(2).toString();
        r.started = q.value(3).toString();
        r.finished = q.value(4).toString();
        r.clockOffsetMs = OptionalNumber(q.value(5));
        r.outcome = q.value(6).toString();
        r.recordCount = q.value(7).toInt();
        r.newRecords = q.value(8).toInt();
        r.generation = q.value(9).toInt();
        reads.push_back(r);
    }
    return reads;
}

std::optional<qint64> ArchiveReader::ArchiveVersion(QString* error) const {
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!Run(q, QStringLiteral("SELECT COALESCE(MAX(id), 0) FROM reads"), {}, error) || !q.next()) {
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

std::optional<qint64> ArchiveReader::EventCount(const QString& device, const TimeRange& range,
                                                QString* error) const {
    QVariantList values{device};
    const QString sql =
        QStringLiteral("SELECT COUNT(*) FROM events e") + RangeClause(range, &values);
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!Run(q, sql, values, error) || !q.next()) {
        return std::nullopt;
    }
    return q.value(0).toLongLong();
}

std::optional<std::vector<EventEntry>> ArchiveReader::Events(const QString& device,
                                                             const TimeRange& range, qint64 offset,
                                                             int limit, QString* error) const {
    QVariantList values{device};
    const QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    // The (device, time) index already holds rows in this order; PostgreSQL sorts a missing
    // time last unless told.
    const bool postgres = db.driverName() == QLatin1String("QPSQL");
    const QString sql =
        QStringLiteral(
            "SELECT e.id, e.generation, e.position, e.year, e.month, e.day, e.hour,"
            " e.minute, e.second, e.msecond, e.event, e.code, e.read_id, e.at"
            " FROM events e") +
        RangeClause(range, &values) +
        (postgres ? QStringLiteral(" ORDER BY e.at NULLS FIRST, e.id LIMIT ? OFFSET ?")
                  : QStringLiteral(" ORDER BY e.at, e.id LIMIT ? OFFSET ?"));
    values << limit << offset;
    QSqlQuery q(db);
    if (!Run(q, sql, values, error)) {
        return std::nullopt;
    }
    std::vector<EventEntry> events;
    while (q.next()) {
        EventEntry e;
        e.id = q.value(0).toLongLong();
        e.generation = q.value(1).toInt();
        e.position = q.value(2).toInt();
        for (int i = 0; i < 7; ++i) {
            e.record.Field(i) = QString::number(q.value(3 + i).toLongLong());
        }
        e.record.event = q.value(10).toString();
        e.code = q.value(11).isNull() ? -1 : q.value(11).toInt();
        e.readId = q.value(12).toLongLong();
        e.at = q.value(13).toString();
        events.push_back(e);
    }
    return events;
}

}  // namespace web
