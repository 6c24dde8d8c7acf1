#include "records/record_file_read.h"

#include <QDir>
#include <QTemporaryDir>

RecordFileRead ReadRecordFile(const QString& path) {
    RecordFileRead read;
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/kp650-read-XXXXXX"));
    RecordStore store;
    if (!scratch.isValid() || !store.Connect(scratch.filePath(QStringLiteral("scratch.mdb")))) {
        read.errors = store.Errors();
        return read;
    }
    // False with no failure is a database whose KPB650 is empty.
    if (!store.OpenRecords(path)) {
        read.errors = store.Errors();
        return read;
    }
    read.records = store.ReadAll(records::kKpb650Table);
    read.errors = store.Errors();
    store.Close();
    return read;
}
