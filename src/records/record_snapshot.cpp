#include "records/record_snapshot.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <limits>

#include "records/record_sql.h"

namespace {

constexpr int kPageRows = 256;
// Pages kept decoded: a screenful of rows and some scrolling either way.
constexpr std::size_t kPagesKept = 16;
const QString kSourceSchema = QStringLiteral("kp650source");
const QString kRowsTable = QStringLiteral("rows");

}  // namespace

RecordSnapshot::RecordSnapshot() = default;

RecordSnapshot::~RecordSnapshot() {
    Clear();
}

RecordSnapshot::RecordSnapshot(RecordSnapshot&& other) noexcept {
    *this = std::move(other);
}

RecordSnapshot& RecordSnapshot::operator=(RecordSnapshot&& other) noexcept {
    if (this != &other) {
        Clear();
        m_connection = std::move(other.m_connection);
        m_copy = std::move(other.m_copy);
        m_count = other.m_count;
        m_pages = std::move(other.m_pages);
        other.m_connection.clear();
        other.m_count = 0;
        other.m_pages.clear();
    }
    return *this;
}

// A copy in steps: the source attached read-only inside one transaction.
struct RecordSnapshot::Copy {
    std::unique_ptr<records::Attachment> source;
    QString sourceTable;  // as SQL, in the attached schema
    QString columns;
    qint64 lastRowid = 0;
};

void RecordSnapshot::Clear() {
    if (m_copy) {
        QSqlQuery(QSqlDatabase::database(m_connection, false)).exec(QStringLiteral("ROLLBACK"));
        m_copy.reset();
    }
    m_pages.clear();
    m_count = 0;
    if (m_connection.isEmpty()) {
        return;
    }
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

bool RecordSnapshot::Take(const QString& path, const QString& table, QSqlError* error) {
    if (!Begin(path, table, error)) {
        return false;
    }
    bool failed = false;
    while (!Continue(std::numeric_limits<int>::max(), error, &failed)) {
    }
    return !failed;
}

bool RecordSnapshot::Begin(const QString& path, const QString& table, QSqlError* error) {
    Clear();
    m_connection = records::NewConnectionName();
    // In a scope of its own, so that no handle on the connection outlives a failure's Clear().
    const bool ok = [&] {
        QSqlDatabase db = QSqlDatabase::addDatabase(records::kSqliteDriver, m_connection);
        db.setDatabaseName(QStringLiteral(":memory:"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        if (!db.open()) {
            *error = db.lastError();
            return false;
        }
        QSqlQuery query(db);
        QStringList columns;
        for (const char* field : records::kRecordFieldNames) {
            columns << QLatin1String(field) + QStringLiteral(" TEXT");
        }
        if (!query.exec(QStringLiteral("CREATE TABLE %1 (%2)")
                            .arg(kRowsTable, columns.join(QLatin1Char(','))))) {
            *error = query.lastError();
            return false;
        }
        auto copy = std::make_unique<Copy>();
        copy->source = std::make_unique<records::Attachment>(db, path, kSourceSchema,
                                                             records::Attachment::Mode::ReadOnly);
        if (!copy->source->IsAttached()) {
            *error = copy->source->Error();
            return false;
        }
        copy->sourceTable = records::TableSql(db, table, kSourceSchema);
        copy->columns = records::ColumnTextList(db);
        // One read of the source from the first step to the last.
        if (!query.exec(QStringLiteral("BEGIN"))) {
            *error = query.lastError();
            return false;
        }
        m_copy = std::move(copy);
        return true;
    }();
    if (!ok) {
        Clear();
    }
    return ok;
}

bool RecordSnapshot::Continue(int rows, QSqlError* error, bool* failed) {
    *failed = false;
    if (!m_copy) {
        return true;
    }
    enum class Step { More, Done, Failed };
    const Step step = [&] {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        QSqlQuery query(db);
        // A fresh table numbers its rows 1, 2, 3, ... in insertion order, so a row is found by
        // its number; the source is read in rowid order from where the last step ended. A table
        // made elsewhere without rowid keeps its own order, copied in one step.
        const QString insert = QStringLiteral("INSERT INTO %1 SELECT %2 FROM %3")
                                   .arg(kRowsTable, m_copy->columns, m_copy->sourceTable);
        query.prepare(QStringLiteral("SELECT rowid FROM %1 WHERE rowid > ? ORDER BY rowid "
                                     "LIMIT 1 OFFSET ?")
                          .arg(m_copy->sourceTable));
        query.addBindValue(m_copy->lastRowid);
        query.addBindValue(std::max(rows, 1) - 1);
        bool more = false;
        if (!query.exec()) {
            if (!query.exec(insert)) {
                *error = query.lastError();
                return Step::Failed;
            }
        } else {
            more = query.next();
            const qint64 last = more ? query.value(0).toLongLong() : 0;
            query.finish();
            query.prepare(insert +
                          (more ? QStringLiteral(" WHERE rowid > ? AND rowid <= ?")
                                : QStringLiteral(" WHERE rowid > ?")) +
                          QStringLiteral(" ORDER BY rowid"));
            query.addBindValue(m_copy->lastRowid);
            if (more) {
                query.addBindValue(last);
            }
            if (!query.exec()) {
                *error = query.lastError();
                return Step::Failed;
            }
            m_copy->lastRowid = last;
        }
        m_count += std::max(0, query.numRowsAffected());
        if (more) {
            return Step::More;
        }
        query.finish();
        query.exec(QStringLiteral("COMMIT"));
        return Step::Done;
    }();
    if (step == Step::More) {
        return false;
    }
    if (step == Step::Failed) {
        *failed = true;
        Clear();
        return true;
    }
    m_copy.reset();  // detaches the source
    return true;
}

const RecordSnapshot::Page* RecordSnapshot::PageOf(int index) const {
    for (auto it = m_pages.begin(); it != m_pages.end(); ++it) {
        if (it->index == index) {
            if (it + 1 != m_pages.end()) {
                std::rotate(it, it + 1, m_pages.end());
            }
            return &m_pages.back();
        }
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT * FROM %1 WHERE rowid BETWEEN ? AND ? ORDER BY rowid")
                      .arg(kRowsTable));
    query.addBindValue(qint64(index) * kPageRows + 1);
    query.addBindValue(qint64(index + 1) * kPageRows);
    Page page;
    page.index = index;
    if (query.exec()) {
        while (query.next()) {
            EventRecord& record = page.rows.emplace_back();
            for (int i = 0; i < records::kRecordFieldCount; ++i) {
                record.Field(i) = query.value(i).toString();
            }
        }
    }
    if (m_pages.size() >= kPagesKept) {
        m_pages.erase(m_pages.begin());
    }
    m_pages.push_back(std::move(page));
    return &m_pages.back();
}

EventRecord RecordSnapshot::At(int row) const {
    if (row < 0 || row >= m_count) {
        return {};
    }
    const Page* page = PageOf(row / kPageRows);
    const auto offset = static_cast<std::size_t>(row % kPageRows);
    return offset < page->rows.size() ? page->rows[offset] : EventRecord{};
}
