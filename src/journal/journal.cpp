#include "journal/journal.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>
#include <QVariant>

#include <atomic>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

#include "common/globals.h"
#include "common/program_directory.h"
#include "common/program_version.h"
#include "settings/parameter_file.h"

namespace journal {

namespace {

const char* const kKindNames[] = {"parameter_write", "clock_set", "log_clear"};
const char* const kOutcomeNames[] = {"unknown", "confirmed", "refused", "failed"};

// Version 1: entries, their completions and the parameter history, each insert-only.
const char* const kSchemaV1[] = {
    "CREATE TABLE entry (id INTEGER PRIMARY KEY, uid TEXT NOT NULL UNIQUE, utc TEXT NOT NULL,"
    " local TEXT NOT NULL, os_user TEXT NOT NULL, host TEXT NOT NULL, program TEXT NOT NULL,"
    " port TEXT NOT NULL, device TEXT NOT NULL, identification TEXT NOT NULL,"
    " kind TEXT NOT NULL, sent_fields TEXT NOT NULL, sent_bytes TEXT NOT NULL,"
    " before_fields TEXT NOT NULL, archive_file TEXT NOT NULL)",
    "CREATE TABLE completion (entry_id INTEGER PRIMARY KEY REFERENCES entry(id),"
    " utc TEXT NOT NULL, outcome TEXT NOT NULL, after_fields TEXT NOT NULL,"
    " detail TEXT NOT NULL)",
    "CREATE TABLE parameter_set (id INTEGER PRIMARY KEY, device TEXT NOT NULL,"
    " variant INTEGER NOT NULL, utc TEXT NOT NULL, local TEXT NOT NULL, source TEXT NOT NULL,"
    " os_user TEXT NOT NULL, host TEXT NOT NULL, program TEXT NOT NULL, frame TEXT NOT NULL)",
    "CREATE INDEX entry_device ON entry(device)",
    "CREATE INDEX parameter_set_device ON parameter_set(device, id)",
    "CREATE TRIGGER entry_kept BEFORE UPDATE ON entry BEGIN SELECT RAISE(ABORT, 'append-only'); "
    "END",
    "CREATE TRIGGER entry_not_deleted BEFORE DELETE ON entry"
    " BEGIN SELECT RAISE(ABORT, 'append-only'); END",
    "CREATE TRIGGER completion_kept BEFORE UPDATE ON completion"
    " BEGIN SELECT RAISE(ABORT, 'append-only'); END",
    "CREATE TRIGGER completion_not_deleted BEFORE DELETE ON completion"
    " BEGIN SELECT RAISE(ABORT, 'append-only'); END",
    "CREATE TRIGGER set_kept BEFORE UPDATE ON parameter_set"
    " BEGIN SELECT RAISE(ABORT, 'append-only'); END",
    "CREATE TRIGGER set_not_deleted BEFORE DELETE ON parameter_set"
    " BEGIN SELECT RAISE(ABORT, 'append-only'); END",
};

QString UtcText(const QDateTime& at) {
    return at.toUTC().toString(Qt::ISODateWithMs);
}

QString LocalText(const QDateTime& at) {
    return at.toLocalTime()
        .toOffsetFromUtc(at.toLocalTime().offsetFromUtc())
        .toString(Qt::ISODateWithMs);
}

QDateTime FromUtcText(const QString& text) {
    QDateTime at = QDateTime::fromString(text, Qt::ISODateWithMs);
    return at.toUTC();
}

QString SqlErrorText(const QSqlError& error) {
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.isEmpty() ? QStringLiteral("database error") : text;
}

QString Failed(const QSqlQuery& query) {
    return SqlErrorText(query.lastError());
}

}  // namespace

QString FieldsText(const Fields& fields) {
    QJsonArray array;
    for (const auto& [name, value] : fields) {
        array.append(QJsonArray{name, value});
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

Fields FieldsFromText(const QString& text) {
    Fields fields;
    for (const QJsonValue& pair : QJsonDocument::fromJson(text.toUtf8()).array()) {
        fields.emplace_back(pair.toArray().at(0).toString(), pair.toArray().at(1).toString());
    }
    return fields;
}

QString KindName(WriteKind kind) {
    return QString::fromLatin1(kKindNames[static_cast<int>(kind)]);
}

std::optional<WriteKind> KindFromName(const QString& name) {
    for (int i = 0; i < 3; ++i) {
        if (name == QLatin1String(kKindNames[i])) {
            return static_cast<WriteKind>(i);
        }
    }
    return std::nullopt;
}

QString OutcomeName(WriteOutcome outcome) {
    return QString::fromLatin1(kOutcomeNames[static_cast<int>(outcome)]);
}

WriteOutcome OutcomeFromName(const QString& name) {
    for (int i = 0; i < 4; ++i) {
        if (name == QLatin1String(kOutcomeNames[i])) {
            return static_cast<WriteOutcome>(i);
        }
    }
    return WriteOutcome::Unknown;
}

Origin CurrentOrigin(const QString& program) {
    QString user;
#ifdef Q_OS_UNIX
    // The account itself: USER can be missing (services, su) or say something else.
    if (const passwd* account = getpwuid(geteuid())) {
        user = QString::fromLocal8Bit(account->pw_name);
    }
#endif
    for (const char* name : {"USER", "LOGNAME", "USERNAME"}) {
        if (user.isEmpty()) {
            user = qEnvironmentVariable(name);
        }
    }
    return {user, QSysInfo::machineHostName(), program + QLatin1Char(' ') + ProgramVersion()};
}

QString DeviceKey(int variant, const QString& port) {
    return DeviceModelName(variant) + QStringLiteral(" @ ") + port;
}

QString DefaultJournalPath() {
    return ProgramFile(kJournalFileName);
}

Journal::~Journal() {
    Close();
}

QString Journal::Open(const QString& path, bool writable) {
    Close();
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("kp650-journal-%1").arg(++counter);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!writable) {
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        }
        if (!writable && !QFileInfo::exists(path)) {
            error = QStringLiteral("no journal at ") + path;
        } else if (!db.open()) {
            error = SqlErrorText(db.lastError());
        }
    }
    if (!error.isEmpty()) {
        QSqlDatabase::removeDatabase(name);
        return error;
    }
    m_connection = name;
    m_path = path;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    // Another process (the program and the tool) may be writing at the same moment.
    query.exec(QStringLiteral("PRAGMA busy_timeout=3000"));
    if (writable) {
        // An entry must survive a crash of the program or a lost line once Begin returns: a
        // commit in WAL mode is in the operating system's hands then. Syncing each commit to the
        // disk as well (synchronous=FULL) would also cover a power cut in the seconds before the
        // system writes it back, at 9 ms a commit on this project's machine instead of well
        // under one (bench_journal), ahead of every write.
        if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
            !query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"))) {
            error = Failed(query);
        }
        query.finish();
        if (error.isEmpty()) {
            error = Migrate();
        }
    }
    if (!error.isEmpty()) {
        Close();
    }
    return error;
}

QString Journal::Migrate() {
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        return Failed(query);
    }
    const int version = query.value(0).toInt();
    query.finish();
    if (version > kSchemaVersion) {
        return QStringLiteral("the journal was written by a later program (schema %1)")
            .arg(version);
    }
    if (version == kSchemaVersion) {
        return {};
    }
    // Each step from `version` up runs in one transaction with the version it brings.
    if (!db.transaction()) {
        return SqlErrorText(db.lastError());
    }
    for (const char* statement : kSchemaV1) {
        if (!query.exec(QString::fromLatin1(statement))) {
            const QString error = Failed(query);
            db.rollback();
            return error;
        }
    }
    if (!query.exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion)) || !db.commit()) {
        const QString error = Failed(query);
        db.rollback();
        return error;
    }
    return {};
}

void Journal::Close() {
    if (m_connection.isEmpty()) {
        return;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
    m_path.clear();
}

qint64 Journal::Begin(const PlannedWrite& write, const Origin& origin, QString* error,
                      const QDateTime& at) {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral(
        "INSERT INTO entry (uid, utc, local, os_user, host, program, port, device,"
        " identification, kind, sent_fields, sent_bytes, before_fields, archive_file)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QVariantList values{QUuid::createUuid().toString(QUuid::WithoutBraces),
                              UtcText(at),
                              LocalText(at),
                              origin.user,
                              origin.host,
                              origin.program,
                              write.port,
                              write.device,
                              write.identification,
                              KindName(write.kind),
                              FieldsText(write.sent),
                              write.sentBytes,
                              FieldsText(write.before),
                              write.archiveFile};
    for (const QVariant& value : values) {
        query.addBindValue(value.toString().isNull() ? QString(QLatin1String("")) : value);
    }
    if (!IsOpen() || !query.exec()) {
        *error = IsOpen() ? Failed(query) : QStringLiteral("the journal is not open");
        return 0;
    }
    return query.lastInsertId().toLongLong();
}

QString Journal::Complete(qint64 id, WriteOutcome outcome, const Fields& after,
                          const QString& detail, const QDateTime& at) {
    if (!IsOpen()) {
        return QStringLiteral("the journal is not open");
    }
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(
        QStringLiteral("INSERT INTO completion (entry_id, utc, outcome, after_fields, detail)"
                       " VALUES (?, ?, ?, ?, ?)"));
    query.addBindValue(id);
    query.addBindValue(UtcText(at));
    query.addBindValue(OutcomeName(outcome));
    query.addBindValue(FieldsText(after));
    query.addBindValue(detail.isNull() ? QString(QLatin1String("")) : detail);
    return query.exec() ? QString() : Failed(query);
}

std::vector<Entry> Journal::Entries(const Filter& filter, QString* error) const {
    std::vector<Entry> entries;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    QString sql = QStringLiteral(
        "SELECT e.id, e.uid, e.utc, e.local, e.os_user, e.host, e.program, e.port, e.device,"
        " e.identification, e.kind, e.sent_fields, e.sent_bytes, e.before_fields,"
        " e.archive_file, c.utc, c.outcome, c.after_fields, c.detail"
        " FROM entry e LEFT JOIN completion c ON c.entry_id = e.id WHERE 1");
    QVariantList bound;
    if (!filter.device.isEmpty()) {
        sql += QStringLiteral(
            " AND (instr(lower(e.device), lower(?)) > 0"
            " OR instr(lower(e.identification), lower(?)) > 0)");
        bound << filter.device << filter.device;
    }
    // ISO texts in UTC sort as the times they stand for.
    if (filter.since.isValid()) {
        sql += QStringLiteral(" AND e.utc >= ?");
        bound << UtcText(filter.since);
    }
    if (filter.before.isValid()) {
        sql += QStringLiteral(" AND e.utc < ?");
        bound << UtcText(filter.before);
    }
    sql += QStringLiteral(" ORDER BY e.id DESC");
    query.prepare(sql);
    for (const QVariant& value : bound) {
        query.addBindValue(value);
    }
    if (!IsOpen() || !query.exec()) {
        if (error) {
            *error = IsOpen() ? Failed(query) : QStringLiteral("the journal is not open");
        }
        return entries;
    }
    while (query.next()) {
        Entry e;
        e.id = query.value(0).toLongLong();
        e.uid = query.value(1).toString();
        e.utc = FromUtcText(query.value(2).toString());
        e.local = query.value(3).toString();
        e.origin = {query.value(4).toString(), query.value(5).toString(),
                    query.value(6).toString()};
        e.write.port = query.value(7).toString();
        e.write.device = query.value(8).toString();
        e.write.identification = query.value(9).toString();
        e.write.kind = KindFromName(query.value(10).toString()).value_or(WriteKind::ParameterWrite);
        e.write.sent = FieldsFromText(query.value(11).toString());
        e.write.sentBytes = query.value(12).toString();
        e.write.before = FieldsFromText(query.value(13).toString());
        e.write.archiveFile = query.value(14).toString();
        if (!query.value(15).isNull()) {
            e.completedUtc = FromUtcText(query.value(15).toString());
            e.outcome = OutcomeFromName(query.value(16).toString());
            e.after = FieldsFromText(query.value(17).toString());
            e.detail = query.value(18).toString();
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

QStringList Journal::Devices() const {
    QStringList devices;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (IsOpen() && query.exec(QStringLiteral("SELECT device FROM entry UNION SELECT device"
                                              " FROM parameter_set ORDER BY 1"))) {
        while (query.next()) {
            devices << query.value(0).toString();
        }
    }
    return devices;
}

qint64 Journal::KeepParameterSet(const QString& device, int variant, const QByteArray& frame,
                                 const QString& source, const Origin& origin, QString* error,
                                 const QDateTime& at) {
    if (!IsOpen()) {
        *error = QStringLiteral("the journal is not open");
        return -1;
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    const QString frameHex = QString::fromLatin1(frame.toHex(' ').toUpper());
    // The comparison and the insert in one write transaction: another process keeping the same
    // set at the same moment waits for this one and then finds it kept.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        *error = Failed(query);
        return -1;
    }
    query.prepare(QStringLiteral(
        "SELECT frame FROM parameter_set WHERE device = ? ORDER BY id DESC LIMIT 1"));
    query.addBindValue(device);
    qint64 id = 0;
    if (!query.exec()) {
        *error = Failed(query);
        id = -1;
    } else if (!query.next() || query.value(0).toString() != frameHex) {
        query.finish();
        query.prepare(QStringLiteral(
            "INSERT INTO parameter_set (device, variant, utc, local, source, os_user, host,"
            " program, frame) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (const QVariant& value :
             QVariantList{device, variant, UtcText(at), LocalText(at), source, origin.user,
                          origin.host, origin.program, frameHex}) {
            query.addBindValue(value.toString().isNull() ? QString(QLatin1String("")) : value);
        }
        if (query.exec()) {
            id = query.lastInsertId().toLongLong();
        } else {
            *error = Failed(query);
            id = -1;
        }
    }
    query.finish();
    if (!query.exec(id < 0 ? QStringLiteral("ROLLBACK") : QStringLiteral("COMMIT")) && id >= 0) {
        *error = Failed(query);
        query.exec(QStringLiteral("ROLLBACK"));
        id = -1;
    }
    return id;
}

namespace {

KeptSet KeptSetFromRow(const QSqlQuery& query) {
    KeptSet set;
    set.id = query.value(0).toLongLong();
    set.device = query.value(1).toString();
    set.variant = query.value(2).toInt();
    set.utc = FromUtcText(query.value(3).toString());
    set.local = query.value(4).toString();
    set.source = query.value(5).toString();
    set.origin = {query.value(6).toString(), query.value(7).toString(), query.value(8).toString()};
    set.frameHex = query.value(9).toString();
    return set;
}

const QString kSetColumns = QStringLiteral(
    "SELECT id, device, variant, utc, local, source, os_user, host, program, frame"
    " FROM parameter_set");

}  // namespace

std::vector<KeptSet> Journal::History(const QString& device, QString* error) const {
    std::vector<KeptSet> sets;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(kSetColumns + QStringLiteral(" WHERE device = ? ORDER BY id"));
    query.addBindValue(device);
    if (!IsOpen() || !query.exec()) {
        if (error) {
            *error = IsOpen() ? Failed(query) : QStringLiteral("the journal is not open");
        }
        return sets;
    }
    while (query.next()) {
        sets.push_back(KeptSetFromRow(query));
    }
    return sets;
}

std::optional<KeptSet> Journal::KeptSetById(qint64 id) const {
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(kSetColumns + QStringLiteral(" WHERE id = ?"));
    query.addBindValue(id);
    if (IsOpen() && query.exec() && query.next()) {
        return KeptSetFromRow(query);
    }
    return std::nullopt;
}

}  // namespace journal
