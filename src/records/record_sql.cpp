#include "records/record_sql.h"

#include <QSqlDriver>
#include <QSqlRecord>
#include <QUrl>

#include <algorithm>

namespace records {

namespace {

// Rows of one chunk, and its size: large enough that a statement costs little per row, small
// enough that a retry row by row stays short.
constexpr int kChunkRows = 1000;
constexpr qsizetype kChunkBytes = 1024 * 1024;

QString QuotedColumn(const QSqlDatabase& db, const char* name) {
    return db.driver()->escapeIdentifier(QLatin1String(name), QSqlDriver::FieldName);
}

void AppendJsonString(QByteArray& out, QByteArrayView utf8) {
    static const char kHex[] = "0123456789abcdef";
    out.append('"');
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.append('\\').append(c);
        } else if (byte < 0x20) {
            out.append("\\u00").append(kHex[byte >> 4]).append(kHex[byte & 0xF]);
        } else {
            out.append(c);
        }
    }
    out.append('"');
}

}  // namespace

QString NewConnectionName() {
    static int counter = 0;
    return QStringLiteral("kp650-records-%1").arg(++counter);
}

QString ErrorText(const QSqlError& error) {
    if (!error.databaseText().isEmpty()) {
        return error.databaseText();
    }
    if (!error.driverText().isEmpty()) {
        return error.driverText();
    }
    return error.text();
}

QString TableSql(const QSqlDatabase& db, const QString& table, const QString& schema) {
    return schema + QLatin1Char('.') + db.driver()->escapeIdentifier(table, QSqlDriver::TableName);
}

QString ColumnList(const QSqlDatabase& db) {
    QStringList columns;
    for (const char* name : kRecordFieldNames) {
        columns << QuotedColumn(db, name);
    }
    return columns.join(QLatin1Char(','));
}

QString ColumnTextList(const QSqlDatabase& db) {
    QStringList values;
    for (const char* name : kRecordFieldNames) {
        values << QStringLiteral("ifnull(CAST(%1 AS TEXT),'')").arg(QuotedColumn(db, name));
    }
    return values.join(QLatin1Char(','));
}

bool HasRecordColumns(const QSqlDatabase& db, const QString& table, const QString& schema) {
    QSqlQuery query(db);
    if (!query.exec(
            QStringLiteral("PRAGMA %1.table_info(%2)")
                .arg(schema, db.driver()->escapeIdentifier(table, QSqlDriver::TableName)))) {
        return false;
    }
    QStringList present;
    while (query.next()) {
        present << query.value(1).toString().toLower();
    }
    return std::all_of(kRecordFieldNames.begin(), kRecordFieldNames.end(),
                       [&](const char* name) { return present.contains(QLatin1String(name)); });
}

QString ReadOnlyUri(const QString& path) {
    QUrl url = QUrl::fromLocalFile(path);
    url.setQuery(QStringLiteral("mode=ro"));
    return url.toString(QUrl::FullyEncoded);
}

ScopedConnection::ScopedConnection(const QString& path, Mode mode) : m_name(NewConnectionName()) {
    QSqlDatabase db = QSqlDatabase::addDatabase(kSqliteDriver, m_name);
    db.setDatabaseName(path);
    if (mode == Mode::ReadOnly) {
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    }
    if (db.open()) {
        QSqlQuery query(db);
        m_open = query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && query.next();
    }
}

ScopedConnection::~ScopedConnection() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase ScopedConnection::Database() const {
    return QSqlDatabase::database(m_name, false);
}

Attachment::Attachment(const QSqlDatabase& db, const QString& path, const QString& schema,
                       Mode mode)
    : m_db(db), m_schema(schema) {
    QSqlQuery query(m_db);
    if (!query.prepare(QStringLiteral("ATTACH DATABASE ? AS ") + m_schema)) {
        m_error = query.lastError();
        return;
    }
    query.addBindValue(mode == Mode::ReadOnly ? ReadOnlyUri(path) : path);
    m_attached = query.exec();
    if (!m_attached) {
        m_error = query.lastError();
    }
}

Attachment::~Attachment() {
    if (m_attached) {
        QSqlQuery query(m_db);
        query.exec(QStringLiteral("DETACH DATABASE ") + m_schema);
    }
}

bool VisitRecordRows(const QSqlDatabase& db, const QString& table,
                     const std::function<void(const EventRecord&)>& visit, QSqlError* error) {
    const QString select =
        QStringLiteral("SELECT %1 FROM %2").arg(ColumnList(db), TableSql(db, table));
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(select + QStringLiteral(" ORDER BY rowid"))) {
        if (!query.exec(select)) {
            *error = query.lastError();
            return false;
        }
    }
    EventRecord record;
    while (query.next()) {
        for (int i = 0; i < kRecordFieldCount; ++i) {
            const QVariant value = query.value(i);
            record.Field(i) = value.isNull() ? QString() : value.toString();
        }
        visit(record);
    }
    if (query.lastError().isValid()) {
        *error = query.lastError();
        return false;
    }
    return true;
}

RecordWriter::RecordWriter(const QSqlDatabase& db, const QString& table, ErrorReport report)
    : m_db(db), m_table(table), m_report(std::move(report)), m_chunkInsert(db), m_rowInsert(db) {
    QStringList values;
    for (int i = 0; i < kRecordFieldCount; ++i) {
        values << QStringLiteral("json_extract(value,'$[%1]')").arg(i);
    }
    // Without the JSON functions every row goes on its own.
    m_chunkReady = m_chunkInsert.prepare(
        QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM json_each(CAST(? AS TEXT))")
            .arg(TableSql(db, table), ColumnList(db), values.join(QLatin1Char(','))));
    m_json.reserve(kChunkBytes + 64 * 1024);
}

void RecordWriter::Add(const std::array<QByteArrayView, kRecordFieldCount>& utf8Fields) {
    m_json.append(m_json.isEmpty() ? "[[" : ",[");
    for (std::size_t i = 0; i < utf8Fields.size(); ++i) {
        if (i > 0) {
            m_json.append(',');
        }
        AppendJsonString(m_json, utf8Fields[i]);
        m_fields.append(utf8Fields[i]);
        m_fieldEnds.push_back(m_fields.size());
    }
    m_json.append(']');
    if (m_fieldEnds.size() >= kChunkRows * std::size_t(kRecordFieldCount) ||
        m_json.size() >= kChunkBytes) {
        Flush();
    }
}

void RecordWriter::Add(const EventRecord& record) {
    std::array<QByteArray, kRecordFieldCount> utf8;
    std::array<QByteArrayView, kRecordFieldCount> views;
    for (int i = 0; i < kRecordFieldCount; ++i) {
        utf8[std::size_t(i)] = record.Field(i).toUtf8();
        views[std::size_t(i)] = utf8[std::size_t(i)];
    }
    Add(views);
}

bool RecordWriter::Flush() {
    if (m_fieldEnds.empty()) {
        return !m_broken;
    }
    // A single row (a log read stores each record as it comes) goes through the plain prepared
    // INSERT: cheaper than parsing a one-row JSON chunk, with the same report on failure.
    const bool oneRow = m_fieldEnds.size() == std::size_t(kRecordFieldCount);
    if (!m_broken && (oneRow || !WriteChunk())) {
        WriteRowByRow();
    }
    m_json.clear();
    m_fields.clear();
    m_fieldEnds.clear();
    return !m_broken;
}

bool RecordWriter::WriteChunk() {
    if (!m_chunkReady) {
        return false;
    }
    m_json.append(']');
    m_chunkInsert.bindValue(0, m_json);
    if (!m_chunkInsert.exec()) {
        // The statement is undone on its own; the transaction goes on.
        return false;
    }
    m_written += m_chunkInsert.numRowsAffected();
    return true;
}

bool RecordWriter::WriteRowByRow() {
    if (!m_rowPrepared) {
        m_rowPrepared = true;
        QStringList marks;
        for (int i = 0; i < kRecordFieldCount; ++i) {
            marks << QStringLiteral("?");
        }
        m_rowReady = m_rowInsert.prepare(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(TableSql(m_db, m_table), ColumnList(m_db), marks.join(QLatin1Char(','))));
        if (!m_rowReady) {
            m_broken = true;
            m_report(m_rowInsert.lastError());
            return false;
        }
    }
    qsizetype start = 0;
    for (std::size_t i = 0; i < m_fieldEnds.size(); ++i) {
        const qsizetype end = m_fieldEnds[i];
        // Never a null string: that would store NULL, not the empty text.
        const QString text = end > start
                                 ? QString::fromUtf8(m_fields.constData() + start, end - start)
                                 : QString(QLatin1String(""));
        m_rowInsert.bindValue(static_cast<int>(i % kRecordFieldCount), text);
        start = end;
        if (i % kRecordFieldCount == kRecordFieldCount - 1) {
            if (m_rowInsert.exec()) {
                ++m_written;
            } else {
                m_report(m_rowInsert.lastError());
            }
        }
    }
    return true;
}

}  // namespace records
