#include "records/record_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/program_directory.h"
#include "common/staging_dir.h"
#include "records/record_snapshot.h"
#include "records/record_sql.h"
#include "records/record_text_file.h"

const QString records::kWorkingDatabaseConnectFailedText =
    QStringLiteral("数据库连接失败，确认数据库是否在当前路径下，并请重试!");
const QString records::kDatabaseFileConnectFailedText =
    QStringLiteral("数据库连接失败，确认数据库文件是否在当前路径下!");
const QString records::kOpenFileErrorText = QStringLiteral("打开文件出错！");
const QString records::kSaveFileErrorText = QStringLiteral("保存文件出错！");

using records::Attachment;
using records::RecordWriter;

struct RecordStore::Appending {
    std::unique_ptr<records::RecordWriter> writer;
    bool failed = false;
};
using records::ScopedConnection;
using records::TableSql;
using What = records::StoreError::What;

namespace {

// Schema name of a database file attached to a connection for one copy.
const QString kFileSchema = QStringLiteral("kp650file");

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

bool TableExists(const QSqlDatabase& db, const QString& table) {
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type IN "
                       "('table','view') AND name = ? COLLATE NOCASE"));
    query.addBindValue(table);
    return query.exec() && query.next() && query.value(0).toInt() > 0;
}

// Appends every row of `from` to `to` (both schema-qualified) in one statement, in stored order,
// every value as text.
bool InsertSelect(QSqlDatabase& db, const QString& to, const QString& from, int* copied) {
    QSqlQuery query(db);
    const QString insert = QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4")
                               .arg(to, records::ColumnList(db), records::ColumnTextList(db), from);
    if (!query.exec(insert + QStringLiteral(" ORDER BY rowid")) && !query.exec(insert)) {
        return false;
    }
    *copied = query.numRowsAffected();
    return true;
}

// Empties `to` (when asked) and fills it from `from` with InsertSelect, in one transaction.
// False when anything failed; nothing has changed then. The caller then copies row by row to
// report the rows that fail.
bool ReplaceBySelect(QSqlDatabase& db, const QString& to, const QString& from, bool emptyFirst,
                     int* copied) {
    if (!db.transaction()) {
        return false;
    }
    bool ok = true;
    {
        QSqlQuery query(db);
        ok = (!emptyFirst || query.exec(QStringLiteral("DELETE FROM %1").arg(to))) &&
             InsertSelect(db, to, from, copied);
    }
    if (ok && db.commit()) {
        return true;
    }
    db.rollback();
    return false;
}

// Empties `table` (when asked) and appends the rows `feed` hands to the writer, all in one
// transaction of db. A row that fails is reported and the next one goes on; false (nothing
// changed) when the transaction itself fails. Returns the rows written in *written.
bool ReplaceRows(QSqlDatabase db, const QString& table, bool emptyFirst,
                 const std::function<bool(RecordWriter&)>& feed,
                 const RecordWriter::ErrorReport& report, qint64* written = nullptr) {
    if (!db.transaction()) {
        report(db.lastError());
        return false;
    }
    bool ok = true;
    {
        QSqlQuery query(db);
        if (emptyFirst && !query.exec(QStringLiteral("DELETE FROM %1").arg(TableSql(db, table)))) {
            report(query.lastError());
            ok = false;
        }
        if (ok) {
            RecordWriter writer(db, table, report);
            ok = feed(writer) && writer.Flush();
            if (written != nullptr) {
                *written = writer.Written();
            }
        }
    }
    if (ok && db.commit()) {
        return true;
    }
    if (ok) {
        report(db.lastError());
    }
    db.rollback();
    return false;
}

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

// Copies `from` to a new file `to` (created with the permissions of any new file).
bool CopyToNewFile(const QString& from, const QString& to) {
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        return false;
    }
    QByteArray block;
    while (!in.atEnd()) {
        block = in.read(1024 * 1024);
        if (block.isEmpty() || out.write(block) != block.size()) {
            return false;
        }
    }
    return in.error() == QFileDevice::NoError && out.flush();
}

// A saved file is built in a directory of its own under the system's temporary directory, then
// renamed into place. Across file systems it is first copied beside the destination under a
// fixed name (which a later save of the same name clears, should this one be killed between
// copy and rename).
class StagedFile {
public:
    explicit StagedFile(const QString& destination)
        : m_dir(QStringLiteral("kp650-save")), m_destination(destination) {}

    bool IsValid() const { return m_dir.IsValid(); }
    QString StagingPath() const { return m_dir.FilePath(QStringLiteral("staged")); }

    bool Commit() {
        if (ReplaceFile(StagingPath(), m_destination)) {
            return true;
        }
        const QString part = m_destination + QStringLiteral(".kp650-part");
        QFile::remove(part);
        const bool placed = CopyToNewFile(StagingPath(), part) && ReplaceFile(part, m_destination);
        if (!placed) {
            QFile::remove(part);
        }
        return placed;
    }

private:
    common::StagingDir m_dir;
    QString m_destination;
};

// The template holds an empty KPB650; created when it is missing.
bool EnsureTemplate() {
    const QString path = RecordStore::TemplatePath();
    if (QFileInfo::exists(path)) {
        return true;
    }
    bool ok = false;
    {
        ScopedConnection connection(path, ScopedConnection::Mode::ReadWrite);
        QSqlDatabase db = connection.Database();
        ok = connection.IsOpen() && CreateRecordTable(db, records::kKpb650Table);
    }
    if (!ok) {
        QFile::remove(path);
    }
    return ok;
}

// Puts back the page cache and automatic checkpoints a connection normally has (see Connect)
// once the scope ends.
class RestoreOpeningPragmas {
public:
    explicit RestoreOpeningPragmas(const QSqlDatabase& db) : m_db(db) {}
    ~RestoreOpeningPragmas() {
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA cache_size=-32768"));
        QSqlQuery(m_db).exec(QStringLiteral("PRAGMA wal_autocheckpoint=1000"));
    }
    RestoreOpeningPragmas(const RestoreOpeningPragmas&) = delete;
    RestoreOpeningPragmas& operator=(const RestoreOpeningPragmas&) = delete;

private:
    QSqlDatabase m_db;
};

// The UTF-8 text of a field of a text record file. Fields repeat (the event texts above all), so
// non-ASCII ones are decoded once and then looked up.
class FieldDecoder {
public:
    // Call before the fields of a line: the texts handed out for one line stay valid together.
    void StartLine() {
        if (m_decoded.size() >= kKept) {
            m_decoded.clear();
        }
    }
    QByteArrayView Utf8(QByteArrayView gbk) {
        if (std::all_of(gbk.begin(), gbk.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            return gbk;
        }
        const QByteArray key = gbk.toByteArray();
        auto it = m_decoded.constFind(key);
        if (it == m_decoded.constEnd()) {
            it = m_decoded.insert(key, DecodeRecordField(gbk).toUtf8());
        }
        return *it;
    }

private:
    static constexpr qsizetype kKept = 4096;
    QHash<QByteArray, QByteArray> m_decoded;
};

}  // namespace

// --- Error scopes ----------------------------------------------------------------------------

RecordStore::ErrorScope::ErrorScope(const RecordStore& store) : m_store(store) {
    if (m_store.m_errorScopes++ == 0) {
        m_store.m_errorReported = false;
        m_store.m_suppressedErrors = 0;
    }
}

RecordStore::ErrorScope::~ErrorScope() {
    if (--m_store.m_errorScopes == 0) {
        m_store.m_errorReported = false;
        m_store.m_suppressedErrors = 0;
    }
}

// --- Text opening in slices ------------------------------------------------------------------

struct RecordStore::TextOpening {
    TextOpening(const RecordStore& store, const QString& path)
        : scope(store), file(path), reader(file) {}

    ErrorScope scope;
    QFile file;
    RecordLineReader reader;
    std::unique_ptr<RecordWriter> writer;
    FieldDecoder decoder;
    qint64 size = 0;
    bool done = false;
};

// --- Operations ------------------------------------------------------------------------------

// Marks a public operation: the outermost one starts with no errors, so that Errors() always
// tells of the last call alone.
class RecordStore::Operation {
public:
    explicit Operation(const RecordStore& store) : m_store(store) {
        if (m_store.m_operations++ == 0) {
            m_store.m_errors = records::StoreErrors();
        }
    }
    ~Operation() { --m_store.m_operations; }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

private:
    const RecordStore& m_store;
};

RecordStore::RecordStore() = default;

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
    const Operation operation(*this);
    Close();
    const QString name = records::NewConnectionName();
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(records::kSqliteDriver, name);
        db.setDatabaseName(path);
        // URI names let a chosen file be attached read-only.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        QSqlError error;
        ok = db.open();
        if (!ok) {
            error = db.lastError();
        } else {
            ok = IsUsableDatabase(db, &error);
        }
        // Tables of the right names but other columns would take rows they cannot give back.
        for (const QString& table : {records::kTempTable, records::kKpb650Table}) {
            ok = ok && (!TableExists(db, table) || records::HasRecordColumns(db, table));
        }
        if (ok) {
            // Every appended log record is its own commit; WAL keeps that cheap and a crash
            // still keeps every committed row.
            QSqlQuery pragma(db);
            pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
            // A bulk copy of a large file otherwise spills its pages to the log before the
            // commit; the cache grows only as far as it is used.
            pragma.exec(QStringLiteral("PRAGMA cache_size=-32768"));
            pragma.finish();
            ok = CreateRecordTable(db, records::kTempTable) &&
                 CreateRecordTable(db, records::kKpb650Table);
            if (!ok) {
                error = db.lastError();
            }
        }
        if (!ok) {
            m_connectError = records::ErrorText(error);
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
    const Operation operation(*this);
    if (Connect(WorkingDatabasePath(variant))) {
        return true;
    }
    Report(What::WorkingDatabase, records::kWorkingDatabaseConnectFailedText);
    return false;
}

void RecordStore::Close() {
    const Operation operation(*this);
    CancelOpenText();
    RollbackAppended();
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

void RecordStore::Report(What what, const QString& text, const QSqlError* cause) const {
    m_errors.errors.push_back(
        records::StoreError{what, text, cause != nullptr ? records::ErrorText(*cause) : QString()});
}

void RecordStore::ReportDatabase(const QSqlError& error) const {
    if (m_errorScopes > 0 && m_errorReported) {
        ++m_suppressedErrors;
        ++m_errors.suppressed;
        return;
    }
    m_errorReported = m_errorScopes > 0;
    const QString text = records::ErrorText(error);
    m_errors.errors.push_back(records::StoreError{What::Database, text, text});
}

bool RecordStore::EmptyTable(const QString& table) {
    const Operation operation(*this);
    if (!IsConnected()) {
        return false;
    }
    const ErrorScope scope(*this);
    QSqlDatabase db = Database();
    if (!db.transaction()) {
        ReportDatabase(db.lastError());
        return false;
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("DELETE FROM %1").arg(TableSql(db, table)))) {
        ReportDatabase(query.lastError());
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        ReportDatabase(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

bool RecordStore::ReplaceRecords(const QString& table, const std::vector<EventRecord>& records) {
    const Operation operation(*this);
    if (!IsConnected()) {
        Report(What::WorkingDatabase, records::kWorkingDatabaseConnectFailedText);
        return false;
    }
    const ErrorScope scope(*this);
    return ReplaceRows(
        Database(), table, true,
        [&records](RecordWriter& writer) {
            for (const EventRecord& record : records) {
                writer.Add(record);
            }
            return true;
        },
        [this](const QSqlError& error) { ReportDatabase(error); });
}

bool RecordStore::Append(const QString& table, const EventRecord& record) {
    const Operation operation(*this);
    if (!IsConnected()) {
        return false;
    }
    bool failed = false;
    RecordWriter writer(Database(), table, [this, &failed](const QSqlError& error) {
        failed = true;
        ReportDatabase(error);
    });
    writer.Add(record);
    return writer.Flush() && !failed;
}

bool RecordStore::BeginAppending(const QString& table) {
    const Operation operation(*this);
    RollbackAppended();
    if (!IsConnected()) {
        return false;
    }
    QSqlDatabase db = Database();
    if (!db.transaction()) {
        ReportDatabase(db.lastError());
        return false;
    }
    m_appending = std::make_unique<Appending>();
    m_appending->writer =
        std::make_unique<records::RecordWriter>(db, table, [this](const QSqlError& error) {
            m_appending->failed = true;
            ReportDatabase(error);
        });
    return true;
}

bool RecordStore::AppendRow(const EventRecord& record) {
    const Operation operation(*this);
    if (!m_appending) {
        return false;
    }
    m_appending->failed = false;
    m_appending->writer->Add(record);
    return m_appending->writer->Flush() && !m_appending->failed;
}

bool RecordStore::CommitAppended() {
    const Operation operation(*this);
    if (!m_appending) {
        return false;
    }
    m_appending.reset();
    QSqlDatabase db = Database();
    if (!db.commit()) {
        ReportDatabase(db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

void RecordStore::RollbackAppended() {
    if (!m_appending) {
        return;
    }
    m_appending.reset();
    if (IsConnected()) {
        Database().rollback();
    }
}

bool RecordStore::ForEachRow(const QString& table,
                             const std::function<void(const EventRecord&)>& visit) const {
    const Operation operation(*this);
    if (!IsConnected()) {
        return false;
    }
    QSqlError error;
    if (!records::VisitRecordRows(Database(), table, visit, &error)) {
        ReportDatabase(error);
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
    const Operation operation(*this);
    if (!IsConnected()) {
        return -1;
    }
    QSqlDatabase db = Database();
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM %1").arg(TableSql(db, table))) ||
        !query.next()) {
        ReportDatabase(query.lastError());
        return -1;
    }
    return query.value(0).toInt();
}

bool RecordStore::TakeSnapshot(const QString& table, RecordSnapshot& into) const {
    const Operation operation(*this);
    into.Clear();
    if (!IsConnected()) {
        return false;
    }
    QSqlError error;
    if (!into.Take(m_path, table, &error)) {
        ReportDatabase(error);
        return false;
    }
    return true;
}

bool RecordStore::BeginSnapshot(const QString& table, RecordSnapshot& into) const {
    const Operation operation(*this);
    into.Clear();
    if (!IsConnected()) {
        return false;
    }
    QSqlError error;
    if (!into.Begin(m_path, table, &error)) {
        ReportDatabase(error);
        return false;
    }
    return true;
}

bool RecordStore::CopyTable(const QString& source, const QString& destination) {
    const Operation operation(*this);
    if (!IsConnected()) {
        return false;
    }
    const ErrorScope scope(*this);
    QSqlDatabase db = Database();
    int copied = 0;
    if (ReplaceBySelect(db, TableSql(db, destination), TableSql(db, source), false, &copied)) {
        return true;
    }
    // Row by row, so that the failing rows are reported. Read first: copying a table onto
    // itself must not chase its own new rows.
    std::vector<EventRecord> rows;
    QSqlError error;
    if (!records::VisitRecordRows(
            db, source, [&rows](const EventRecord& r) { rows.push_back(r); }, &error)) {
        ReportDatabase(error);
        return false;
    }
    return ReplaceRows(
        db, destination, false,
        [&rows](RecordWriter& writer) {
            for (const EventRecord& record : rows) {
                writer.Add(record);
            }
            return true;
        },
        [this](const QSqlError& e) { ReportDatabase(e); });
}

// --- Save ------------------------------------------------------------------------------------

bool RecordStore::SaveRecords(const QString& path) {
    const Operation operation(*this);
    if (!IsConnected()) {
        Report(What::WorkingDatabase, records::kWorkingDatabaseConnectFailedText);
        return false;
    }
    // Replacing the open working database under its own connection would corrupt it.
    if (SameFile(path, m_path)) {
        Report(What::SaveFile, records::kSaveFileErrorText);
        return false;
    }
    const ErrorScope scope(*this);
    const bool database = IsDatabasePath(path);
    // A database that cannot be made where it should be is, to the user, one that cannot be
    // connected to.
    const What failure = database ? What::DatabaseFile : What::SaveFile;
    const QString& failureText =
        database ? records::kDatabaseFileConnectFailedText : records::kSaveFileErrorText;
    StagedFile staged(path);
    if (!staged.IsValid()) {
        Report(failure, failureText);
        return false;
    }
    const bool built =
        database ? SaveDatabase(staged.StagingPath()) : SaveText(staged.StagingPath());
    if (!built) {
        return false;
    }
    if (!staged.Commit()) {
        Report(failure, failureText);
        return false;
    }
    return true;
}

bool RecordStore::SaveText(const QString& staging) {
    QFile file(staging);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        Report(What::SaveFile, records::kSaveFileErrorText);
        return false;
    }
    int serial = 0;
    bool written = true;
    QSqlError error;
    const bool read = records::VisitRecordRows(
        Database(), records::kTempTable,
        [&](const EventRecord& record) {
            QByteArray line = FormatRecordLine(++serial, record);
            line.append("\r\n");
            written = written && file.write(line) == line.size();
        },
        &error);
    if (!read) {
        ReportDatabase(error);
        return false;
    }
    if (!written || !file.flush()) {
        Report(What::SaveFile, records::kSaveFileErrorText);
        return false;
    }
    return true;
}

bool RecordStore::SaveDatabase(const QString& staging) {
    // The new database starts as a copy of the template.
    if (!EnsureTemplate() || !CopyToNewFile(TemplatePath(), staging)) {
        Report(What::DatabaseFile, records::kDatabaseFileConnectFailedText);
        return false;
    }
    bool usable = false;
    {
        ScopedConnection connection(staging, ScopedConnection::Mode::ReadWrite);
        if (connection.IsOpen()) {
            QSqlDatabase dest = connection.Database();
            // A saved file is read elsewhere, maybe read-only: no write-ahead log.
            QSqlQuery pragma(dest);
            pragma.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
            pragma.finish();
            usable = CreateRecordTable(dest, records::kKpb650Table) &&
                     records::HasRecordColumns(dest, records::kKpb650Table);
        }
    }
    if (!usable) {
        Report(What::DatabaseFile, records::kDatabaseFileConnectFailedText);
        return false;
    }
    bool built = false;
    {
        QSqlDatabase db = Database();
        Attachment dest(db, staging, kFileSchema, Attachment::Mode::ReadWrite);
        if (dest.IsAttached()) {
            // The file is thrown away if this fails: no journal needed.
            QSqlQuery pragma(db);
            pragma.exec(QStringLiteral("PRAGMA %1.journal_mode=OFF").arg(kFileSchema));
            pragma.finish();
            int copied = 0;
            built = ReplaceBySelect(db, TableSql(db, records::kKpb650Table, kFileSchema),
                                    TableSql(db, records::kTempTable), true, &copied);
        }
    }
    if (built) {
        return true;
    }
    // Row by row, so that the failing rows are reported.
    ScopedConnection connection(staging, ScopedConnection::Mode::ReadWrite);
    if (!connection.IsOpen()) {
        Report(What::DatabaseFile, records::kDatabaseFileConnectFailedText);
        return false;
    }
    const auto report = [this](const QSqlError& e) { ReportDatabase(e); };
    QSqlError readError;
    bool read = true;
    built = ReplaceRows(
        connection.Database(), records::kKpb650Table, true,
        [&](RecordWriter& writer) {
            read = records::VisitRecordRows(
                Database(), records::kTempTable, [&writer](const EventRecord& r) { writer.Add(r); },
                &readError);
            return read;
        },
        report);
    if (!read) {
        ReportDatabase(readError);
    }
    return built;
}

// --- Open ------------------------------------------------------------------------------------

bool RecordStore::OpenRecords(const QString& path) {
    const Operation operation(*this);
    if (!IsConnected()) {
        Report(What::WorkingDatabase, records::kWorkingDatabaseConnectFailedText);
        return false;
    }
    if (IsDatabasePath(path)) {
        return ImportDatabase(path, ImportMessages::DriverText) > 0;
    }
    return OpenText(path);
}

bool RecordStore::ImportEventFile(const QString& path) {
    const Operation operation(*this);
    if (!IsConnected()) {
        Report(What::WorkingDatabase, records::kWorkingDatabaseConnectFailedText);
        return false;
    }
    return ImportDatabase(path, ImportMessages::ConnectFailedText) > 0;
}

int RecordStore::ImportDatabase(const QString& path, ImportMessages messages) {
    const ErrorScope scope(*this);
    const auto report = [this, messages](const QSqlError& error) {
        if (messages == ImportMessages::DriverText) {
            ReportDatabase(error);
        } else {
            Report(What::DatabaseFile, records::kDatabaseFileConnectFailedText, &error);
        }
    };
    // A read-only connection first: a missing file must not be created, nor a file that is not
    // a database touched.
    {
        ScopedConnection source(path, ScopedConnection::Mode::ReadOnly);
        if (!source.IsOpen()) {
            Report(What::DatabaseFile, records::kDatabaseFileConnectFailedText);
            return -1;
        }
        QSqlDatabase db = source.Database();
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT count(*) FROM %1")
                            .arg(TableSql(db, records::kKpb650Table)))) {
            report(query.lastError());
            return -1;
        }
        query.finish();
        if (!records::HasRecordColumns(db, records::kKpb650Table)) {
            Report(What::DatabaseFile, records::kDatabaseFileConnectFailedText);
            return -1;
        }
    }
    // The working file itself: its KPB650 already is what it would be replaced by.
    if (SameFile(path, m_path)) {
        return RowCount(records::kKpb650Table);
    }
    QSqlDatabase db = Database();
    {
        Attachment source(db, path, kFileSchema, Attachment::Mode::ReadOnly);
        int copied = 0;
        if (source.IsAttached() &&
            ReplaceBySelect(db, TableSql(db, records::kKpb650Table),
                            TableSql(db, records::kKpb650Table, kFileSchema), true, &copied)) {
            return copied;
        }
    }
    // Row by row, so that the failing rows are reported; one transaction, so that a source
    // that cannot be read to its end changes nothing.
    ScopedConnection source(path, ScopedConnection::Mode::ReadOnly);
    if (!source.IsOpen()) {
        Report(What::DatabaseFile, records::kDatabaseFileConnectFailedText);
        return -1;
    }
    QSqlError readError;
    bool read = true;
    qint64 written = 0;
    const bool replaced = ReplaceRows(
        db, records::kKpb650Table, true,
        [&](RecordWriter& writer) {
            read = records::VisitRecordRows(
                source.Database(), records::kKpb650Table,
                [&writer](const EventRecord& r) { writer.Add(r); }, &readError);
            return read;
        },
        report, &written);
    if (!read) {
        report(readError);
    }
    return replaced ? static_cast<int>(written) : -1;
}

bool RecordStore::OpenText(const QString& path) {
    if (!BeginOpenText(path)) {
        return false;
    }
    while (!ContinueOpenText(1 << 20)) {
    }
    return EndOpenText();
}

bool RecordStore::BeginOpenText(const QString& path) {
    const Operation operation(*this);
    CancelOpenText();
    if (!IsConnected()) {
        Report(What::WorkingDatabase, records::kWorkingDatabaseConnectFailedText);
        return false;
    }
    auto opening = std::make_unique<TextOpening>(*this, path);
    if (!opening->file.open(QIODevice::ReadOnly)) {
        Report(What::OpenFile, records::kOpenFileErrorText);
        return false;
    }
    opening->size = opening->file.size();
    QSqlDatabase db = Database();
    // A small page cache spills the opening's pages to the log a few at a time while the slices
    // run, instead of leaving tens of megabytes for the commit, which must not stall the window.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA cache_size=-2048"));
    // The log grows by the whole file; copying it back happens after the commit, on a thread.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
    if (!db.transaction()) {
        ReportDatabase(db.lastError());
        return false;
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("DELETE FROM %1").arg(TableSql(db, records::kKpb650Table)))) {
        ReportDatabase(query.lastError());
        db.rollback();
        return false;
    }
    opening->writer = std::make_unique<RecordWriter>(
        db, records::kKpb650Table, [this](const QSqlError& e) { ReportDatabase(e); });
    m_textOpening = std::move(opening);
    return true;
}

bool RecordStore::ContinueOpenText(int lines) {
    const Operation operation(*this);
    TextOpening* opening = m_textOpening.get();
    if (opening == nullptr || opening->done) {
        return true;
    }
    QByteArrayView line;
    std::array<QByteArrayView, records::kRecordFieldCount> utf8;
    for (int i = 0; i < lines; ++i) {
        if (opening->writer->Broken() || !opening->reader.Next(&line)) {
            opening->done = true;
            return true;
        }
        const records::RecordLineFields fields = SplitRecordLine(line);
        opening->decoder.StartLine();
        for (std::size_t f = 0; f < fields.size(); ++f) {
            utf8[f] = opening->decoder.Utf8(fields[f]);
        }
        opening->writer->Add(utf8);
    }
    return false;
}

int RecordStore::OpenTextPercent() const {
    if (m_textOpening == nullptr || m_textOpening->size <= 0) {
        return 0;
    }
    return static_cast<int>(
        std::min<qint64>(100, m_textOpening->reader.Consumed() * 100 / m_textOpening->size));
}

bool RecordStore::EndOpenText() {
    const Operation operation(*this);
    if (m_textOpening == nullptr) {
        return false;
    }
    std::unique_ptr<TextOpening> opening = std::move(m_textOpening);
    QSqlDatabase db = Database();
    const bool written = opening->writer->Flush();
    opening->writer.reset();
    const RestoreOpeningPragmas restore(db);
    if (opening->reader.Failed()) {
        db.rollback();
        Report(What::OpenFile, records::kOpenFileErrorText);
        return false;
    }
    if (!written) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        ReportDatabase(db.lastError());
        db.rollback();
        return false;
    }
    m_checkpoint.Start(db.databaseName());
    return true;
}

void RecordStore::CancelOpenText() {
    const Operation operation(*this);
    if (m_textOpening == nullptr) {
        return;
    }
    m_textOpening->writer.reset();
    m_textOpening.reset();
    const RestoreOpeningPragmas restore(Database());
    Database().rollback();
}
