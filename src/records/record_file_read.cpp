#include "records/record_file_read.h"

#include <QDir>
#include <QTemporaryDir>

#include "records/record_store.h"

std::vector<EventRecord> ReadRecordFile(const QString& path) {
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/kp650-read-XXXXXX"));
    RecordStore store;
    if (!scratch.isValid() || !store.Connect(scratch.filePath(QStringLiteral("scratch.mdb"))) ||
        !store.OpenRecords(path, nullptr)) {
        return {};
    }
    std::vector<EventRecord> records = store.ReadAll(records::kKpb650Table);
    store.Close();
    return records;
}
