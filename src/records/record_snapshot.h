#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "records/event_record.h"

class QSqlError;

// A read-only copy of a record table as it was at one moment, kept by SQLite in memory and read a
// page of rows at a time when asked for: taking it costs one copy inside the database engine, and
// only the rows a caller looks at become EventRecords. Later changes to the table do not show.
// Use on one thread.
class RecordSnapshot {
public:
    RecordSnapshot();
    ~RecordSnapshot();
    RecordSnapshot(RecordSnapshot&& other) noexcept;
    RecordSnapshot& operator=(RecordSnapshot&& other) noexcept;
    RecordSnapshot(const RecordSnapshot&) = delete;
    RecordSnapshot& operator=(const RecordSnapshot&) = delete;

    // Copies `table` of the database file at `path` (opened read-only, never changed), rows in
    // stored order. On failure the snapshot is empty and *error says why.
    bool Take(const QString& path, const QString& table, QSqlError* error);
    // The same in steps, so that a large table does not hold up the event loop: Begin, then
    // Continue until it returns true (Count() grows as it goes; *failed tells a failure, the
    // snapshot then empty). The copy reads one consistent state of the table throughout.
    bool Begin(const QString& path, const QString& table, QSqlError* error);
    bool Continue(int rows, QSqlError* error, bool* failed);
    bool Copying() const { return m_copy != nullptr; }
    void Clear();

    int Count() const { return m_count; }
    // The record of a row (0-based); an empty record outside the rows or when it cannot be read.
    EventRecord At(int row) const;

private:
    struct Page {
        int index = -1;
        std::vector<EventRecord> rows;
    };
    const Page* PageOf(int index) const;

    struct Copy;

    QString m_connection;          // empty when nothing is held
    std::unique_ptr<Copy> m_copy;  // while a copy goes on
    int m_count = 0;
    mutable std::vector<Page> m_pages;  // most recently used last
};
