#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

#include <array>
#include <functional>
#include <vector>

#include "records/event_record.h"

// SQL pieces shared by the record store and the record list's snapshots (SQLite). Everything
// here runs on the thread that owns the connection.

namespace records {

inline const QString kSqliteDriver = QStringLiteral("QSQLITE");
inline const QString kMainSchema = QStringLiteral("main");

// A connection name no other caller uses.
QString NewConnectionName();

// The message a box shows for a database error: the database's own text when it has one.
QString ErrorText(const QSqlError& error);

// schema.table with the table quoted. TEMP is also the name of SQLite's temporary schema, so the
// schema is always named.
QString TableSql(const QSqlDatabase& db, const QString& table, const QString& schema = kMainSchema);

// The eight record columns, quoted, in field order, comma-separated.
QString ColumnList(const QSqlDatabase& db);

// The eight record columns as text values for a copy: NULL becomes the empty text, a number its
// decimal text.
QString ColumnTextList(const QSqlDatabase& db);

// Whether the table exists with all eight record columns (SQLite compares names ignoring case).
// A quoted column name that does not exist reads as a string literal in SQLite, so a copy from
// a table without them would silently fill every row with the names.
bool HasRecordColumns(const QSqlDatabase& db, const QString& table,
                      const QString& schema = kMainSchema);

// Opens a database file read-only through ATTACH on a connection opened with QSQLITE_OPEN_URI.
// A read-only attachment never checkpoints a WAL file nor deletes its side files.
QString ReadOnlyUri(const QString& path);

// A connection for the length of one operation. A read-only one never creates the file.
class ScopedConnection {
public:
    enum class Mode { ReadWrite, ReadOnly };
    ScopedConnection(const QString& path, Mode mode);
    ~ScopedConnection();
    ScopedConnection(const ScopedConnection&) = delete;
    ScopedConnection& operator=(const ScopedConnection&) = delete;

    // Open, and the file is a database at all (SQLite opens anything lazily).
    bool IsOpen() const { return m_open; }
    QSqlDatabase Database() const;

private:
    QString m_name;
    bool m_open = false;
};

// A database file attached to a connection under `schema` while this lives.
class Attachment {
public:
    enum class Mode { ReadWrite, ReadOnly };
    Attachment(const QSqlDatabase& db, const QString& path, const QString& schema, Mode mode);
    ~Attachment();
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    bool IsAttached() const { return m_attached; }
    QSqlError Error() const { return m_error; }

private:
    QSqlDatabase m_db;
    QString m_schema;
    bool m_attached = false;
    QSqlError m_error;
};

// Calls visit for every row of the table, in stored order (rowid order; a table made elsewhere
// without rowid in its own order). NULL reads as the empty text. False with *error on failure.
bool VisitRecordRows(const QSqlDatabase& db, const QString& table,
                     const std::function<void(const EventRecord&)>& visit, QSqlError* error);

// Appends rows to one table, many rows per statement: binding values one by one costs more than
// storing them, so a whole chunk travels as one JSON text. A chunk the database refuses is
// written again row by row, so that only the failing rows are lost, each one reported. Runs
// inside the caller's transaction.
class RecordWriter {
public:
    using ErrorReport = std::function<void(const QSqlError&)>;
    RecordWriter(const QSqlDatabase& db, const QString& table, ErrorReport report);

    // The eight field texts as UTF-8.
    void Add(const std::array<QByteArrayView, kRecordFieldCount>& utf8Fields);
    void Add(const EventRecord& record);
    // Writes what is buffered. False when the table cannot be written at all (reported once).
    bool Flush();

    // Rows written so far.
    qint64 Written() const { return m_written; }
    bool Broken() const { return m_broken; }

private:
    bool WriteChunk();
    bool WriteRowByRow();

    QSqlDatabase m_db;
    QString m_table;
    ErrorReport m_report;
    QSqlQuery m_chunkInsert;
    QSqlQuery m_rowInsert;
    bool m_chunkReady = false;
    bool m_rowReady = false;
    bool m_rowPrepared = false;
    bool m_broken = false;
    QByteArray m_json;                   // the buffered rows as one JSON array of arrays
    QByteArray m_fields;                 // ... and their fields back to back, for a retry
    std::vector<qsizetype> m_fieldEnds;  // end of each field in m_fields
    qint64 m_written = 0;
};

}  // namespace records
