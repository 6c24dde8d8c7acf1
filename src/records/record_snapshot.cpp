#include "records/record_snapshot.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>

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
        m_count = other.m_count;
        m_pages = std::move(other.m_pages);
        other.m_connection.clear();
        other.m_count = 0;
        other.m_pages.clear();
    }
    return *this;
}

void RecordSnapshot::Clear() {
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
    Clear();
    const QString name = records::NewConnectionName();
    bool ok = false;
    int count = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(records::kSqliteDriver, name);
        db.setDatabaseName(QStringLiteral(":memory:"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        if (!db.open()) {
            *error = db.lastError();
        } else {
            QSqlQuery query(db);
            QStringList columns;
            for (const char* field : records::kRecordFieldNames) {
                columns << QLatin1String(field) + QStringLiteral(" TEXT");
            }
            ok = query.exec(QStringLiteral("CREATE TABLE %1 (%2)")
                                .arg(kRowsTable, columns.join(QLatin1Char(','))));
            if (!ok) {
                *error = query.lastError();
            }
            if (ok) {
                records::Attachment source(db, path, kSourceSchema,
                                           records::Attachment::Mode::ReadOnly);
                ok = source.IsAttached();
                if (!ok) {
                    *error = source.Error();
                }
                if (ok) {
                    // A fresh table numbers its rows 1, 2, 3, ... in insertion order, so a row
                    // is found by its number. Tables made elsewhere without rowid keep their
                    // own order.
                    const QString insert = QStringLiteral("INSERT INTO %1 SELECT %2 FROM %3")
                                               .arg(kRowsTable, records::ColumnTextList(db),
                                                    records::TableSql(db, table, kSourceSchema));
                    ok = query.exec(insert + QStringLiteral(" ORDER BY rowid")) ||
                         query.exec(insert);
                    if (ok) {
                        count = query.numRowsAffected();
                    } else {
                        *error = query.lastError();
                    }
                }
            }
        }
        if (!ok) {
            db.close();
        }
    }
    if (!ok) {
        QSqlDatabase::removeDatabase(name);
        return false;
    }
    m_connection = name;
    m_count = count;
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
