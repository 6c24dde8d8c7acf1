#include "records/record_store.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

#include "common/message_box.h"
#include "common/program_directory.h"
#include "records/record_text_file.h"

const QString records::kWorkingDatabaseConnectFailedText =
    QStringLiteral("数据库连接失败，确认数据库是否在当前路径下，并请重试!");
const QString records::kDatabaseFileConnectFailedText =
    QStringLiteral("数据库连接失败，确认数据库文件是否在当前路径下!");
const QString records::kOpenFileErrorText = QStringLiteral("打开文件出错！");
const QString records::kSaveFileErrorText = QStringLiteral("保存文件出错！");

namespace {

const QString kDriver = QStringLiteral("QSQLITE");

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

// Schema name of a database file attached to a connection for one copy.
const QString kFileSchema = QStringLiteral("kp650file");

// TEMP is also the name of SQLite's temporary schema: always name the schema.
QString TableSql(const QSqlDatabase& db, const QString& table,
                 const QString& schema = QStringLiteral("main")) {
    return schema + QLatin1Char('.') + db.driver()->escapeIdentifier(table, QSqlDriver::TableName);
}

QString ColumnList(const QSqlDatabase& db) {
    QStringList columns;
    for (const char* name : records::kRecordFieldNames) {
        columns << db.driver()->escapeIdentifier(QLatin1String(name), QSqlDriver::FieldName);
    }
    return columns.join(QLatin1Char(','));
}

bool CreateRecordTable(QSqlDatabase& db, const QString& table) {
    QStringList columns;
    for (const char* name : records::kRecordFieldNames) {
        columns << db.driver()->escapeIdentifier(QLatin1String(name), QSqlDriver::FieldName) +
                       QStringLiteral(" TEXT");
    }
    QSqlQuery query(db);
    return query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
                          .arg(TableSql(db, table), columns.join(QLatin1Char(','))));
}

// SQLite opens anything lazily; the first read tells whether the file is a database at all.
bool IsUsableDatabase(QSqlDatabase& db, QSqlError* error = nullptr) {
    QSqlQuery query(db);
    const bool usable =
        query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && query.next();
    if (!usable && error != nullptr) {
        *error = query.lastError();
    }
    return usable;
}

// Rows in the order stored (rowid order); tables made elsewhere without rowid in their own order.
bool VisitRows(const QSqlDatabase& db, const QString& table,
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
        for (int i = 0; i < records::kRecordFieldCount; ++i) {
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

// One prepared insert reused for every row.
class RowInserter {
public:
    RowInserter(const QSqlDatabase& db, const QString& table) : m_query(db) {
        QStringList marks;
        for (int i = 0; i < records::kRecordFieldCount; ++i) {
            marks << QStringLiteral("?");
        }
        m_ready = m_query.prepare(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(TableSql(db, table), ColumnList(db), marks.join(QLatin1Char(','))));
    }
    bool IsReady() const { return m_ready; }
    QSqlError LastError() const { return m_query.lastError(); }
    bool Insert(const EventRecord& record) {
        for (int i = 0; i < records::kRecordFieldCount; ++i) {
            // Never bind a null string: the column reads back the same as it was written.
            const QString& text = record.Field(i);
            m_query.bindValue(i, text.isNull() ? QString(QLatin1String("")) : text);
        }
        return m_query.exec();
    }

private:
    QSqlQuery m_query;
    bool m_ready = false;
};

// A connection for the length of one operation.
class ScopedConnection {
public:
    ScopedConnection(const QString& path, bool readOnly) : m_name(NewConnectionName()) {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, m_name);
        db.setDatabaseName(path);
        if (readOnly) {
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        }
        m_open = db.open() && IsUsableDatabase(db);
    }
    ~ScopedConnection() {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    ScopedConnection(const ScopedConnection&) = delete;
    ScopedConnection& operator=(const ScopedConnection&) = delete;

    bool IsOpen() const { return m_open; }
    QSqlDatabase Database() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
    bool m_open = false;
};

// Appends every row of `from` to `to` (both schema-qualified) in one statement, in stored
// order, every value as text. Run inside the caller's transaction: a failure leaves `to` as it
// was, and the caller copies row by row to report the rows that fail.
bool InsertSelect(QSqlDatabase& db, const QString& to, const QString& from, int* copied,
                  QSqlError* error) {
    QStringList values;
    for (const char* name : records::kRecordFieldNames) {
        values << QStringLiteral("ifnull(CAST(%1 AS TEXT),'')")
                      .arg(db.driver()->escapeIdentifier(QLatin1String(name),
                                                         QSqlDriver::FieldName));
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4 ORDER BY rowid")
                        .arg(to, ColumnList(db), values.join(QLatin1Char(',')), from))) {
        *error = query.lastError();
        return false;
    }
    *copied = query.numRowsAffected();
    return true;
}

// Empties `to` (when asked) and fills it from `from` with InsertSelect, in one transaction.
// False when anything failed; nothing has changed then.
bool ReplaceBySelect(QSqlDatabase& db, const QString& to, const QString& from, bool emptyFirst,
                     int* copied) {
    if (!db.transaction()) {
        return false;
    }
    bool ok = true;
    {
        QSqlQuery query(db);
        QSqlError error;
        ok = (!emptyFirst || query.exec(QStringLiteral("DELETE FROM %1").arg(to))) &&
             InsertSelect(db, to, from, copied, &error);
    }
    if (ok && db.commit()) {
        return true;
    }
    db.rollback();
    return false;
}

// A database file attached to a connection as kFileSchema while this lives.
class Attachment {
public:
    Attachment(const QSqlDatabase& db, const QString& path) : m_db(db) {
        QSqlQuery query(m_db);
        m_attached = query.prepare(QStringLiteral("ATTACH DATABASE ? AS ") + kFileSchema);
        query.addBindValue(path);
        m_attached = m_attached && query.exec();
    }
    ~Attachment() {
        if (m_attached) {
            QSqlQuery query(m_db);
            query.exec(QStringLiteral("DETACH DATABASE ") + kFileSchema);
        }
    }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    bool IsAttached() const { return m_attached; }

private:
    QSqlDatabase m_db;
    bool m_attached = false;
};

bool SameFile(const QString& a, const QString& b) {
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    if (canonicalA.isEmpty()) {
        return false;
    }
#ifdef Q_OS_WIN
    return canonicalA.compare(QFileInfo(b).canonicalFilePath(), Qt::CaseInsensitive) == 0;
#else
    return canonicalA == QFileInfo(b).canonicalFilePath();
#endif
}

std::filesystem::path FsPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// Replaces `to` by `from` in one step (an existing `to` stays intact if this fails).
bool ReplaceFile(const QString& from, const QString& to) {
    std::error_code error;
    std::filesystem::rename(FsPath(from), FsPath(to), error);
    return !error;
}

// The template holds an empty KPB650; created when it is missing.
bool EnsureTemplate() {
    const QString path = RecordStore::TemplatePath();
    if (QFileInfo::exists(path)) {
        return true;
    }
    bool ok = false;
    {
        ScopedConnection connection(path, false);
        QSqlDatabase db = connection.Database();
        ok = connection.IsOpen() && CreateRecordTable(db, records::kKpb650Table);
    }
    if (!ok) {
        QFile::remove(path);
    }
    return ok;
}

}  // namespace

RecordStore::RecordStore(QWidget* messageParent) : m_parent(messageParent) {}

RecordStore::~RecordStore() {
    Close();
}

QString RecordStore::WorkingDatabasePath(int variant) {
    return ProgramFile(variant == 0 ? QStringLiteral("KPA650.mdb") : QStringLiteral("KPB650.mdb"));
}

QString RecordStore::TemplatePath() {
    return ProgramFile(QStringLiteral("KPB.mdb"));
}

bool RecordStore::IsDatabasePath(const QString& path) {
    return path.endsWith(QLatin1Char('b'), Qt::CaseSensitive);
}

QString RecordStore::ProposedSaveName(int variant, QDate localDate) {
    return (variant == 0 ? QStringLiteral("KPA650(") : QStringLiteral("KPB650(")) +
           QString::asprintf("%4d-%2d-%2d", localDate.year(), localDate.month(), localDate.day()) +
           QStringLiteral(")");
}

bool RecordStore::Connect(const QString& path) {
    Close();
    const QString name = NewConnectionName();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, name);
        db.setDatabaseName(path);
        QSqlError error;
        ok = db.open();
        if (!ok) {
            error = db.lastError();
        } else {
            ok = IsUsableDatabase(db, &error);
        }
        if (ok) {
            // Every appended log record is its own commit; WAL keeps that cheap and a crash
            // still keeps every committed row.
            QSqlQuery pragma(db);
            pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
            pragma.finish();
            ok = CreateRecordTable(db, records::kTempTable) &&
                 CreateRecordTable(db, records::kKpb650Table);
            if (!ok) {
                error = db.lastError();
            }
        }
        if (!ok) {
            m_connectError = ErrorText(error);
            db.close();
        }
    }
    if (!ok) {
        QSqlDatabase::removeDatabase(name);
        return false;
    }
    m_connectionName = name;
    m_path = path;
    m_connectError.clear();
    return true;
}

bool RecordStore::ConnectWorking(int variant) {
    if (Connect(WorkingDatabasePath(variant))) {
        return true;
    }
    ShowMessageBox(MessageParent(nullptr), records::kWorkingDatabaseConnectFailedText);
    return false;
}

void RecordStore::Close() {
    if (m_connectionName.isEmpty()) {
        return;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    m_connectionName.clear();
    m_path.clear();
}

bool RecordStore::IsConnected() const {
    return !m_connectionName.isEmpty() && Database().isOpen();
}

QSqlDatabase RecordStore::Database() const {
    return QSqlDatabase::database(m_connectionName, false);
}

QWidget* RecordStore::MessageParent(QWidget* parent) const {
    return parent != nullptr ? parent : m_parent.data();
}

void RecordStore::ShowError(QWidget* parent, const QSqlError& error) const {
    ShowMessageBox(MessageParent(parent), ErrorText(error));
}

bool RecordStore::EmptyTable(const QString& table) {
    if (!IsConnected()) {
        return false;
    }
    QSqlDatabase db = Database();
    if (!db.transaction()) {
        ShowError(nullptr, db.lastError());
        return false;
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("DELETE FROM %1").arg(TableSql(db, table)))) {
        ShowError(nullptr, query.lastError());
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        ShowError(nullptr, db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

bool RecordStore::Append(const QString& table, const EventRecord& record) {
    if (!IsConnected()) {
        return false;
    }
    RowInserter inserter(Database(), table);
    if (!inserter.IsReady() || !inserter.Insert(record)) {
        ShowError(nullptr, inserter.LastError());
        return false;
    }
    return true;
}

bool RecordStore::ForEachRow(const QString& table,
                             const std::function<void(const EventRecord&)>& visit) const {
    if (!IsConnected()) {
        return false;
    }
    QSqlError error;
    if (!VisitRows(Database(), table, visit, &error)) {
        ShowError(nullptr, error);
        return false;
    }
    return true;
}

std::vector<EventRecord> RecordStore::ReadAll(const QString& table) const {
    std::vector<EventRecord> rows;
    ForEachRow(table, [&rows](const EventRecord& record) { rows.push_back(record); });
    return rows;
}

int RecordStore::RowCount(const QString& table) const {
    if (!IsConnected()) {
        return -1;
    }
    QSqlDatabase db = Database();
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM %1").arg(TableSql(db, table))) ||
        !query.next()) {
        ShowError(nullptr, query.lastError());
        return -1;
    }
    return query.value(0).toInt();
}

namespace {

// Empties `table` (when asked) and appends `rows`, all in one transaction of db. A row that
// fails is shown and the next one goes on; false when the transaction itself fails.
bool ReplaceRows(QSqlDatabase db, const QString& table, const std::vector<EventRecord>& rows,
                 bool emptyFirst, const std::function<void(const QSqlError&)>& report) {
    if (!db.transaction()) {
        report(db.lastError());
        return false;
    }
    {
        if (emptyFirst) {
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("DELETE FROM %1").arg(TableSql(db, table)))) {
                report(query.lastError());
                db.rollback();
                return false;
            }
        }
        if (!rows.empty()) {
            RowInserter inserter(db, table);
            if (!inserter.IsReady()) {
                report(inserter.LastError());
                db.rollback();
                return false;
            }
            for (const EventRecord& record : rows) {
                if (!inserter.Insert(record)) {
                    report(inserter.LastError());
                }
            }
        }
    }
    if (!db.commit()) {
        report(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

}  // namespace

bool RecordStore::CopyTable(const QString& source, const QString& destination) {
    if (!IsConnected()) {
        return false;
    }
    QSqlDatabase db = Database();
    int copied = 0;
    if (ReplaceBySelect(db, TableSql(db, destination), TableSql(db, source), false, &copied)) {
        return true;
    }
    // Row by row, so that each failing row is shown. Read first: copying a table onto itself
    // must not chase its own new rows.
    std::vector<EventRecord> rows;
    QSqlError error;
    if (!VisitRows(
            Database(), source, [&rows](const EventRecord& r) { rows.push_back(r); }, &error)) {
        ShowError(nullptr, error);
        return false;
    }
    return ReplaceRows(Database(), destination, rows, false,
                       [this](const QSqlError& e) { ShowError(nullptr, e); });
}

bool RecordStore::SaveRecords(const QString& path, QWidget* parent) {
    if (!IsConnected()) {
        ShowMessageBox(MessageParent(parent), records::kWorkingDatabaseConnectFailedText);
        return false;
    }
    // Replacing the open working database under its own connection would corrupt it.
    if (SameFile(path, m_path)) {
        ShowMessageBox(MessageParent(parent), records::kSaveFileErrorText);
        return false;
    }
    return IsDatabasePath(path) ? SaveDatabase(path, parent) : SaveText(path, parent);
}

bool RecordStore::SaveText(const QString& path, QWidget* parent) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ShowMessageBox(MessageParent(parent), records::kSaveFileErrorText);
        return false;
    }
    int serial = 0;
    bool written = true;
    QSqlError error;
    const bool read = VisitRows(
        Database(), records::kTempTable,
        [&](const EventRecord& record) {
            QByteArray line = FormatRecordLine(++serial, record);
            line.append("\r\n");
            written = written && file.write(line) == line.size();
        },
        &error);
    if (!read) {
        file.cancelWriting();
        ShowError(parent, error);
        return false;
    }
    if (!written || !file.commit()) {
        ShowMessageBox(MessageParent(parent), records::kSaveFileErrorText);
        return false;
    }
    return true;
}

bool RecordStore::SaveDatabase(const QString& path, QWidget* parent) {
    if (!EnsureTemplate()) {
        ShowMessageBox(MessageParent(parent), records::kDatabaseFileConnectFailedText);
        return false;
    }
    // The new database is built in a temporary copy of the template beside the destination.
    const QFileInfo target(path);
    QString tempPath;
    {
        QFile templ(TemplatePath());
        QTemporaryFile temp(target.absolutePath() + QLatin1Char('/') + target.fileName() +
                            QStringLiteral(".XXXXXX"));
        temp.setAutoRemove(false);
        if (!templ.open(QIODevice::ReadOnly) || !temp.open()) {
            ShowMessageBox(MessageParent(parent), records::kDatabaseFileConnectFailedText);
            return false;
        }
        tempPath = temp.fileName();
        const QByteArray content = templ.readAll();
        if (temp.write(content) != content.size() || !temp.flush()) {
            temp.close();
            QFile::remove(tempPath);
            ShowMessageBox(MessageParent(parent), records::kDatabaseFileConnectFailedText);
            return false;
        }
    }
    bool usable = false;
    {
        ScopedConnection connection(tempPath, false);
        if (connection.IsOpen()) {
            QSqlDatabase dest = connection.Database();
            // A saved file is read elsewhere, maybe read-only: no WAL side files.
            QSqlQuery pragma(dest);
            pragma.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
            pragma.finish();
            usable = CreateRecordTable(dest, records::kKpb650Table);
        }
    }
    if (!usable) {
        QFile::remove(tempPath);
        ShowMessageBox(MessageParent(parent), records::kDatabaseFileConnectFailedText);
        return false;
    }
    bool built = false;
    {
        QSqlDatabase db = Database();
        Attachment dest(db, tempPath);
        int copied = 0;
        built = dest.IsAttached() &&
                ReplaceBySelect(db, TableSql(db, records::kKpb650Table, kFileSchema),
                                TableSql(db, records::kTempTable), true, &copied);
    }
    if (!built) {
        // Row by row, so that each failing row is shown.
        ScopedConnection connection(tempPath, false);
        if (!connection.IsOpen()) {
            ShowMessageBox(MessageParent(parent), records::kDatabaseFileConnectFailedText);
        } else {
            QSqlDatabase dest = connection.Database();
            std::vector<EventRecord> rows;
            QSqlError error;
            if (!VisitRows(
                    Database(), records::kTempTable,
                    [&rows](const EventRecord& r) { rows.push_back(r); }, &error)) {
                ShowError(parent, error);
            } else {
                built = ReplaceRows(dest, records::kKpb650Table, rows, true,
                                    [this, parent](const QSqlError& e) { ShowError(parent, e); });
            }
        }
    }
    if (!built) {
        QFile::remove(tempPath);
        return false;
    }
    if (!ReplaceFile(tempPath, path)) {
        QFile::remove(tempPath);
        ShowMessageBox(MessageParent(parent), records::kSaveFileErrorText);
        return false;
    }
    return true;
}

bool RecordStore::OpenRecords(const QString& path, QWidget* parent) {
    if (!IsConnected()) {
        ShowMessageBox(MessageParent(parent), records::kWorkingDatabaseConnectFailedText);
        return false;
    }
    if (IsDatabasePath(path)) {
        return ImportDatabase(path, parent, ImportMessages::DriverText) > 0;
    }
    return OpenText(path, parent);
}

bool RecordStore::ImportEventFile(const QString& path, QWidget* parent) {
    if (!IsConnected()) {
        ShowMessageBox(MessageParent(parent), records::kWorkingDatabaseConnectFailedText);
        return false;
    }
    return ImportDatabase(path, parent, ImportMessages::ConnectFailedText) > 0;
}

int RecordStore::ImportDatabase(const QString& path, QWidget* parent, ImportMessages messages) {
    const auto report = [this, parent, messages](const QSqlError& error) {
        if (messages == ImportMessages::DriverText) {
            ShowError(parent, error);
        } else {
            ShowMessageBox(MessageParent(parent), records::kDatabaseFileConnectFailedText);
        }
    };
    // A read-only connection first: a missing file must not be created, nor a file that is not
    // a database touched.
    {
        ScopedConnection source(path, true);
        if (!source.IsOpen()) {
            ShowMessageBox(MessageParent(parent), records::kDatabaseFileConnectFailedText);
            return -1;
        }
        QSqlDatabase db = source.Database();
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT count(*) FROM %1")
                            .arg(TableSql(db, records::kKpb650Table)))) {
            report(query.lastError());
            return -1;
        }
    }
    // The working file itself cannot be attached to its own connection.
    if (!SameFile(path, m_path)) {
        QSqlDatabase db = Database();
        Attachment source(db, path);
        int copied = 0;
        if (source.IsAttached() &&
            ReplaceBySelect(db, TableSql(db, records::kKpb650Table),
                            TableSql(db, records::kKpb650Table, kFileSchema), true, &copied)) {
            return copied;
        }
    }
    // Row by row, so that each failing row is shown. The source is read whole before the working
    // table is touched.
    std::vector<EventRecord> rows;
    {
        ScopedConnection source(path, true);
        if (!source.IsOpen()) {
            ShowMessageBox(MessageParent(parent), records::kDatabaseFileConnectFailedText);
            return -1;
        }
        QSqlError error;
        if (!VisitRows(
                source.Database(), records::kKpb650Table,
                [&rows](const EventRecord& r) { rows.push_back(r); }, &error)) {
            report(error);
            return -1;
        }
    }
    if (!ReplaceRows(Database(), records::kKpb650Table, rows, true, report)) {
        return -1;
    }
    return static_cast<int>(rows.size());
}

bool RecordStore::OpenText(const QString& path, QWidget* parent) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessageBox(MessageParent(parent), records::kOpenFileErrorText);
        return false;
    }
    std::vector<EventRecord> rows;
    // Room for the longest accepted line, its CR LF and a spare byte: a chunk this size without
    // LF (readLine may return one byte less than asked) holds a line that is too long.
    constexpr qint64 kReadLimit = records::kMaxRecordLineBytes + 4;
    while (!file.atEnd()) {
        QByteArray line = file.readLine(kReadLimit);
        if (line.isEmpty() && file.error() != QFileDevice::NoError) {
            break;
        }
        if (!line.endsWith('\n') && !file.atEnd()) {
            // Over-long: drop the rest of it.
            QByteArray rest;
            do {
                rest = file.readLine(kReadLimit);
            } while (!rest.isEmpty() && !rest.endsWith('\n'));
            continue;
        }
        while (line.endsWith('\n') || line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.size() > records::kMaxRecordLineBytes) {
            continue;
        }
        rows.push_back(ParseRecordLine(line));
    }
    if (file.error() != QFileDevice::NoError) {
        ShowMessageBox(MessageParent(parent), records::kOpenFileErrorText);
        return false;
    }
    return ReplaceRows(Database(), records::kKpb650Table, rows, true,
                       [this, parent](const QSqlError& e) { ShowError(parent, e); });
}
