#pragma once

#include <QDateTime>
#include <QString>

#include <vector>

#include "records/record_store.h"

// Before the device's log is cleared, the records of TEMP are kept in a text record file of
// their own, so that a clear can never lose records that were read but not yet saved.

namespace records {

inline const QString kArchiveFolderName = QStringLiteral("archive");

}  // namespace records

// ProgramDirectory() + "/archive".
QString ArchiveFolder();

// A path in `folder` that names no file yet: `prefix` + "KPA650-20240501-103000.txt" (the
// variant's working database name and the local time), with "-2", "-3" ... before the suffix
// when taken.
QString NewArchivePath(int variant, const QDateTime& at, const QString& folder = ArchiveFolder(),
                       const QString& prefix = {});

struct ArchiveResult {
    bool ok = false;  // false: nothing may be cleared
    QString path;     // the file written; empty when TEMP held nothing to keep
    int records = 0;
    records::StoreErrors errors;  // why not, in the order to tell them
};

// Writes TEMP of `store` to NewArchivePath() as a text record file. An unconnected store or an
// empty TEMP needs no copy (ok, no path). Failures come back in `errors` (the store's own texts).
ArchiveResult ArchiveTemp(RecordStore& store, int variant,
                          const QDateTime& at = QDateTime::currentDateTime());

// The same copy of records held in memory (a service's verified read), as a text record file at
// a NewArchivePath in `folder` (made when missing), written whole and flushed to the disk before
// it takes its name. Not ok: `errors` holds records::kSaveFileErrorText with the system's
// reason as its driver text.
ArchiveResult KeepRecords(const std::vector<EventRecord>& records, int variant,
                          const QString& folder, const QString& prefix,
                          const QDateTime& at = QDateTime::currentDateTime());
